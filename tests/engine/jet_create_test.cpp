// Creating a table in a real Access file: every Jet 4 and ACE sample, a
// table with a field of every type and one with a Memo alone, read back by
// our reader and by mdbtools, page checks passing; then a field added to
// it. Refusals leave the bytes as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "base/error.h"
#include "base/names.h"
#include "engine/accessfile/jet_catalog.h"
#include "engine/accessfile/jet_check.h"
#include "engine/accessfile/jet_create.h"
#include "engine/accessfile/jet_replace.h"
#include "engine/accessfile/jet_writer.h"
#include "engine/accessfile/mdb_tools.h"
#include "engine/engine.h"
#include "tests/support/access_oracle.h"
#include "tests/support/jet_copy.h"
#include "tests/support/temp_dir.h"

namespace actualiz::engine::jet {
namespace {

namespace fs = std::filesystem;
using testing::JetSamplesDir;

std::vector<JetRow> RowsOf(const JetFile& file, const JetTable& table) {
  JetTableDef def = file.ReadTableDef(table.def.page);
  def.name = table.info.name;
  return file.ReadRows(def);
}

const JetTable* Find(const JetCatalog& catalog, const std::string& name) {
  for (const JetTable& t : catalog.tables) {
    if (t.info.name == name) return &t;
  }
  return nullptr;
}

std::vector<std::string> Header(const TableInfo& table) {
  std::vector<std::string> header;
  for (const ColumnInfo& column : table.columns) header.push_back(column.name);
  return header;
}

// The file at `path` holds `created`, described as given and empty, beside
// every table of `original` with its rows; both readers and the page checks
// agree.
void ExpectCreated(const std::string& original, const std::string& path,
                   const std::vector<TableInfo>& created) {
  const auto before = JetFile::Open(original, "before");
  const auto after = JetFile::Open(path, "after");
  const JetCatalog old_catalog = ReadCatalog(*before);
  const JetCatalog new_catalog = ReadCatalog(*after);
  ASSERT_EQ(new_catalog.tables.size(), old_catalog.tables.size() + created.size());
  std::vector<std::string> mdb_expected = testing::MdbTables(original);
  for (const TableInfo& table : created) {
    const JetTable* found = Find(new_catalog, table.name);
    ASSERT_TRUE(found) << table.name;
    TableInfo expected{table.name, {}, {}};
    for (const ColumnInfo& c : table.columns) expected.columns.push_back(DescribedColumn(c));
    EXPECT_EQ(found->info, expected);
    EXPECT_EQ(RowsOf(*after, *found), std::vector<JetRow>{});
    EXPECT_EQ(MdbExport(path, table.name), std::vector<std::vector<std::string>>{Header(table)});
    EXPECT_NE(MdbSchema(path)->find("[" + table.name + "]"), std::string::npos);
    mdb_expected.push_back(table.name);
  }
  for (const JetTable& t : old_catalog.tables) {
    const JetTable* found = Find(new_catalog, t.info.name);
    ASSERT_TRUE(found) << t.info.name;
    EXPECT_EQ(found->info, t.info);
    const std::vector<JetRow> rows = RowsOf(*before, t);
    if (t.info.name == "MSysObjects" || t.info.name == "MSysACEs") {
      EXPECT_GT(RowsOf(*after, *found).size(), rows.size());  // the new tables' rows
    } else {
      EXPECT_EQ(RowsOf(*after, *found), rows);
    }
  }
  EXPECT_EQ(new_catalog.relations, old_catalog.relations);
  EXPECT_EQ(new_catalog.queries, old_catalog.queries);
  std::vector<std::string> mdb_listed = testing::MdbTables(path);
  std::sort(mdb_expected.begin(), mdb_expected.end());
  std::sort(mdb_listed.begin(), mdb_listed.end());
  EXPECT_EQ(mdb_listed, mdb_expected);
  EXPECT_EQ(CheckJetPages(path), std::vector<std::string>{});
}

TEST(AccessCreateTable, EveryTypeOnEverySampleReadsBackThenTakesAField) {
  if (!testing::MdbToolsInstalled()) GTEST_SKIP() << "mdbtools is not installed";
  const std::vector<std::string> samples = testing::WritableJetSamples();
  if (samples.empty()) GTEST_SKIP() << "the Access samples are not at " << JetSamplesDir();
  for (const std::string& sample : samples) {
    SCOPED_TRACE(sample);
    testing::TempDir dir;
    const std::string original = JetSamplesDir() + "/" + sample;
    const std::string path = dir.File(sample);
    fs::copy_file(original, path);
    TableInfo every{"Created_Table1", testing::NewFieldOfEveryType(), {}};
    // The fields the batch adds to a table it creates: Text and Memo allow
    // zero length; one is required too.
    const TableInfo memo{
        "MEMO_only", {{"Notes", dbMemo, 0, true, false}, {"Code", dbText, 8, true, true}}, {}};
    CreateTableChecked(path, sample, every);
    CreateTableChecked(path, sample, memo);
    ExpectCreated(original, path, {every, memo});

    const ColumnInfo later{"Added Later", dbText, 10, true, false};
    AddColumnsChecked(path, sample, every.name, {later});
    every.columns.push_back(later);
    ExpectCreated(original, path, {every, memo});
  }
}

TEST(AccessCreateTable, AFailedCheckLeavesTheFileAsItWas) {
  if (!testing::MdbToolsInstalled()) GTEST_SKIP() << "mdbtools is not installed";
  const std::string sample = "testV2003.mdb";
  if (!fs::exists(JetSamplesDir() + "/" + sample)) GTEST_SKIP() << "no samples";
  testing::TempDir dir;
  const std::string path = dir.File(sample);
  fs::copy_file(JetSamplesDir() + "/" + sample, path);
  const std::string bytes = testing::ReadFile(path);
  try {
    CreateTableChecked(path, sample, {"Checked", {testing::NewFieldOfEveryType()[3]}, {}},
                       [&](const std::string& copy_path) {
                         // The catalogue counts one row fewer than it holds.
                         testing::JetCopy copy(sample, copy_path);
                         copy.PutLong(2, 0x10, copy.Long(2, 0x10) + 2);
                         copy.Save(copy_path);
                       });
    ADD_FAILURE() << "the damaged copy was kept";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::kReadOnly);
    EXPECT_NE(e.Text().find("creating table 'Checked' with field 'New Long' failed the check by"),
              std::string::npos)
        << e.Text();
  }
  EXPECT_EQ(testing::ReadFile(path), bytes);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TableInfo Named(const std::string& name,
                std::vector<ColumnInfo> columns = {testing::NewFieldOfEveryType()[3]}) {
  return {name, std::move(columns), {}};
}

TableInfo WithIndex() {
  TableInfo table = Named("Indexed");
  table.indexes.push_back(IndexInfo{});
  table.indexes.back().name = "PrimaryKey";
  return table;
}

TableInfo TooManyFields() {
  std::vector<ColumnInfo> columns;
  for (int i = 0; i < 256; ++i)
    columns.push_back({"F" + std::to_string(i), dbLong, 0, false, false});
  return Named("Wide", columns);
}

struct Refusal {
  const char* sample;
  TableInfo table;
  int number;
  const char* says;
};

const Refusal kRefusals[] = {
    {"testV1997.mdb", Named("New1"), err::kReadOnly, "Access 97"},
    {"testV2003.mdb", Named("table1"), err::kTableExists, "Table 'table1' already exists."},
    {"testV2003.mdb", Named("MSysMine"), err::kReadOnly, "MSys"},
    {"testV2003.mdb", Named("Bad.Name"), err::kInvalidName, "Bad.Name"},
    {"testV2003.mdb", Named("Caf\xC3\xA9"), err::kReadOnly,
     "creating table 'Caf\xC3\xA9' in an Access file: the name has characters whose index order "
     "is not known yet"},
    {"testV2010.accdb", Named("Two Words"), err::kReadOnly, "index order is not known yet"},
    {"testV2007.accdb",
     Named("Twice", {testing::NewFieldOfEveryType()[3], testing::NewFieldOfEveryType()[3]}),
     err::kFieldDefinedTwice, ""},
    {"testV2003.mdb", TooManyFields(), err::kReadOnly, "at most 255 fields"},
    {"testV2003.mdb", WithIndex(), err::kReadOnly, "indexes"},
};

TEST(AccessCreateTable, RefusalsNameTheProblemAndChangeNothing) {
  if (!fs::is_directory(JetSamplesDir())) GTEST_SKIP() << "no samples";
  for (const Refusal& refusal : kRefusals) {
    SCOPED_TRACE(std::string(refusal.sample) + " " + refusal.table.name);
    testing::ExpectRefusedLeavingBytes(
        refusal.sample,
        [&](std::vector<std::uint8_t>& bytes) {
          CreateTable(bytes, refusal.sample, refusal.table);
        },
        refusal.number, refusal.says);
  }
}

// Tables are created while the catalogue's pages have room; the first that
// does not fit is refused, and every table made before it passes the checks.
TEST(AccessCreateTable, AFullCatalogueRefusesTheNextTable) {
  if (!fs::is_directory(JetSamplesDir())) GTEST_SKIP() << "no samples";
  std::vector<std::uint8_t> bytes = testing::JetSampleBytes("empty.mdb");
  for (int i = 0; i < 400; ++i) {
    const std::vector<std::uint8_t> fitted = bytes;
    try {
      CreateTable(bytes, "e.mdb", Named("A_rather_long_table_name_" + std::to_string(i)));
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), err::kReadOnly);
      EXPECT_NE(e.Text().find("is not supported"), std::string::npos) << e.Text();
      EXPECT_TRUE(bytes == fitted);
      EXPECT_EQ(CheckJetPages(*JetFile::FromBytes(bytes, "e.mdb")), std::vector<std::string>{});
      EXPECT_EQ(ReadCatalog(*JetFile::FromBytes(bytes, "e.mdb")).tables.size(),
                static_cast<std::size_t>(i) + 5);
      EXPECT_GT(i, 10);
      return;
    }
  }
  ADD_FAILURE() << "400 tables fitted the catalogue's pages";
}

}  // namespace
}  // namespace actualiz::engine::jet
