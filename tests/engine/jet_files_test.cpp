// Reading real Access files (Jet 3, Jet 4, ACE) through the engine's
// objects, and refusing damaged ones. The sample files live beside the
// clone; the tests skip when they are absent.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/accessfile/jet_check.h"
#include "engine/engine.h"
#include "tests/engine/engine_fixture.h"
#include "tests/support/own_session.h"
#include "tests/support/temp_dir.h"

namespace actualiz::engine {
namespace {

namespace fs = std::filesystem;

const fs::path kSamples = fs::path(ACTUALIZ_SOURCE_DIR) / ".." / "shared" / "jet-samples";

#define REQUIRE_SAMPLES() \
  if (!fs::is_directory(kSamples)) GTEST_SKIP() << "no Access samples at " << kSamples

DatabasePtr OpenSample(const std::string& name) {
  return testing::OpenInOwnSession((kSamples / name).string());
}

std::vector<Value> Column(Database& db, const std::string& table, const std::string& field) {
  std::vector<Value> values;
  RecordsetPtr set = db.OpenRecordset(table);
  while (!set->Eof()) {
    values.push_back(set->Fields().Item(field)->GetValue());
    set->MoveNext();
  }
  return values;
}

std::vector<std::string> Names(const auto& items) {
  std::vector<std::string> names;
  for (const auto& item : items) names.push_back(item->Name());
  return names;
}

class EveryFormat : public ::testing::TestWithParam<const char*> {};

TEST_P(EveryFormat, TablesFieldsAndValuesOfEveryBasicType) {
  REQUIRE_SAMPLES();
  DatabasePtr db = OpenSample(GetParam());
  EXPECT_TRUE(db->ReadOnly());
  const std::vector<std::string> user = {"Table1", "Table2", "Table3", "Table4"};
  std::vector<std::string> found;
  bool has_system = false;
  for (const auto& table : db->TableDefs().Items()) {
    EXPECT_FALSE(table->Updatable()) << table->Name();
    if (table->Name().starts_with("MSys")) {
      has_system = true;
    } else {
      found.push_back(table->Name());
    }
  }
  EXPECT_TRUE(has_system);
  EXPECT_EQ(found, user);

  TableDefPtr t1 = db->TableDefs().Item("Table1");
  struct Expected {
    const char* name;
    int type;
    int size;
  };
  const Expected fields[] = {{"A", dbText, 50},   {"B", dbText, 100},   {"C", dbByte, 1},
                             {"D", dbInteger, 2}, {"E", dbLong, 4},     {"F", dbDouble, 8},
                             {"G", dbDate, 8},    {"H", dbCurrency, 8}, {"I", dbBoolean, 1}};
  ASSERT_EQ(t1->Fields().Count(), 9);
  for (int i = 0; i < 9; ++i) {
    FieldPtr f = t1->Fields().Item(i);
    EXPECT_EQ(f->Name(), fields[i].name);
    EXPECT_EQ(f->Type(), fields[i].type) << f->Name();
    EXPECT_EQ(f->Size(), fields[i].size) << f->Name();
  }
  EXPECT_EQ(db->TableDefs().Item("Table2")->Fields().Count(), 89);
  EXPECT_TRUE(db->TableDefs().Item("Table2")->Fields().Item("column1")->AllowZeroLength());
  EXPECT_FALSE(t1->Fields().Item("A")->AllowZeroLength());
  EXPECT_EQ(db->TableDefs().Item("Table4")->Fields().Item("data")->Type(), dbGUID);

  // The row "abcdefg" carries a value of every type; the other one zeros.
  RecordsetPtr set = db->OpenRecordset("Select * from Table1 where A = 'abcdefg'");
  ASSERT_EQ(set->RecordCount(), 1);
  auto value = [&](const char* f) { return set->Fields().Item(f)->GetValue(); };
  EXPECT_EQ(value("B"), Value("hijklmnop"));
  EXPECT_EQ(value("C"), Value(2));
  EXPECT_EQ(value("D"), Value(222));
  EXPECT_EQ(value("E"), Value(333333333));
  EXPECT_EQ(value("F"), Value(444.555));
  EXPECT_EQ(value("H"), Value(3.5));
  EXPECT_EQ(value("I"), Value(true));
  // 21 September 1974 is day 27293 after 30 December 1899.
  EXPECT_EQ(value("G"), Value(27293.0));
  EXPECT_EQ(Column(*db, "Table1", "A").size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Samples, EveryFormat,
                         ::testing::Values("testV1997.mdb", "testV2000.mdb", "testV2003.mdb",
                                           "testV2007.accdb", "testV2010.accdb"));

class IndexFormat : public ::testing::TestWithParam<const char*> {};

TEST_P(IndexFormat, IndexesAndRelationsUnderTheirRealNames) {
  REQUIRE_SAMPLES();
  DatabasePtr db = OpenSample(GetParam());
  TableDefPtr t1 = db->TableDefs().Item("Table1");
  EXPECT_EQ(Names(t1->Indexes().Items()),
            (std::vector<std::string>{"id", "PrimaryKey", "Table2Table1", "Table3Table1"}));
  IndexPtr primary = t1->Indexes().Item("PrimaryKey");
  EXPECT_TRUE(primary->Primary());
  EXPECT_TRUE(primary->Unique());
  EXPECT_EQ(Names(primary->Fields().Items()), std::vector<std::string>{"id"});
  IndexPtr foreign = t1->Indexes().Item("Table2Table1");
  EXPECT_FALSE(foreign->Primary());
  EXPECT_EQ(Names(foreign->Fields().Items()), std::vector<std::string>{"otherfk1"});

  int user_relations = 0;
  for (const auto& relation : db->Relations().Items()) {
    if (!relation->Table().starts_with("MSys")) ++user_relations;
  }
  EXPECT_EQ(user_relations, 2);
  RelationPtr r = db->Relations().Item("Table2Table1");
  EXPECT_EQ(r->Table(), "Table2");
  EXPECT_EQ(r->ForeignTable(), "Table1");
  EXPECT_EQ(r->Attributes(), dbRelationDeleteCascade);
  ASSERT_EQ(r->Fields().Count(), 1);
  EXPECT_EQ(r->Fields().Item(0)->Name(), "id");
  EXPECT_EQ(r->Fields().Item(0)->ForeignName(), "otherfk1");
  EXPECT_EQ(db->Relations().Item("Table3Table1")->Attributes(), dbRelationUpdateCascade);

  std::vector<Value> data = Column(*db, "Table1", "data");
  EXPECT_EQ(data.size(), 4u);
  EXPECT_EQ(data.front(), Value("baz0"));
}

INSTANTIATE_TEST_SUITE_P(Samples, IndexFormat,
                         ::testing::Values("indexTestV1997.mdb", "indexTestV2000.mdb",
                                           "indexTestV2003.mdb", "indexTestV2007.accdb",
                                           "indexTestV2010.accdb"));

TEST(AccessText, CompressedUnicodeAndDecimalsReadWhole) {
  REQUIRE_SAMPLES();
  DatabasePtr db = OpenSample("testUnicodeCompV2003.mdb");
  EXPECT_EQ(Names(db->TableDefs().Items()).back(), "Table");  // no hidden attachment store
  const std::vector<Value> text = Column(*db, "Table", "Unicode");
  ASSERT_EQ(text.size(), 8u);
  EXPECT_EQ(text[0], Value("only ascii chars"));
  EXPECT_EQ(text[1], Value("ääkkösiä"));
  EXPECT_EQ(text[2], Value("Мир"));

  DatabasePtr numeric = OpenSample("fixedNumericTestV2003.mdb");
  FieldPtr col2 = numeric->TableDefs().Item("test")->Fields().Item("col2");
  EXPECT_EQ(col2->Type(), 20);  // Decimal
  EXPECT_EQ(Column(*numeric, "test", "col1").front(), Value("some data"));
  EXPECT_EQ(Column(*numeric, "test", "col6").front(), Value(-1.0));
}

class QueryFormat : public ::testing::TestWithParam<const char*> {};

TEST_P(QueryFormat, StoredQueriesAsAccessShowsThem) {
  REQUIRE_SAMPLES();
  DatabasePtr db = OpenSample(GetParam());
  std::map<std::string, std::string> sql;
  for (const auto& q : db->QueryDefs().Items()) sql[q->Name()] = q->SQL();
  const std::map<std::string, std::string> expected = {
      {"SelectQuery",
       "SELECT DISTINCT Table1.*, Table2.col1, Table2.col2, Table3.col3\r\n"
       "FROM (Table1 LEFT JOIN Table3 ON Table1.col1 = Table3.col1) INNER JOIN Table2 ON "
       "(Table3.col1 = Table2.col2) AND (Table3.col1 = Table2.col1)\r\n"
       "WHERE (((Table2.col2)=\"foo\" Or (Table2.col2) In (\"buzz\",\"bazz\")))\r\n"
       "ORDER BY Table2.col1;"},
      {"DeleteQuery",
       "DELETE Table1.col1, Table1.col2, Table1.col3\r\nFROM Table1\r\n"
       "WHERE (((Table1.col1)>\"blah\"));"},
      {"AppendQuery",
       "INSERT INTO Table3 ( col2, col2, col3 )\r\n"
       "SELECT [Table1].[col2], [Table2].[col2], [Table2].[col3]\r\n"
       "FROM Table3, Table1 INNER JOIN Table2 ON [Table1].[col1]=[Table2].[col1];"},
      {"UpdateQuery",
       "PARAMETERS [User Name] Text ( 255 );\r\n"
       "UPDATE Table1 SET Table1.col1 = \"foo\", Table1.col2 = [Table2].[col3], "
       "[Table2].[col1] = [User Name]\r\nWHERE ((([Table2].[col1]) Is Not Null));"},
      {"MakeTableQuery",
       "SELECT Max(Table2.col1) AS MaxOfcol1, Table2.col2, Table3.col2 INTO Table4\r\n"
       "FROM (Table2 INNER JOIN Table1 ON Table2.col1 = Table1.col2) RIGHT JOIN Table3 ON "
       "Table1.col2 = Table3.col3\r\nGROUP BY Table2.col2, Table3.col2\r\n"
       "HAVING (((Max(Table2.col1))=\"buzz\") AND ((Table2.col2)<>\"blah\"));"},
      {"CrosstabQuery",
       "TRANSFORM Count([Table2].[col2]) AS CountOfcol2\r\n"
       "SELECT Table2_1.col1, [Table2].[col3], Avg(Table2_1.col2) AS AvgOfcol2\r\n"
       "FROM (Table1 INNER JOIN Table2 ON [Table1].[col1]=[Table2].[col1]) INNER JOIN Table2 "
       "AS Table2_1 ON [Table2].[col1]=Table2_1.col3\r\n"
       "WHERE ((([Table1].[col1])>\"10\") And ((Table2_1.col1) Is Not Null) And "
       "((Avg(Table2_1.col2))>\"10\"))\r\n"
       "GROUP BY Table2_1.col1, [Table2].[col3]\r\nORDER BY [Table2].[col3]\r\n"
       "PIVOT [Table1].[col1];"},
      {"UnionQuery",
       "Select Table1.col1, Table1.col2\r\nwhere Table1.col1 = \"foo\"\r\nUNION\r\n"
       "Select Table2.col1, Table2.col2\r\nUNION ALL Select Table3.col1, Table3.col2\r\n"
       "where Table3.col3 > \"blah\";"},
      {"PassthroughQuery", "ALTER TABLE Table4 DROP COLUMN col5;"},
      {"DataDefinitionQuery", "CREATE TABLE Table5 (col1 CHAR, col2 CHAR);"},
  };
  EXPECT_EQ(sql.size(), expected.size());  // none lost, however its rows are stored
  for (const auto& [name, text] : sql) {
    ASSERT_TRUE(expected.contains(name)) << name;
    // Older files keep line ends as a lone line feed in union parts.
    std::string normal;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) normal += '\r';
      normal += text[i];
    }
    EXPECT_EQ(normal, expected.at(name)) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, QueryFormat,
                         ::testing::Values("queryTestV1997.mdb", "queryTestV2000.mdb",
                                           "queryTestV2003.mdb", "queryTestV2007.accdb"));

// Writes on an Access file fail, naming the file and, for the changes the
// table object does not refuse itself, the kind of change; nothing changes.
TEST(AccessWrites, EveryWriteButAddingTablesAndFieldsRefusedByKindNamingTheFile) {
  REQUIRE_SAMPLES();
  testing::TempDir dir;
  const std::string path = dir.File("testV2003.mdb");
  fs::copy_file(kSamples / "testV2003.mdb", path);
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
  const std::string before = testing::ReadFile(path);
  DatabasePtr db = testing::OpenInOwnSession(path);
  TableDefPtr table1 = db->TableDefs().Item("Table1");
  RecordsetPtr set = db->OpenRecordset("Table1");
  const std::pair<std::string, std::function<void()>> writes[] = {
      {"changing indexes of",
       [&] {
         TableDefPtr t = db->CreateTableDef("Nueva");
         t->Fields().Append(t->CreateField("X", dbLong));
         auto index = t->CreateIndex("PorX");
         index->Fields().Append(index->CreateField("X"));
         t->Indexes().Append(index);
         db->TableDefs().Append(t);
       }},
      {"changing indexes of",
       [&] {
         auto index = table1->CreateIndex("PorA");
         index->Fields().Append(index->CreateField("A"));
         table1->Indexes().Append(index);
       }},
      {"changing relations of",
       [&] {
         auto relation = db->CreateRelation("R", "Table1", "Table2", 0);
         relation->Fields().Append(relation->CreateField("A"));
         relation->Fields().Item("A")->SetForeignName("column1");
         db->Relations().Append(relation);
       }},
      {"changing stored queries of", [&] { db->CreateQueryDef("Q", "SELECT * FROM Table1"); }},
      {"removing tables from", [&] { db->TableDefs().Delete("Table3"); }},
      {"changing rows of",
       [&] {
         set->AddNew();
         set->Update();
       }},
  };
  for (const auto& [kind, write] : writes) {
    const Error refused = RaisedError(write);
    EXPECT_EQ(refused.Number(), err::kReadOnly) << kind;
    const std::string text = refused.what();
    EXPECT_NE(text.find("'" + path + "'"), std::string::npos) << text;
    EXPECT_NE(text.find(kind + " an Access file is not supported yet; convert it with `import`"),
              std::string::npos)
        << text;
  }
  EXPECT_TRUE(testing::ReadFile(path) == before) << "a refused change wrote the file";
}

TEST(AccessWrites, ATableAndAFieldAddedThroughTheEngineAreInTheFileAndALaterRefusalKeepsThem) {
  REQUIRE_SAMPLES();
  testing::TempDir dir;
  const std::string path = dir.File("testV2003.mdb");
  fs::copy_file(kSamples / "testV2003.mdb", path);
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
  {
    DatabasePtr db = testing::OpenInOwnSession(path);
    TableDefPtr table1 = db->TableDefs().Item("Table1");
    table1->Fields().Append(table1->CreateField("Nuevo", dbText, 30));
    TableDefPtr made = db->CreateTableDef("Nueva");
    made->Fields().Append(made->CreateField("X", dbLong));
    db->TableDefs().Append(made);
    EXPECT_EQ(RaisedError([&] { db->CreateQueryDef("Q", "SELECT * FROM Table1"); }).Number(),
              err::kReadOnly);
    db->Close();
  }
  DatabasePtr again = testing::OpenInOwnSession(path);
  FieldPtr added = again->TableDefs().Item("Table1")->Fields().Item("Nuevo");
  EXPECT_EQ(added->Type(), dbText);
  EXPECT_EQ(added->Size(), 30);
  for (const Value& value : Column(*again, "Table1", "Nuevo")) EXPECT_TRUE(value.IsNull());
  EXPECT_EQ(again->TableDefs().Item("Nueva")->Fields().Item("X")->Type(), dbLong);
  EXPECT_TRUE(Column(*again, "Nueva", "X").empty());
  EXPECT_TRUE(jet::CheckJetPages(path).empty());
}

TEST(AccessWrites, AFileWhoseModeIsReadOnlyIsRefusedAsAnyReadOnlyFile) {
  REQUIRE_SAMPLES();
  DatabasePtr db = OpenSample("testV2003.mdb");  // the samples are read-only
  TableDefPtr table1 = db->TableDefs().Item("Table1");
  const Error refused =
      RaisedError([&] { table1->Fields().Append(table1->CreateField("Z", dbLong)); });
  EXPECT_EQ(refused.Number(), err::kReadOnly);
  EXPECT_EQ(std::string(refused.what()).find("not supported"), std::string::npos) << refused.what();
}

// A copy of a sample with `change` made to its bytes.
std::string DamagedCopy(const testing::TempDir& dir, const std::string& sample,
                        const std::function<void(std::string&)>& change,
                        const std::string& name = "damaged.mdb") {
  std::ifstream in(kSamples / sample, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  change(bytes);
  const std::string path = dir.File(name);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  return path;
}

// Opens and reads everything; returns the failure (number 0 when none).
Error ReadAll(const std::string& path) {
  return RaisedError([&] {
    DatabasePtr db = testing::OpenInOwnSession(path);
    for (const auto& t : db->TableDefs().Items()) {
      RecordsetPtr set = db->OpenRecordset(t->Name());
      while (!set->Eof()) {
        for (const auto& f : set->Fields().Items()) f->GetValue();
        set->MoveNext();
      }
    }
  });
}

// A table whose rows read are not as many as its definition counts fails
// naming the file, the table and both counts, rather than yield part of it.
TEST(AccessBadInput, RowsReadDifferingFromTheStoredCountFailNamingTableAndCounts) {
  REQUIRE_SAMPLES();
  testing::TempDir dir;
  struct Case {
    const char* sample;
    std::size_t page_size;
    std::size_t count_at;  // of the row count in a table definition
    int stored;            // the count written there instead of 2
    const char* stored_text;
  };
  const Case cases[] = {{"testV1997.mdb", 2048, 0x0C, 3, "3 rows"},
                        {"testV2003.mdb", 4096, 0x10, 3, "3 rows"},
                        {"testV2010.accdb", 4096, 0x10, 1, "1 row"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sample);
    RecordsetPtr id =
        OpenSample(c.sample)->OpenRecordset("Select * from MSysObjects where Name = 'Table1'");
    ASSERT_FALSE(id->Eof());
    const auto page = static_cast<std::size_t>(
        std::get<std::int64_t>(id->Fields().Item("Id")->GetValue().variant()) & 0xFFFFFF);
    const std::string path = DamagedCopy(dir, c.sample, [&](std::string& b) {
      b[page * c.page_size + c.count_at] = static_cast<char>(c.stored);
    });
    const Error e = ReadAll(path);
    EXPECT_EQ(e.Number(), err::kUnrecognizedFormat) << e.what();
    const std::string expected = "Unrecognized database format '" + path +
                                 "'. The Access file is damaged: table 'Table1' holds " +
                                 c.stored_text + " by its definition, but 2 rows were read.";
    EXPECT_EQ(e.Text(), expected);
  }
}

std::uint32_t Le32(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(b[at + i]);
  return v;
}

// A table's usage map either keeps its bitmap in its own row or lists pages
// that keep bitmaps. The samples only have the first kind: the copy moves
// Table1's bitmap to a page of the second kind, and its rows must still read.
TEST(AccessRows, RowsOfPagesListedByEitherKindOfUsageMapAreRead) {
  REQUIRE_SAMPLES();
  testing::TempDir dir;
  struct Case {
    const char* sample;
    std::size_t page_size;
    std::size_t map_at;  // of the map's row pointer in a table definition
  };
  for (const Case& c : {Case{"testV1997.mdb", 2048, 0x23}, Case{"testV2003.mdb", 4096, 0x37}}) {
    SCOPED_TRACE(c.sample);
    DatabasePtr original = OpenSample(c.sample);
    RecordsetPtr id = original->OpenRecordset("Select * from MSysObjects where Name = 'Table1'");
    ASSERT_FALSE(id->Eof());
    const auto definition = static_cast<std::size_t>(
        std::get<std::int64_t>(id->Fields().Item("Id")->GetValue().variant()) & 0xFFFFFF);
    const std::string path = DamagedCopy(dir, c.sample, [&](std::string& b) {
      const std::size_t ps = c.page_size;
      const std::uint32_t map = Le32(b, definition * ps + c.map_at);
      const std::size_t page = (map >> 8) * ps, row = map & 0xFF;
      const std::size_t slots = page + (ps == 2048 ? 8 : 12) + 2;
      auto offset = [&](std::size_t r) {
        return static_cast<std::size_t>(static_cast<std::uint8_t>(b[slots + 2 * r]) |
                                        (static_cast<std::uint8_t>(b[slots + 2 * r + 1]) << 8)) &
               0x1FFF;
      };
      const std::size_t start = page + offset(row);
      const std::size_t end = page + (row == 0 ? ps : offset(row - 1));
      ASSERT_EQ(b[start], 0);  // the bitmap is in the row
      const std::uint32_t first = Le32(b, start + 1);
      std::string bitmap_page(ps, '\0');
      bitmap_page[0] = 0x05;
      bitmap_page[1] = 0x01;
      for (std::size_t i = start + 5; i < end; ++i) {
        for (int bit = 0; bit < 8; ++bit) {
          if ((b[i] >> bit) & 1) {
            const std::size_t used = first + (i - start - 5) * 8 + bit;
            bitmap_page[4 + used / 8] |= static_cast<char>(1 << (used % 8));
          }
        }
      }
      const auto bitmap_number = static_cast<std::uint32_t>(b.size() / ps);
      b += bitmap_page;
      std::fill(b.begin() + static_cast<std::ptrdiff_t>(start),
                b.begin() + static_cast<std::ptrdiff_t>(end), '\0');
      b[start] = 0x01;
      std::memcpy(b.data() + start + 1, &bitmap_number, 4);
    });
    EXPECT_EQ(Column(*testing::OpenInOwnSession(path), "Table1", "A"),
              Column(*original, "Table1", "A"));
  }
}

// A table MSysObjects lists but whose rows are in another database cannot
// be carried: opening fails naming it instead of leaving it out.
TEST(AccessBadInput, ALinkedTableIsRefusedByName) {
  REQUIRE_SAMPLES();
  testing::TempDir dir;
  for (const char* sample : {"testV2003.mdb", "testV2007.accdb"}) {
    SCOPED_TRACE(sample);
    RecordsetPtr object =
        OpenSample(sample)->OpenRecordset("Select * from MSysObjects where Name = 'Table4'");
    ASSERT_FALSE(object->Eof());
    auto number = [&](const char* field) {
      return static_cast<std::int32_t>(
          std::get<std::int64_t>(object->Fields().Item(field)->GetValue().variant()));
    };
    // In these files the row's fixed part holds Id, ParentId and Type in turn.
    std::string row(10, '\0');
    const std::int32_t id = number("Id"), parent = number("ParentId");
    std::memcpy(row.data(), &id, 4);
    std::memcpy(row.data() + 4, &parent, 4);
    row[8] = 1;  // a local table
    const std::string path = DamagedCopy(dir, sample, [&](std::string& b) {
      const std::size_t at = b.find(row);
      ASSERT_NE(at, std::string::npos);
      ASSERT_EQ(b.find(row, at + 1), std::string::npos);
      b[at + 8] = 6;  // a table linked to another Access file
    });
    const Error e = ReadAll(path);
    EXPECT_EQ(e.Number(), err::kUnrecognizedFormat) << e.what();
    EXPECT_NE(e.Text().find("links the table 'Table4' to another database"), std::string::npos)
        << e.Text();
  }
}

TEST(AccessBadInput, TruncatedEncryptedForeignVersionAndScrambledFilesFailNamingTheFile) {
  REQUIRE_SAMPLES();
  testing::TempDir dir;
  for (const char* sample : {"testV1997.mdb", "testV2003.mdb", "testV2007.accdb"}) {
    SCOPED_TRACE(sample);
    const auto cases = std::vector<std::function<void(std::string&)>>{
        [](std::string& b) { b.resize(b.size() / 2 + 100); },  // truncated
        [](std::string& b) { b.resize(3000); },                // only a header
        [](std::string& b) { b[0x14] = 9; },                   // unknown version
        [](std::string& b) {
          for (std::size_t i = 4096; i < 3 * 4096 && i < b.size(); ++i) b[i] ^= 0x5A;
        },
        [](std::string& b) {
          for (std::size_t i = 3 * 2048; i < b.size(); i += 7) b[i] = static_cast<char>(i * 31);
        },
    };
    for (const auto& change : cases) {
      const std::string path = DamagedCopy(dir, sample, change);
      const auto size = fs::file_size(path);
      const Error e = ReadAll(path);
      EXPECT_EQ(e.Number(), err::kUnrecognizedFormat) << e.what();
      EXPECT_NE(std::string(e.what()).find("damaged.mdb"), std::string::npos) << e.what();
      EXPECT_EQ(fs::file_size(path), size);
    }
  }
}

// XOR-s `plain` into the masked header of `bytes` at `offset`. The samples
// have no password and no page key, so their masked fields hold the mask of
// empty ones; XOR-ing in plain values gives the bytes a file with those
// values stores, without repeating the reader's unmasking.
void Unmask(std::string& bytes, std::size_t offset, const std::string& plain) {
  for (std::size_t i = 0; i < plain.size(); ++i) bytes[offset + i] ^= plain[i];
}

// `password` as the header stores it: code-page bytes in Jet 3, UCS-2 in
// Jet 4 (ASCII here, so each character is one unit).
std::string PasswordBytes(const std::string& password, bool jet3) {
  if (jet3) return password;
  std::string wide;
  for (char c : password) wide += std::string{c, '\0'};
  return wide;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Protected {
  const char* sample;
  bool jet3;
};

class PasswordProtected : public ::testing::TestWithParam<Protected> {};

TEST_P(PasswordProtected, RefusedWith3031NamingTheFileWhichStaysUnchanged) {
  REQUIRE_SAMPLES();
  testing::TempDir dir;
  const bool jet3 = GetParam().jet3;
  // One character, a field filled to its last byte, and a character whose
  // only set bits are in its second byte (a UCS-2 unit above 0xFF).
  const std::vector<std::string> passwords = {
      PasswordBytes("x", jet3), PasswordBytes("abcdefghijklmnopqrst", jet3),
      jet3 ? std::string("\x80") : std::string("\0\x01", 2)};
  for (const std::string& password : passwords) {
    SCOPED_TRACE(password.size());
    const std::string path = DamagedCopy(
        dir, GetParam().sample, [&](std::string& b) { Unmask(b, 0x42, password); }, "clave.mdb");
    const std::string before = ReadBytes(path);
    const auto written = fs::last_write_time(path);
    const Error e = ReadAll(path);
    EXPECT_EQ(e.Number(), 3031) << e.what();
    EXPECT_NE(e.Text().find("Not a valid password."), std::string::npos) << e.Text();
    EXPECT_NE(e.Text().find("clave.mdb' is protected by a database password"), std::string::npos)
        << e.Text();
    EXPECT_NE(e.Context().find("clave.mdb"), std::string::npos);
    EXPECT_TRUE(ReadBytes(path) == before);
    EXPECT_EQ(fs::last_write_time(path), written);
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, PasswordProtected,
                         ::testing::Values(Protected{"testV1997.mdb", true},
                                           Protected{"queryTestV1997.mdb", true},
                                           Protected{"testV2000.mdb", false},
                                           Protected{"indexTestV2003.mdb", false},
                                           Protected{"testUnicodeCompV2003.mdb", false}),
                         [](const ::testing::TestParamInfo<Protected>& info) {
                           // The sample's name without its extension: stable test names.
                           const std::string sample = info.param.sample;
                           return sample.substr(0, sample.find('.'));
                         });

TEST(AccessBadInput, EncryptedPagesAreNamedAsSuchBeforeTheyAreRead) {
  REQUIRE_SAMPLES();
  testing::TempDir dir;
  for (const char* sample : {"testV1997.mdb", "testV2003.mdb"}) {
    SCOPED_TRACE(sample);
    // A page key, with the pages after the first scrambled as it scrambles them.
    const std::string path = DamagedCopy(dir, sample, [](std::string& b) {
      Unmask(b, 0x3E, "\x12\x34\x56\x78");
      for (std::size_t i = 2048; i < b.size(); ++i) b[i] ^= static_cast<char>(i * 7 + 1);
    });
    const std::string before = ReadBytes(path);
    const Error e = ReadAll(path);
    EXPECT_EQ(e.Number(), err::kUnrecognizedFormat) << e.what();
    EXPECT_NE(e.Text().find("damaged.mdb"), std::string::npos) << e.Text();
    EXPECT_NE(e.Text().find("The Access file is encrypted; decrypt it"), std::string::npos)
        << e.Text();
    EXPECT_TRUE(ReadBytes(path) == before);
  }
  // A password and a page key: the password is what the operator must remove first.
  const std::string both = DamagedCopy(dir, "testV2003.mdb", [](std::string& b) {
    Unmask(b, 0x3E, "\x01\0\0\0");
    Unmask(b, 0x42, PasswordBytes("pw", false));
  });
  EXPECT_EQ(ReadAll(both).Number(), 3031);
}

TEST(AccessBadInput, AnAceFileEncryptedWithAPasswordIsRefusedWith3031) {
  REQUIRE_SAMPLES();
  testing::TempDir dir;
  // Page 0 names the provider that encrypted the other pages.
  const std::string path = DamagedCopy(
      dir, "testV2010.accdb",
      [](std::string& b) {
        const std::string provider =
            PasswordBytes("Microsoft Base Cryptographic Provider v1.0", false);
        b.replace(0x800, provider.size(), provider);
        for (std::size_t i = 4096; i < b.size(); ++i) b[i] ^= static_cast<char>(i * 13 + 5);
      },
      "cifrada.accdb");
  const std::string before = ReadBytes(path);
  const Error e = ReadAll(path);
  EXPECT_EQ(e.Number(), 3031) << e.what();
  EXPECT_NE(e.Text().find("cifrada.accdb' is encrypted with a password"), std::string::npos)
      << e.Text();
  EXPECT_TRUE(ReadBytes(path) == before);
}

// A damaged byte among the header fields the reader unmasks (page key,
// password, creation date) ends in a clear refusal or an ordinary open,
// never a crash; a creation date no number of days holds included.
TEST(AccessBadInput, DamagedProtectionFieldsFailCleanlyOrOpen) {
  REQUIRE_SAMPLES();
  testing::TempDir dir;
  std::vector<std::pair<std::size_t, char>> flips = {{0x79, '\x3F'}, {0x79, '\x7F'}};
  for (std::size_t at = 0x3E; at < 0x7A; ++at) flips.emplace_back(at, '\x80');
  for (const auto& [at, flip] : flips) {
    const std::string path = DamagedCopy(dir, "empty.mdb", [&](std::string& b) { b[at] ^= flip; });
    const int number = ReadAll(path).Number();
    EXPECT_TRUE(number == 0 || number == 3031 || number == err::kUnrecognizedFormat)
        << "byte " << at << ": " << number;
  }
}

}  // namespace
}  // namespace actualiz::engine
