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

}  // namespace
}  // namespace actualiz::testing
