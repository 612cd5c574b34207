// The batch run from start to end through app::RunBatch, on real files.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "app/run_batch.h"
#include "tests/support/window_fixture.h"

namespace actualiz::testing {
namespace {

constexpr const char* kModel =
    R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": 4}, {"name": "B", "type": 4}]}]})";
constexpr const char* kOlder =
    R"({"tables": [{"name": "T", "fields": [{"name": "A", "type": 4}]}]})";

// The report is written before the backups are trimmed: a report that
// cannot be made leaves nobody knowing what changed, so every backup stays.
TEST(RunBatch, BackupsAreTrimmedOnlyOnceTheReportIsWritten) {
  const struct {
    bool report_fails;
    app::BatchEnd end;
    int status;
    bool unchanged_kept;
  } cases[] = {
      {false, app::BatchEnd::kRan, 0, false},
      {true, app::BatchEnd::kNoReport, 1, true},
  };
  for (const auto& c : cases) {
    TestSite site;
    site.Database("c:\\prog\\modelos\\otra.mdb", kModel);
    site.Database("c:\\datos\\otra.mdb", kOlder);
    site.Database("c:\\prog\\modelos\\igual.mdb", kModel);
    site.Database("c:\\datos\\igual.mdb", kModel);
    app::BatchOptions options{.data_directory = "c:\\datos"};
    bool written = false;
    options.write_report = [&](const app::StreamedBatchReport&, int,
                               const std::vector<std::string>&) {
      written = true;
      if (c.report_fails) throw Error(err::kPermissionDenied, "Permission denied", "report");
    };
    const app::BatchResult result = app::RunBatch(site.MakeEnvironment(), options);

    EXPECT_TRUE(written);
    EXPECT_EQ(result.end, c.end) << c.report_fails;
    EXPECT_EQ(result.ExitStatus(), c.status) << c.report_fails;
    ASSERT_TRUE(result.backup);
    const std::filesystem::path folder = result.backup->folder;
    EXPECT_TRUE(std::filesystem::exists(folder / "otra.mdb")) << c.report_fails;
    EXPECT_EQ(std::filesystem::exists(folder / "igual.mdb"), c.unchanged_kept) << c.report_fails;
  }
}

// Which backups stay is read from the run's entries, not from the files:
// a database with a change recorded keeps its backup, one the run left
// alone loses it, and one a stage failed on keeps it even when nothing of
// it was recorded as changed (the failure may have come part-way).
TEST(RunBatch, BackupsStayForDatabasesWithAChangeOrAFailureRecorded) {
  constexpr const char* kTables =
      R"("tables": [{"name": "P", "fields": [{"name": "Id", "type": 4}],
                     "indexes": [{"name": "PrimaryKey", "fields": ["Id"], "unique": true,
                                  "primary": true}]},
                    {"name": "H", "fields": [{"name": "Id", "type": 4}, {"name": "P", "type": 4}],
                     "rows": [ROWS]}])";
  const auto shop = [&](const std::string& rows, bool related) {
    std::string tables = kTables;
    tables.replace(tables.find("ROWS"), 4, rows);
    const std::string relation =
        R"(, "relations": [{"name": "PH", "table": "P", "foreignTable": "H", "attributes": 0,
                            "fields": [{"name": "Id", "foreignName": "P"}]}])";
    return "{" + tables + (related ? relation : "") + "}";
  };
  TestSite site;
  site.Database("c:\\prog\\modelos\\otra.mdb", kModel);
  site.Database("c:\\datos\\otra.mdb", kOlder);
  site.Database("c:\\prog\\modelos\\igual.mdb", kModel);
  site.Database("c:\\datos\\igual.mdb", kModel);
  // The model's relation cannot be created over the target's orphan row.
  site.Database("c:\\prog\\modelos\\rota.mdb", shop("", true));
  site.Database("c:\\datos\\rota.mdb", shop(R"({"Id": 1, "P": 9})", false));

  const app::BatchResult result =
      app::RunBatch(site.MakeEnvironment(), {.data_directory = "c:\\datos"});
  ASSERT_EQ(result.end, app::BatchEnd::kRan);
  ASSERT_TRUE(result.backup);
  EXPECT_EQ(result.backup->databases, (std::vector<std::string>{"otra.mdb", "rota.mdb"}));
  const std::filesystem::path folder = result.backup->folder;
  EXPECT_TRUE(std::filesystem::exists(folder / "otra.mdb"));
  EXPECT_TRUE(std::filesystem::exists(folder / "rota.mdb"));
  EXPECT_FALSE(std::filesystem::exists(folder / "igual.mdb"));
}

}  // namespace
}  // namespace actualiz::testing
