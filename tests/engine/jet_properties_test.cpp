// Required and AllowZeroLength of a field added to a real Access file: on a
// table of every Jet 4 and ACE sample, read back by our reader and by
// mdbtools (mdb-prop), every other table's rows and properties unchanged,
// the page checks passing.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "base/error.h"
#include "base/names.h"
#include "engine/accessfile/jet_catalog.h"
#include "engine/accessfile/jet_check.h"
#include "engine/accessfile/jet_writer.h"
#include "engine/engine.h"
#include "tests/support/access_oracle.h"
#include "tests/support/jet_copy.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace actualiz::engine::jet {
namespace {

namespace fs = std::filesystem;
using testing::JetSamplesDir;

// What the table stage of the batch adds: Text and Memo allowing "", and a
// required number.
const std::vector<ColumnInfo> kFlaggedFields = {
    {.name = "Note Text", .type = dbText, .size = 50, .allow_zero_length = true},
    {.name = "Note Memo", .type = dbMemo, .allow_zero_length = true},
    {.name = "Count Required", .type = dbLong, .required = true},
};

std::vector<std::uint8_t> Bytes(const std::string& path) {
  const std::string text = testing::ReadFile(path);
  return {text.begin(), text.end()};
}

void Save(const std::vector<std::uint8_t>& bytes, const std::string& path) {
  testing::WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

// Field (or "" for the table) -> property -> value, as mdb-prop prints them.
using Properties = std::map<std::string, std::map<std::string, std::string>>;

Properties MdbProp(const std::string& file, const std::string& table) {
  const testing::ProgramRun run = testing::RunProgram({"/usr/bin/mdb-prop", file, table});
  EXPECT_EQ(run.status, 0) << "mdb-prop " << file << " " << table << ": " << run.err;
  Properties out;
  std::string object;
  std::size_t from = 0;
  while (from < run.out.size()) {
    std::size_t end = run.out.find('\n', from);
    if (end == std::string::npos) end = run.out.size();
    const std::string line = run.out.substr(from, end - from);
    from = end + 1;
    if (line.rfind("name: ", 0) == 0) {
      object = line.substr(6);
      out[object];
    } else if (line.size() > 1 && line[0] == '\t') {
      const std::size_t colon = line.find(": ");
      out[object][line.substr(1, colon - 1)] =
          colon == std::string::npos ? "" : line.substr(colon + 2);
    }
  }
  return out;
}

const JetTable* FirstUserTable(const JetCatalog& catalog) {
  for (const JetTable& t : catalog.tables) {
    if (!IsSystemName(t.info.name)) return &t;
  }
  return nullptr;
}

std::vector<JetRow> RowsOf(const JetFile& file, const JetTable& table) {
  JetTableDef def = file.ReadTableDef(table.def.page);
  def.name = table.info.name;
  return file.ReadRows(def);
}

// The catalogue's rows with the changed table's property value left out:
// the one value the change rewrites.
std::vector<JetRow> CatalogRowsBut(const JetFile& file, const JetTable& objects,
                                   const std::string& table) {
  std::vector<JetRow> rows = RowsOf(file, objects);
  std::size_t name = 0;
  std::size_t properties = 0;
  for (std::size_t i = 0; i < objects.info.columns.size(); ++i) {
    if (objects.info.columns[i].name == "Name") name = i;
    if (objects.info.columns[i].name == "LvProp") properties = i;
  }
  for (JetRow& row : rows) {
    if (row[name] == Value(table)) row[properties] = Value();
  }
  return rows;
}

void AddFlaggedFields(const std::string& sample) {
  SCOPED_TRACE(sample);
  testing::TempDir dir;
  const std::string original = JetSamplesDir() + "/" + sample;
  const std::string path = dir.File(sample);
  const auto before = JetFile::Open(original, sample);
  const JetCatalog old_catalog = ReadCatalog(*before);
  const JetTable* table = FirstUserTable(old_catalog);
  if (!table) return;  // nothing to change
  const std::string name = table->info.name;

  std::vector<std::uint8_t> bytes = Bytes(original);
  for (const ColumnInfo& field : kFlaggedFields) AddColumn(bytes, sample, name, field);
  Save(bytes, path);

  // Our reader: the new fields with their flags, every other table and
  // every row as before, but for the changed table's property value.
  const auto after = JetFile::Open(path, sample);
  const JetCatalog new_catalog = ReadCatalog(*after);
  ASSERT_EQ(new_catalog.tables.size(), old_catalog.tables.size());
  for (std::size_t i = 0; i < old_catalog.tables.size(); ++i) {
    const JetTable& old_table = old_catalog.tables[i];
    TableInfo expected = old_table.info;
    if (old_table.info.name == name) {
      for (const ColumnInfo& field : kFlaggedFields) {
        expected.columns.push_back(DescribedColumn(field));
      }
    }
    EXPECT_EQ(new_catalog.tables[i].info, expected);
    if (old_table.info.name == "MSysObjects") {
      EXPECT_EQ(CatalogRowsBut(*after, new_catalog.tables[i], name),
                CatalogRowsBut(*before, old_table, name));
    } else if (old_table.info.name != name) {
      EXPECT_EQ(RowsOf(*after, new_catalog.tables[i]), RowsOf(*before, old_table));
    }
  }
  for (const ColumnInfo& field : kFlaggedFields) {
    const ColumnInfo described = DescribedColumn(field);
    EXPECT_EQ(described.required, field.required);
    EXPECT_EQ(described.allow_zero_length, field.allow_zero_length);
  }

  // mdbtools: the same properties for every other field and table, the
  // flags on the new fields.
  for (const JetTable& t : old_catalog.tables) {
    if (IsSystemName(t.info.name)) continue;
    Properties expected = MdbProp(original, t.info.name);
    if (t.info.name == name) {
      for (const ColumnInfo& field : kFlaggedFields) {
        auto& shown = expected[field.name];
        if (field.required) shown["Required"] = "yes";
        if (field.allow_zero_length) shown["AllowZeroLength"] = "yes";
      }
    }
    EXPECT_EQ(MdbProp(path, t.info.name), expected) << t.info.name;
  }
  EXPECT_EQ(CheckJetPages(path), std::vector<std::string>{});
}

TEST(AccessFieldFlags, RequiredAndAllowZeroLengthOnEverySampleReadBackByBothReaders) {
  if (!fs::exists("/usr/bin/mdb-prop")) GTEST_SKIP() << "mdbtools is not installed";
  const std::vector<std::string> samples = testing::WritableJetSamples();
  if (samples.empty()) GTEST_SKIP() << "the Access samples are not at " << JetSamplesDir();
  for (const std::string& sample : samples) AddFlaggedFields(sample);
}

// Table2 of testV2003.mdb keeps 16,175 bytes of field properties on a chain
// of pages: the value grown by a field cannot be stored in one page.
TEST(AccessFieldFlags, PropertiesThatWouldOutgrowOnePageAreRefusedNamingTheTable) {
  const std::string sample = JetSamplesDir() + "/testV2003.mdb";
  if (!fs::exists(sample)) GTEST_SKIP() << "no samples";
  const std::vector<std::uint8_t> original = Bytes(sample);
  std::vector<std::uint8_t> bytes = original;
  try {
    AddColumn(bytes, "testV2003.mdb", "Table2", kFlaggedFields[0]);
    ADD_FAILURE() << "added";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::kReadOnly);
    EXPECT_NE(e.Text().find("table 'Table2'"), std::string::npos) << e.Text();
    EXPECT_NE(e.Text().find("more than one page holds"), std::string::npos) << e.Text();
  }
  EXPECT_TRUE(bytes == original);
}

// Table1's catalogue row in testV2003.mdb: row 17 of page 14, 17 columns,
// LvProp (column 14) a 12-byte reference 46 bytes into the row.
constexpr std::uint32_t kCatalogRowPage = 14;
constexpr unsigned kCatalogRow = 17;

std::size_t CatalogRowStart(const testing::JetCopy& copy) {
  return copy.Word(kCatalogRowPage, 0x0E + 2 * kCatalogRow) & 0x1FFF;
}
std::size_t CatalogRowEnd(const testing::JetCopy& copy) {
  return copy.Word(kCatalogRowPage, 0x0E + 2 * (kCatalogRow - 1)) & 0x1FFF;
}

struct Unwritable {
  const char* what;
  void (*apply)(testing::JetCopy& copy);
};

// A row without a property value, or with one kept in the row, would have
// to change size: both are refused rather than rewritten.
const Unwritable kUnwritable[] = {
    {"no property value",
     [](testing::JetCopy& copy) {
       const std::size_t mask_high = CatalogRowEnd(copy) - 2;  // columns 8-15, then 16
       copy.PutWord(kCatalogRowPage, mask_high,
                    static_cast<std::uint16_t>(copy.Word(kCatalogRowPage, mask_high) & ~0x40));
     }},
    {"the value kept in the row",
     [](testing::JetCopy& copy) {
       const std::size_t head = CatalogRowStart(copy) + 46;
       copy.PutLong(kCatalogRowPage, head, 0x80000000);  // in the row, 0 bytes
     }},
};

TEST(AccessFieldFlags, ARowThatWouldChangeSizeIsRefusedAndNothingChanges) {
  if (!fs::exists(JetSamplesDir() + "/testV2003.mdb")) GTEST_SKIP() << "no samples";
  for (const Unwritable& damage : kUnwritable) {
    SCOPED_TRACE(damage.what);
    testing::TempDir dir;
    const std::string path = dir.File("testV2003.mdb");
    testing::JetCopy copy("testV2003.mdb");
    damage.apply(copy);
    copy.Save(path);
    const std::vector<std::uint8_t> original = Bytes(path);
    std::vector<std::uint8_t> bytes = original;
    try {
      AddColumn(bytes, "testV2003.mdb", "Table1", kFlaggedFields[0]);
      ADD_FAILURE() << "added";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), err::kReadOnly);
      EXPECT_NE(e.Text().find("writing the field properties of table 'Table1' is not supported"),
                std::string::npos)
          << e.Text();
    }
    EXPECT_TRUE(bytes == original);
  }
}

}  // namespace
}  // namespace actualiz::engine::jet
