// Adding a field to a table of a real Access file in place: every Jet 4 and
// ACE sample, a field of every type, checked by our reader, by mdbtools and
// by the page checks; a change that fails a check leaves the file as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "base/error.h"
#include "base/names.h"
#include "engine/accessfile/jet_catalog.h"
#include "engine/accessfile/jet_check.h"
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

// The user table of a file to change: the first that holds rows, else the first.
const JetTable* TableToChange(const JetCatalog& catalog) {
  const JetTable* found = nullptr;
  for (const JetTable& t : catalog.tables) {
    if (IsSystemName(t.info.name)) continue;
    if (t.def.row_count > 0) return &t;
    if (!found) found = &t;
  }
  return found;
}

std::vector<JetRow> RowsOf(const JetFile& file, const JetTable& table) {
  JetTableDef def = file.ReadTableDef(table.def.page);
  def.name = table.info.name;
  return file.ReadRows(def);
}

// Adds a field of every type to `table` (the first user table with rows
// when empty) of a copy of `sample`, and checks what both readers and the
// page checks find.
void AddEveryType(const std::string& sample, std::string table_name = {}) {
  SCOPED_TRACE(sample + " " + table_name);
  testing::TempDir dir;
  const std::string original = JetSamplesDir() + "/" + sample;
  const std::string path = dir.File(sample);
  fs::copy_file(original, path);
  const auto before = JetFile::Open(original, sample);
  const JetCatalog old_catalog = ReadCatalog(*before);
  const JetTable* table = nullptr;
  for (const JetTable& t : old_catalog.tables) {
    if (t.info.name == table_name) table = &t;
  }
  if (table_name.empty()) table = TableToChange(old_catalog);
  if (!table) return;  // no user table to change
  const std::string name = table->info.name;

  AddColumnsChecked(path, sample, name, testing::NewFieldOfEveryType());

  // Our reader: the fields added in order, every old row with them empty.
  const auto after = JetFile::Open(path, sample);
  const JetCatalog new_catalog = ReadCatalog(*after);
  TableInfo expected = table->info;
  std::vector<JetRow> rows = RowsOf(*before, *table);
  for (const ColumnInfo& field : testing::NewFieldOfEveryType()) {
    expected.columns.push_back(DescribedColumn(field));
    for (JetRow& row : rows) {
      if (field.type == dbBoolean) {
        row.emplace_back(false);  // a Boolean's value is its null-mask bit
      } else {
        row.emplace_back();
      }
    }
  }
  ASSERT_EQ(new_catalog.tables.size(), old_catalog.tables.size());
  for (std::size_t i = 0; i < old_catalog.tables.size(); ++i) {
    const bool changed = old_catalog.tables[i].info.name == name;
    EXPECT_EQ(new_catalog.tables[i].info, changed ? expected : old_catalog.tables[i].info);
    EXPECT_EQ(RowsOf(*after, new_catalog.tables[i]),
              changed ? rows : RowsOf(*before, old_catalog.tables[i]));
  }
  // The new Memo and OLE fields have maps of their long values, empty.
  const JetTableDef def = after->ReadTableDef(table->def.page);
  const auto& old_maps = table->def.long_value_maps;
  ASSERT_EQ(def.long_value_maps.size(), old_maps.size() + 2);
  for (std::size_t i = old_maps.size(); i < def.long_value_maps.size(); ++i) {
    EXPECT_EQ(after->UsedPages(def.long_value_maps[i].pages), std::vector<std::uint32_t>{});
    EXPECT_EQ(after->UsedPages(def.long_value_maps[i].free_pages), std::vector<std::uint32_t>{});
  }
  EXPECT_EQ(new_catalog.relations, old_catalog.relations);
  EXPECT_EQ(new_catalog.queries, old_catalog.queries);

  // mdbtools: the same tables and rows, the new fields in its header.
  EXPECT_EQ(testing::MdbTables(path), testing::MdbTables(original));
  EXPECT_EQ(testing::MdbRowCount(path, name), static_cast<long>(rows.size()));
  const auto exported = MdbExport(path, name);
  ASSERT_TRUE(exported && !exported->empty());
  std::vector<std::string> header;
  for (const ColumnInfo& column : expected.columns) header.push_back(column.name);
  EXPECT_EQ(exported->front(), header);

  EXPECT_EQ(CheckJetPages(path), std::vector<std::string>{});
  const testing::JetCopy copy(sample);
  // Only the definition and the page of the table's usage maps, which
  // gains the maps of the new long value fields.
  std::vector<std::uint32_t> written = copy.DefinitionPages(table->def.page);
  written.push_back(table->def.usage_map >> 8);
  std::sort(written.begin(), written.end());
  EXPECT_EQ(testing::DifferentPages(original, path, copy.PageSize()), written);
}

TEST(AccessAddField, EveryTypeOnEverySampleReadsBackAndTouchesOnlyTheDefinition) {
  if (!testing::MdbToolsInstalled()) GTEST_SKIP() << "mdbtools is not installed";
  const std::vector<std::string> samples = testing::WritableJetSamples();
  if (samples.empty()) GTEST_SKIP() << "the Access samples are not at " << JetSamplesDir();
  for (const std::string& sample : samples) AddEveryType(sample);
  // Definitions of 89 columns, on two pages: the grown one is split anew.
  AddEveryType("testV2003.mdb", "Table2");
  AddEveryType("testV2007.accdb", "Table2");
}

// Damage made to the changed copy before it is checked, and the check
// that must notice it.
struct Damage {
  const char* what;
  const char* check;
  void (*apply)(testing::JetCopy& copy, const JetTableDef& table);
};

const Damage kDamages[] = {
    {"a row count one too high", "our reader",
     [](testing::JetCopy& copy, const JetTableDef& table) {
       copy.PutLong(table.page, 0x10, table.row_count + 1);
     }},
    {"a data page's free space off by one", "page checks",
     [](testing::JetCopy& copy, const JetTableDef& table) {
       const std::uint32_t page = copy.MapPages(table.usage_map).front();
       copy.PutWord(page, 2, static_cast<std::uint16_t>(copy.Word(page, 2) + 1));
     }},
    {"the new Memo field's map claiming a page", "our reader",
     [](testing::JetCopy& copy, const JetTableDef& table) {
       const std::uint32_t map = table.long_value_maps.back().pages;
       const std::uint16_t row_at = copy.Word(map >> 8, 0x0E + 2 * (map & 0xFF)) & 0x1FFF;
       copy.PutWord(map >> 8, row_at + 5, 1);  // the first bit of its bitmap
     }},
};

TEST(AccessAddField, AFailedCheckLeavesTheFileAsItWasAndNamesTheCheck) {
  if (!testing::MdbToolsInstalled()) GTEST_SKIP() << "mdbtools is not installed";
  const std::string sample = "testV2003.mdb";
  if (!fs::exists(JetSamplesDir() + "/" + sample)) GTEST_SKIP() << "no samples";
  for (const Damage& damage : kDamages) {
    SCOPED_TRACE(damage.what);
    testing::TempDir dir;
    const std::string path = dir.File(sample);
    fs::copy_file(JetSamplesDir() + "/" + sample, path);
    const std::string bytes = testing::ReadFile(path);
    try {
      AddColumnsChecked(path, sample, "Table1",
                        {testing::NewFieldOfEveryType()[3], testing::NewFieldOfEveryType()[11]},
                        [&](const std::string& copy_path) {
                          testing::JetCopy copy(sample, copy_path);
                          damage.apply(copy, copy.Table("Table1"));
                          copy.Save(copy_path);
                        });
      ADD_FAILURE() << "the damaged copy was kept";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), err::kReadOnly);
      EXPECT_NE(e.Text().find("failed the check by " + std::string(damage.check)),
                std::string::npos)
          << e.Text();
    }
    EXPECT_EQ(testing::ReadFile(path), bytes);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
  }
}

struct Refusal {
  const char* sample;
  const char* table;
  ColumnInfo column;
  int number;
  const char* says;
};

const Refusal kRefusals[] = {
    {"testV1997.mdb", "Table1", {"N", dbLong, 0, false, false}, err::kReadOnly, "Access 97"},
    {"testV2003.mdb", "Nowhere", {"N", dbLong, 0, false, false}, err::kTableNotFound, "Nowhere"},
    {"testV2003.mdb", "Table1", {"a", dbLong, 0, false, false}, err::kFieldDefinedTwice, ""},
    {"testV2003.mdb", "Table1", {"N", dbBigInt, 0, false, false}, err::kInvalidFieldType, ""},
    {"testV2003.mdb", "Table1", {"N", dbText, 0, false, false}, err::kInvalidArgument, ""},
    {"testV2003.mdb", "Table1", {"N.1", dbLong, 0, false, false}, err::kInvalidName, "N.1"},
};

TEST(AccessAddField, RefusalsNameTheProblemAndChangeNothing) {
  if (!fs::is_directory(JetSamplesDir())) GTEST_SKIP() << "no samples";
  for (const Refusal& refusal : kRefusals) {
    SCOPED_TRACE(std::string(refusal.sample) + " " + refusal.column.name);
    testing::ExpectRefusedLeavingBytes(
        refusal.sample,
        [&](std::vector<std::uint8_t>& bytes) {
          AddColumn(bytes, refusal.sample, refusal.table, refusal.column);
        },
        refusal.number, refusal.says);
  }
}

// Fields are added while the definition fits the pages it has; the one that
// would not fit is refused and the definition is left as the last one that did.
TEST(AccessAddField, ADefinitionThatWouldOutgrowItsPagesIsRefused) {
  if (!fs::is_directory(JetSamplesDir())) GTEST_SKIP() << "no samples";
  std::vector<std::uint8_t> bytes = testing::JetSampleBytes("indexTestV2003.mdb");
  const std::string long_name(60, 'x');
  for (int i = 0; i < 200; ++i) {
    const std::vector<std::uint8_t> fitted = bytes;
    try {
      AddColumn(bytes, "f.mdb", "Table1", {long_name + std::to_string(i), dbLong, 0, false, false});
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), err::kReadOnly);
      EXPECT_NE(e.Text().find("no longer fit"), std::string::npos) << e.Text();
      EXPECT_TRUE(bytes == fitted);
      const auto file = JetFile::FromBytes(bytes, "f.mdb");
      EXPECT_EQ(CheckJetPages(*file), std::vector<std::string>{});
      EXPECT_GT(i, 10);
      return;
    }
  }
  ADD_FAILURE() << "200 fields fitted one page";
}

TEST(AccessAddField, WithoutMdbToolsNothingIsChangedAndTheRefusalSaysWhatToInstall) {
  if (!fs::is_directory(JetSamplesDir())) GTEST_SKIP() << "no samples";
  testing::TempDir dir;
  const std::string path = dir.File("testV2003.mdb");
  fs::copy_file(JetSamplesDir() + "/testV2003.mdb", path);
  const std::string bytes = testing::ReadFile(path);
  const std::string saved = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", dir.path().c_str(), 1);
  try {
    AddColumnsChecked(path, "testV2003.mdb", "Table1", {testing::NewFieldOfEveryType()[0]});
    ADD_FAILURE() << "changed without mdbtools";
  } catch (const Error& e) {
    EXPECT_NE(e.Text().find("install Debian's package mdbtools"), std::string::npos) << e.Text();
  }
  setenv("PATH", saved.c_str(), 1);
  EXPECT_EQ(testing::ReadFile(path), bytes);
}

}  // namespace
}  // namespace actualiz::engine::jet
