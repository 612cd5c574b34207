// The data controls as the operator sees them: Data5's move buttons with
// its bound text boxes, and the grid of the sample table that Data2 shows.
#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <nlohmann/json.hpp>

#include "gui/data_control_view.h"
#include "gui/main_window.h"
#include "gui/record_grid_view.h"
#include "tests/support/db_builder.h"
#include "tests/support/own_session.h"
#include "tests/support/window_fixture.h"

namespace actualiz::testing {
namespace {

using gui::MainWindow;

const char* const kNeptuno = "c:\\Neptuno.mdb";
const char* const kQueryCatalogue = "C:\\Zarade\\consulta.mdb";

class DataViewTest : public ::testing::Test {
 protected:
  void Open() {
    window = site.MakeWindow();
    view = std::make_unique<MainWindow>(*window);
    view->resize(view->FullSize());
    view->show();
  }

  void AddQueries(const std::vector<std::string>& names) {
    engine::DatabasePtr db = testing::OpenInOwnSession(site.Host(kQueryCatalogue));
    engine::RecordsetPtr rs = db->OpenRecordset("consulta");
    for (const std::string& name : names) {
      rs->AddNew();
      rs->Fields().Item("nombrecon")->SetValue(engine::Value(name));
      rs->Fields().Item("consulta")->SetValue(engine::Value("Select * from " + name));
      rs->Update();
    }
    rs->Close();
    db->Close();
  }

  // Data5's buttons, in their order: first, previous, next, last.
  QAbstractButton* Step(int i) {
    return view->ViewOf("Data5")->findChildren<QAbstractButton*>().at(i);
  }
  std::string Shown() {
    return static_cast<QLineEdit*>(view->ViewOf("campocon(0)"))->text().toStdString();
  }

  TestSite site;
  std::unique_ptr<app::Actualiz> window;
  std::unique_ptr<MainWindow> view;
};

// ---- 1. Data5 and its move buttons ----

TEST_F(DataViewTest, Data5ShowsItsCaptionBetweenFourMoveButtons) {
  Open();
  QWidget* data5 = view->ViewOf("Data5");
  EXPECT_EQ(data5->findChildren<QAbstractButton*>().size(), 4);
  EXPECT_EQ(data5->findChild<QLabel*>()->text().toStdString(), "Data1");
}

TEST_F(DataViewTest, MoveButtonsWalkTheRecordSetAndTheBoundBoxesFollow) {
  AddQueries({"uno", "dos", "tres"});
  Open();
  EXPECT_EQ(Shown(), "uno");
  Step(2)->click();
  EXPECT_EQ(Shown(), "dos");
  Step(3)->click();
  EXPECT_EQ(Shown(), "tres");
  Step(2)->click();  // next on the last row stays there
  EXPECT_EQ(Shown(), "tres");
  EXPECT_FALSE(window->Data5.Recordset().Eof());
  Step(1)->click();
  EXPECT_EQ(Shown(), "dos");
  Step(0)->click();
  EXPECT_EQ(Shown(), "uno");
  Step(1)->click();  // previous on the first row stays there
  EXPECT_EQ(Shown(), "uno");
  EXPECT_FALSE(window->Data5.Recordset().Bof());
  EXPECT_EQ(window->Data5.Recordset().Fields().Item("nombrecon")->GetValue().ToText(), "uno");
  EXPECT_TRUE(site.op.messages.empty());
}

TEST_F(DataViewTest, MoveButtonsDoNothingOnAnEmptyOrMissingCatalogue) {
  Open();
  for (int i = 0; i < 4; ++i) Step(i)->click();
  EXPECT_EQ(Shown(), "");
  EXPECT_TRUE(site.op.messages.empty());

  std::filesystem::remove(site.Host(kQueryCatalogue));
  view.reset();
  Open();  // Data5 now has no record set
  ASSERT_FALSE(window->Data5.HasRecordset());
  for (int i = 0; i < 4; ++i) Step(i)->click();
  EXPECT_TRUE(site.op.messages.empty());
}

// ---- 2. The grid of the sample table ----

class SampleGridTest : public DataViewTest {
 protected:
  void SetUp() override {
    const std::string description =
        ReadFile(std::filesystem::path(ACTUALIZ_SOURCE_DIR) / "demo" / "neptuno.json");
    BuildDatabase(site.Host(kNeptuno), description);
    rows = static_cast<int>(nlohmann::json::parse(description)["tables"][0]["rows"].size());
    Open();
  }
  std::vector<std::string> Columns() {
    std::vector<std::string> out;
    gui::RecordGridView* grid = view->Grid();
    for (int i = 0; i < grid->columnCount(); ++i) {
      out.push_back(grid->horizontalHeaderItem(i)->text().toStdString());
    }
    return out;
  }
  int rows = 0;
};

TEST_F(SampleGridTest, GridAppearsWithTheSampleRowsOnceData2HasARecordSet) {
  EXPECT_FALSE(view->Grid()->isVisible());
  ASSERT_TRUE(window->Click("Command3_Click"));  // "Llenar DBGRID"
  gui::RecordGridView* grid = view->Grid();
  EXPECT_TRUE(grid->isVisible());
  EXPECT_EQ(grid->rowCount(), rows);
  ASSERT_GT(rows, 0);
  EXPECT_EQ(Columns().front(), "IdEmpleado");
  // Drawing reads its own record set: Data2's current row is still the first.
  engine::Recordset& shown = window->Data2.Recordset();
  EXPECT_FALSE(shown.Eof());
  EXPECT_EQ(shown.Fields().Item(0)->GetValue().ToText(), grid->item(0, 0)->text().toStdString());
}

TEST_F(SampleGridTest, GridFollowsTheFieldsAppendedThroughTheBench) {
  ASSERT_TRUE(window->Click("Command3_Click"));
  const size_t before = Columns().size();
  ASSERT_TRUE(window->Click("Command4_Click"));  // "Añadir Campo" refreshes Data2
  std::vector<std::string> after = Columns();
  ASSERT_EQ(after.size(), before + 3);
  EXPECT_EQ(std::vector<std::string>(after.end() - 3, after.end()),
            (std::vector<std::string>{"Correo", "Http", "Cuota"}));
  EXPECT_EQ(view->Grid()->rowCount(), rows);
}

TEST_F(SampleGridTest, GridStaysHiddenWhenTheSampleDatabaseIsMissing) {
  std::filesystem::remove(site.Host(kNeptuno));
  EXPECT_FALSE(window->Click("Command3_Click"));
  EXPECT_FALSE(view->Grid()->isVisible());
  ASSERT_EQ(site.op.messages.size(), 1u);
  EXPECT_EQ(site.op.messages[0].look, platform::MessageLook::kCritical);
}

}  // namespace
}  // namespace actualiz::testing
