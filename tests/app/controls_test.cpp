// The controls' operations and the window's inventory.
#include <gtest/gtest.h>

#include <set>

#include "tests/support/db_builder.h"
#include "tests/support/error_number.h"
#include "tests/support/window_fixture.h"

namespace actualiz::app {
namespace {

using testing::ErrorNumber;
using testing::TestSite;

TEST(Controls, ListBoxSelectionFollowsItsEntries) {
  ListBox list("List2", -1, Rect{}, nullptr);
  EXPECT_EQ(list.ListIndex(), -1);
  EXPECT_EQ(list.Text(), "");
  EXPECT_EQ(ErrorNumber([&] { list.SetListIndex(0); }), err::kInvalidPropertyValue);
  for (const char* item : {"a", "b", "c"}) list.AddItem(item);
  list.SetListIndex(2);
  EXPECT_EQ(list.Text(), "c");
  list.RemoveItem(0);  // the selection stays on "c"
  EXPECT_EQ(list.ListIndex(), 1);
  EXPECT_EQ(list.Text(), "c");
  list.RemoveItem(1);  // removing the selected entry clears the selection
  EXPECT_EQ(list.ListIndex(), -1);
  EXPECT_EQ(ErrorNumber([&] { list.RemoveItem(1); }), err::kInvalidPropertyIndex);
  list.SetListIndex(0);
  list.Clear();
  EXPECT_EQ(list.ListIndex(), -1);
  EXPECT_EQ(list.ListCount(), 0);
}

TEST(Controls, ProgressBarAcceptsAMaximumBelowItsValue) {
  ProgressBar bar("Bar4", Rect{}, nullptr);
  EXPECT_EQ(bar.Max(), 100.0f);
  bar.SetValue(7.0f);
  bar.SetMax(3.0f);
  bar.SetMax(0.0f);
  EXPECT_EQ(bar.Value(), 7.0f);
  EXPECT_EQ(bar.Max(), 0.0f);
}

TEST(Controls, InventoryHasEveryControlOnceContainersFirst) {
  TestSite site;
  auto window = site.MakeWindow(false);
  std::set<const Control*> seen;
  std::set<std::string> names;
  for (const Control* control : window->Controls()) {
    if (control->Container()) {
      EXPECT_TRUE(seen.count(control->Container())) << control->FullName();
    }
    seen.insert(control);
    EXPECT_TRUE(names.insert(control->FullName()).second) << control->FullName();
  }
  EXPECT_EQ(window->Controls().size(), 105u);
  // List11 has no member 2.
  EXPECT_EQ(window->FindControl("List11(2)"), nullptr);
  EXPECT_EQ(ErrorNumber([&] { window->List11(2); }), err::kNoSuchControlElement);
  EXPECT_EQ(window->FindControl("List11(3)"), &window->List11(3));
  EXPECT_EQ(window->List11(3).Container(), &window->Frame11(3));
  EXPECT_EQ(window->Bar1.Container(), &window->Frame13);
  EXPECT_EQ(window->Frame13.Container(), &window->Frame9);
  EXPECT_EQ(window->Text4.Text(), "c:\\dorvantel\\viejas\\zolo.mdb");
  EXPECT_EQ(window->Text3.Text(), "c:\\Dorvantel\\modelos\\zolo.mdb");
  EXPECT_EQ(window->Data2.Caption(), "Data2");
  EXPECT_EQ(window->Data5.Caption(), "Data1");
  for (const Control* hidden : std::vector<const Control*>{
           &window->Command12, &window->Command13, &window->Command25, &window->Label5,
           &window->Frame9, &window->Data1, &window->Data2, &window->Data3, &window->Data4}) {
    EXPECT_FALSE(hidden->Visible()) << hidden->FullName();
  }
  EXPECT_TRUE(window->Data5.Visible());
}

class BoundBoxes : public ::testing::Test {
 protected:
  BoundBoxes() {
    window = site.MakeWindow();
    auto& records = window->Data3.Recordset();
    for (const char* name : {"idx_a", "idx_b"}) {
      records.AddNew();
      window->Text1(0).SetText(name);
      window->Text1(1).SetText("Clientes");
      window->Text1(2).SetText("Codigo");
      window->Text1(3).SetText("Verdadero");
      window->Data3.UpdateRecord();
    }
  }
  TestSite site;
  std::unique_ptr<Actualiz> window;
};

TEST_F(BoundBoxes, RowsAddedThroughTheBoxesAreStoredAndShown) {
  window->Data3.Refresh();
  auto& records = window->Data3.Recordset();
  EXPECT_EQ(records.RecordCount(), 2);
  EXPECT_EQ(window->Text1(0).Text(), "idx_a");
  records.MoveNext();
  EXPECT_EQ(window->Text1(0).Text(), "idx_b");
  EXPECT_EQ(window->Text1(1).Text(), "Clientes");
  records.MoveNext();
  EXPECT_TRUE(records.Eof());
  EXPECT_EQ(window->Text1(0).Text(), "");
}

TEST_F(BoundBoxes, UpdateRecordEditsTheCurrentRow) {
  window->Data3.SetRecordSource("Select * from indices where nombreind = 'idx_b'");
  window->Data3.Refresh();
  EXPECT_EQ(window->Data3.Recordset().RecordCount(), 1);
  window->Text1(2).SetText("Nombre");
  window->Data3.UpdateRecord();
  window->Data3.Refresh();
  EXPECT_EQ(window->Text1(2).Text(), "Nombre");
  // A deleted row is no longer current: updating it fails.
  window->Data3.Recordset().Delete();
  EXPECT_EQ(window->Text1(0).Text(), "");
  EXPECT_EQ(ErrorNumber([&] { window->Data3.UpdateRecord(); }), err::kNoCurrentRecord);
}

TEST_F(BoundBoxes, RefreshOnAMissingDatabaseLeavesNoRecordSet) {
  window->Data3.SetDatabaseName("c:\\Zarade\\no hay.mdb");
  EXPECT_EQ(ErrorNumber([&] { window->Data3.Refresh(); }), err::kFileNotFound);
  EXPECT_FALSE(window->Data3.HasRecordset());
}

}  // namespace
}  // namespace actualiz::app
