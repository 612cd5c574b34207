// The engine's reading of every Access sample against an independent
// reader (mdbtools' mdb-tables and mdb-export): the same tables, each with
// the same number of rows. Skipped when the samples are absent; CI always
// has them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>

#include "engine/engine.h"
#include "tests/support/access_oracle.h"
#include "tests/support/own_session.h"

namespace actualiz::engine {
namespace {

namespace fs = std::filesystem;

const fs::path kSamples = fs::path(ACTUALIZ_SOURCE_DIR) / ".." / "shared" / "jet-samples";

std::vector<fs::path> Samples() {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(kSamples)) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".mdb" || ext == ".accdb") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Access keeps the files of an attachment field in a hidden table of its
// own, "f_<32 hex digits>_Data". mdbtools lists it; the engine rightly does
// not: it is part of the attachment field, not a table of the database, and
// Access itself shows it nowhere, not even among the system objects.
bool AttachmentStore(const std::string& table) {
  static const std::regex store("f_[0-9A-F]{32}_Data");
  return std::regex_match(table, store);
}

// The row counts are only as good as the CSV reading: a value holding a
// line break, a comma or a quote is one value of one row.
TEST(AccessAgainstMdbTools, CsvValuesMayHoldLineBreaksCommasAndQuotes) {
  using Records = std::vector<std::vector<std::string>>;
  const std::pair<const char*, Records> cases[] = {
      {"", {}},
      {"1,\"a\nb\"\n2,\"c\"\n", {{"1", "a\nb"}, {"2", "c"}}},
      {"\"x,\"\"y\"\"\",\n", {{"x,\"y\"", ""}}},
      {"\n\n", {{""}, {""}}},
      {"1,2", {{"1", "2"}}},
  };
  for (const auto& [text, records] : cases) EXPECT_EQ(testing::ParseCsv(text), records) << text;
}

TEST(AccessAgainstMdbTools, EverySampleReadsTheSameTablesWithTheSameRowCounts) {
  if (!fs::is_directory(kSamples)) {
    GTEST_SKIP() << "the Access samples are not at " << kSamples
                 << ", so the reader is not compared with mdbtools";
  }
  ASSERT_TRUE(testing::MdbToolsInstalled()) << "mdbtools is missing: run scripts/install-deps.sh";
  const std::vector<fs::path> samples = Samples();
  ASSERT_FALSE(samples.empty());
  for (const fs::path& sample : samples) {
    SCOPED_TRACE(sample.filename().string());
    std::map<std::string, long> theirs;
    for (const std::string& table : testing::MdbTables(sample.string())) {
      if (!AttachmentStore(table)) theirs[table] = testing::MdbRowCount(sample.string(), table);
    }
    std::map<std::string, long> ours;
    DatabasePtr db = testing::OpenInOwnSession(sample.string());
    for (const auto& table : db->TableDefs().Items()) {
      long rows = 0;
      for (RecordsetPtr set = db->OpenRecordset(table->Name()); !set->Eof(); set->MoveNext())
        ++rows;
      ours[table->Name()] = rows;
    }
    EXPECT_EQ(ours, theirs);
  }
}

}  // namespace
}  // namespace actualiz::engine
