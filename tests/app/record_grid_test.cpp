// The sample bench's grid of Data2's rows, read through the window model on
// a real "C:\Neptuno.mdb" made from the demo's own description.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "engine/display_text.h"
#include "tests/support/db_builder.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_fixture.h"

namespace actualiz::testing {
namespace {

class RecordGridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildDatabase(site.Host("c:\\Neptuno.mdb"),
                  ReadFile(std::filesystem::path(ACTUALIZ_SOURCE_DIR) / "demo" / "neptuno.json"));
    window = site.MakeWindow();
  }

  TestSite site;
  std::unique_ptr<app::Actualiz> window;
};

TEST_F(RecordGridTest, ShowsData2sRowsOnceItHasARecordSetWithoutMovingItsCurrentRow) {
  const app::RecordGrid& grid = window->Data2Grid;
  window->Data2Grid.Refresh();
  EXPECT_FALSE(grid.Shown());

  ASSERT_TRUE(window->Click("Command3_Click"));  // Data2 shows the sample table
  engine::Recordset& shown = window->Data2.Recordset();
  shown.MoveLast();
  const std::string last = engine::DisplayText(*shown.Fields().Item(0));
  window->Data2Grid.Refresh();

  EXPECT_TRUE(grid.Shown());
  ASSERT_EQ(grid.Rows().size(), 5u);
  ASSERT_EQ(grid.Columns().size(), static_cast<size_t>(shown.Fields().Count()));
  EXPECT_EQ(grid.Columns()[0], shown.Fields().Item(0)->Name());
  EXPECT_EQ(grid.Rows().back()[0], last);
  EXPECT_EQ(engine::DisplayText(*window->Data2.Recordset().Fields().Item(0)), last);
}

TEST_F(RecordGridTest, ASourceThatCannotBeReadLeavesItEmptyAndIsRecorded) {
  ASSERT_TRUE(window->Click("Command3_Click"));
  window->Data2.SetRecordSource("NoSuchTable");
  window->Data2Grid.Refresh();

  EXPECT_TRUE(window->Data2Grid.Shown());
  EXPECT_TRUE(window->Data2Grid.Columns().empty());
  EXPECT_TRUE(window->Data2Grid.Rows().empty());
  ASSERT_FALSE(window->Log().Failures().empty());
  EXPECT_EQ(window->Log().Failures().back().statement, "reading NoSuchTable for the grid");
}

}  // namespace
}  // namespace actualiz::testing
