// Databases described as JSON: what is created from a description comes back
// unchanged when described, and a description that cannot be created fails
// with its place named and leaves no file behind.
#include <filesystem>

#include <gtest/gtest.h>

#include "base/error.h"
#include "base/names.h"
#include "engine/description/description.h"
#include "engine/description/description_model.h"
#include "engine/engine.h"
#include "tests/support/db_builder.h"
#include "tests/support/own_session.h"
#include "tests/support/temp_dir.h"

namespace actualiz {
namespace {

using nlohmann::json;
using testing::BuildDatabase;
using testing::DescribeFile;
using testing::TempDir;

// ---- 1. Round trip: create, then describe, gives the description back ----

// Every type the engine knows, with the sizes it reports, and rows that
// reach the edges of each: nulls, empty text, non-ASCII text, extreme whole
// numbers, dates with and without a time of day, binary data.
const char* const kEveryType = R"({
  "tables": [{
    "name": "Todos",
    "fields": [
      {"name": "Si", "type": 1, "size": 1, "allowZeroLength": false, "required": false},
      {"name": "Octeto", "type": 2, "size": 1, "allowZeroLength": false, "required": false},
      {"name": "Entero", "type": 3, "size": 2, "allowZeroLength": false, "required": false},
      {"name": "Largo", "type": 4, "size": 4, "allowZeroLength": false, "required": true},
      {"name": "Moneda", "type": 5, "size": 8, "allowZeroLength": false, "required": false},
      {"name": "Simple", "type": 6, "size": 4, "allowZeroLength": false, "required": false},
      {"name": "Doble", "type": 7, "size": 8, "allowZeroLength": false, "required": false},
      {"name": "Fecha", "type": 8, "size": 8, "allowZeroLength": false, "required": false},
      {"name": "Nombre", "type": 10, "size": 20, "allowZeroLength": true, "required": false},
      {"name": "Foto", "type": 11, "size": 0, "allowZeroLength": false, "required": false},
      {"name": "Notas", "type": 12, "size": 0, "allowZeroLength": true, "required": false},
      {"name": "Clave", "type": 15, "size": 16, "allowZeroLength": false, "required": false},
      {"name": "Grande", "type": 16, "size": 8, "allowZeroLength": false, "required": false}
    ],
    "indexes": [],
    "rows": [
      {"Si": true, "Octeto": 255, "Entero": -32768, "Largo": 2147483647, "Moneda": 1234.5,
       "Simple": 0.5, "Doble": 3.141592653589793, "Fecha": "2024-05-01", "Nombre": "Peña Ñandú",
       "Foto": "AAEC/w==", "Notas": "línea 1\nlínea 2", "Clave": "{6F9619FF-8B86-D011-B42D-00C04FC964FF}",
       "Grande": -9223372036854775808},
      {"Si": false, "Octeto": 0, "Entero": 32767, "Largo": -2147483648, "Moneda": null,
       "Simple": null, "Doble": -0.25, "Fecha": "1899-12-29T06:00:00", "Nombre": "",
       "Foto": null, "Notas": "", "Clave": null, "Grande": 9223372036854775807},
      {"Si": null, "Octeto": null, "Entero": null, "Largo": 0, "Moneda": null, "Simple": null,
       "Doble": null, "Fecha": "2024-02-29T23:59:59", "Nombre": null, "Foto": null,
       "Notas": null, "Clave": null, "Grande": null}
    ]
  }],
  "relations": [],
  "queries": []
})";

TEST(DescriptionRoundTrip, EveryTypeAndItsEdgeValuesComeBack) {
  TempDir dir;
  BuildDatabase(dir.File("todos.mdb"), kEveryType);
  EXPECT_EQ(DescribeFile(dir.File("todos.mdb"), true), json::parse(kEveryType));
}

// Several tables in the engine's order, a primary key, an index over several
// fields in key order, relations with several field pairs and attribute
// bits, and stored queries.
const char* const kStructure = R"({
  "tables": [
    {"name": "Clientes",
     "fields": [
       {"name": "Empresa", "type": 4, "size": 4, "allowZeroLength": false, "required": true},
       {"name": "Codigo", "type": 10, "size": 10, "allowZeroLength": false, "required": true},
       {"name": "Nombre", "type": 10, "size": 50, "allowZeroLength": true, "required": false}],
     "indexes": [
       {"name": "PrimaryKey", "fields": ["Empresa", "Codigo"], "unique": true, "primary": true},
       {"name": "PorNombre", "fields": ["Nombre", "Codigo"], "unique": false, "primary": false}],
     "rows": [{"Empresa": 1, "Codigo": "A1", "Nombre": "Ana"},
              {"Empresa": 2, "Codigo": "A1", "Nombre": "Luis"}]},
    {"name": "Pedidos",
     "fields": [
       {"name": "Numero", "type": 4, "size": 4, "allowZeroLength": false, "required": true},
       {"name": "Empresa", "type": 4, "size": 4, "allowZeroLength": false, "required": false},
       {"name": "Cliente", "type": 10, "size": 10, "allowZeroLength": false, "required": false}],
     "indexes": [
       {"name": "PrimaryKey", "fields": ["Numero"], "unique": true, "primary": true}],
     "rows": [{"Numero": 7, "Empresa": 2, "Cliente": "A1"},
              {"Numero": 8, "Empresa": null, "Cliente": null}]}
  ],
  "relations": [
    {"name": "ClientesPedidos", "table": "Clientes", "foreignTable": "Pedidos",
     "attributes": 4352,
     "fields": [{"name": "Empresa", "foreignName": "Empresa"},
                {"name": "Codigo", "foreignName": "Cliente"}]},
    {"name": "Informativa", "table": "Clientes", "foreignTable": "Pedidos", "attributes": 2,
     "fields": [{"name": "Empresa", "foreignName": "Numero"}]}
  ],
  "queries": [
    {"name": "Pedidos de Ana", "sql": "SELECT * FROM Pedidos WHERE Cliente = 'A1'"},
    {"name": "Lista de clientes", "sql": "SELECT Codigo, Nombre FROM Clientes"}
  ]
})";

TEST(DescriptionRoundTrip, IndexesRelationsAndQueriesComeBack) {
  TempDir dir;
  BuildDatabase(dir.File("pedidos.mdb"), kStructure);
  EXPECT_EQ(DescribeFile(dir.File("pedidos.mdb"), true), json::parse(kStructure));
}

TEST(DescriptionRoundTrip, NamesWithSpacesApostrophesAndNonAsciiLetters) {
  const char* const text = R"({
    "tables": [{"name": "Cliente's data",
                "fields": [{"name": "Año de alta", "type": 3, "size": 2,
                            "allowZeroLength": false, "required": false},
                           {"name": "O'Brien \"alias\"", "type": 10, "size": 30,
                            "allowZeroLength": false, "required": false}],
                "indexes": [{"name": "Índice [1]", "fields": ["O'Brien \"alias\""],
                             "unique": true, "primary": false}],
                "rows": [{"Año de alta": 1999, "O'Brien \"alias\"": "it's; DROP TABLE x"}]}],
    "relations": [],
    "queries": [{"name": "Consulta de año", "sql": "SELECT [Año de alta] FROM [Cliente's data]"}]
  })";
  TempDir dir;
  BuildDatabase(dir.File("nombres.mdb"), text);
  EXPECT_EQ(DescribeFile(dir.File("nombres.mdb"), true), json::parse(text));
}

TEST(DescriptionRoundTrip, OmittedKeysTakeTheirDefaultsAndDescribeWritesThem) {
  TempDir dir;
  BuildDatabase(dir.File("d.mdb"), R"({"tables": [{"name": "T",
      "fields": [{"name": "Id", "type": 4, "size": 99}, {"name": "Txt", "type": 10}],
      "indexes": [{"name": "I", "fields": ["txt"]}],
      "rows": [{"id": 1}]}]})");
  EXPECT_EQ(DescribeFile(dir.File("d.mdb"), true), json::parse(R"({"tables": [{"name": "T",
      "fields": [{"name": "Id", "type": 4, "size": 4, "allowZeroLength": false, "required": false},
                 {"name": "Txt", "type": 10, "size": 50, "allowZeroLength": false, "required": false}],
      "indexes": [{"name": "I", "fields": ["Txt"], "unique": false, "primary": false}],
      "rows": [{"Id": 1, "Txt": null}]}],
      "relations": [], "queries": []})"));
}

TEST(DescriptionRoundTrip, DescribeIsTheSameTextEveryTimeAndHidesTheEnginesObjects) {
  TempDir dir;
  BuildDatabase(dir.File("p.mdb"), kStructure);
  const std::string first = DescribeFile(dir.File("p.mdb"), true).dump(2);
  EXPECT_EQ(DescribeFile(dir.File("p.mdb"), true).dump(2), first);
  EXPECT_EQ(first.find("MSys"), std::string::npos);

  engine::DatabasePtr database = testing::OpenInOwnSession(dir.File("p.mdb"));
  const json with_system = engine::Describe(*database, {.system = true});
  database->Close();
  const json& tables = with_system["tables"];
  ASSERT_GT(tables.size(), 2u);
  int user_tables = 0;
  for (const json& table : tables) {
    if (!IsSystemName(table["name"].get<std::string>())) ++user_tables;
    EXPECT_FALSE(table.contains("rows"));
  }
  EXPECT_EQ(user_tables, 2);
}

TEST(DescriptionRoundTrip, DescribingWithoutRowsLeavesTheRowsKeyOut) {
  TempDir dir;
  BuildDatabase(dir.File("p.mdb"), kStructure);
  json expected = json::parse(kStructure);
  for (json& table : expected["tables"]) table.erase("rows");
  EXPECT_EQ(DescribeFile(dir.File("p.mdb")), expected);
}

// ---- 2. Descriptions that cannot be created ----

struct Rejected {
  const char* what;
  const char* description;
  int number;
  const char* text_begins;  // the place, then the reason
};

const Rejected kRejected[] = {
    {"not JSON", R"({"tables": [ {"name": "T", }])", err::kInvalidArgument,
     "description: not valid JSON: parse error at line 1"},
    {"not an object", R"([])", err::kInvalidArgument, "description: expected an object"},
    {"misspelt key", R"({"tabels": []})", err::kInvalidArgument, "description.tabels: unknown key"},
    {"unknown type", R"({"tables": [
        {"name": "A", "fields": [{"name": "F", "type": 4}]},
        {"name": "B", "fields": [{"name": "F", "type": 4}]},
        {"name": "C", "fields": [{"name": "F", "type": 99}]}]})",
     err::kInvalidFieldType, "tables[2].fields[0].type: unknown field type 99"},
    {"type as text", R"({"tables": [{"name": "A", "fields": [{"name": "F", "type": "10"}]}]})",
     err::kInvalidFieldType, "tables[0].fields[0].type: unknown field type \"10\""},
    {"table without fields", R"({"tables": [{"name": "A", "fields": []}]})", err::kNoFieldDefined,
     "tables[0].fields: a table needs at least one field"},
    {"table twice, other case",
     R"({"tables": [{"name": "Abc", "fields": [{"name": "F", "type": 4}]},
                                  {"name": "ABC", "fields": [{"name": "F", "type": 4}]}]})",
     err::kTableExists, "tables[1].name: table 'ABC' is described twice"},
    {"field twice", R"({"tables": [{"name": "A", "fields": [{"name": "F", "type": 4},
                                                        {"name": "f", "type": 3}]}]})",
     err::kFieldDefinedTwice, "tables[0].fields[1].name: field 'f' is described twice"},
    {"index twice", R"({"tables": [{"name": "A", "fields": [{"name": "F", "type": 4}],
        "indexes": [{"name": "I", "fields": ["F"]}, {"name": "i", "fields": ["F"]}]}]})",
     err::kIndexExists, "tables[0].indexes[1].name: index 'i' is described twice"},
    {"index on a missing field", R"({"tables": [{"name": "A", "fields": [{"name": "F", "type": 4}],
        "indexes": [{"name": "I", "fields": ["F", "G"]}]}]})",
     err::kItemNotFound, "tables[0].indexes[0].fields[1]: no field 'G' in table 'A'"},
    {"engine's own name",
     R"({"tables": [{"name": "MSysObjects", "fields": [{"name": "F", "type": 4}]}]})",
     err::kInvalidArgument, "tables[0].name: 'MSysObjects' is the name of one of the engine's own"},
    {"text too long a size",
     R"({"tables": [{"name": "A", "fields": [{"name": "F", "type": 10, "size": 256}]}]})",
     err::kInvalidArgument, "tables[0].fields[0].size: a Text field holds 1 to 255 characters"},
    {"relation to a missing table",
     R"({"tables": [{"name": "T", "fields": [{"name": "F", "type": 4}]}],
        "relations": [{"name": "R", "table": "T", "foreignTable": "U",
                       "fields": [{"name": "F", "foreignName": "G"}]}]})",
     err::kItemNotFound, "relations[0].foreignTable: no table 'U' in the description"},
    {"relation on a missing field",
     R"({"tables": [{"name": "T", "fields": [{"name": "F", "type": 4}]}],
        "relations": [{"name": "R", "table": "T", "foreignTable": "T",
                       "fields": [{"name": "F", "foreignName": "G"}]}]})",
     err::kItemNotFound, "relations[0].fields[0].foreignName: no field 'G' in table 'T'"},
    {"relation without fields", R"({"tables": [{"name": "T", "fields": [{"name": "F", "type": 4}]}],
        "relations": [{"name": "R", "table": "T", "foreignTable": "T", "fields": []}]})",
     err::kNoFieldsInRelation, "relations[0].fields: a relation needs at least one pair"},
    {"relation twice", R"({"tables": [{"name": "T", "fields": [{"name": "F", "type": 4}]}],
        "relations": [{"name": "R", "table": "T", "foreignTable": "T", "fields": [{"name": "F", "foreignName": "F"}]},
                      {"name": "r", "table": "T", "foreignTable": "T", "fields": [{"name": "F", "foreignName": "F"}]}]})",
     err::kObjectExists, "relations[1].name: relation 'r' is described twice"},
    {"query twice",
     R"({"queries": [{"name": "Q", "sql": "SELECT 1"}, {"name": "q", "sql": "SELECT 2"}]})",
     err::kObjectExists, "queries[1].name: query 'q' is described twice"},
    {"unknown row field", R"({"tables": [{"name": "T", "fields": [{"name": "F", "type": 4}],
        "rows": [{"F": 1}, {"F": 2, "Zeta": 3}]}]})",
     err::kItemNotFound, "tables[0].rows[1].Zeta: no field 'Zeta' in table 'T'"},
    {"row field twice", R"({"tables": [{"name": "T", "fields": [{"name": "F", "type": 4}],
        "rows": [{"F": 1, "f": 2}]}]})",
     err::kFieldDefinedTwice, "tables[0].rows[0]."},
    {"row value of the wrong kind",
     R"({"tables": [{"name": "T", "fields": [{"name": "F", "type": 4}],
        "rows": [{"F": "12"}]}]})",
     err::kTypeConversion, "tables[0].rows[0].F: a Long field takes a whole number"},
    {"whole number out of range", R"({"tables": [{"name": "T", "fields": [{"name": "F", "type": 2}],
        "rows": [{"F": 256}]}]})",
     err::kTypeConversion, "tables[0].rows[0].F: a Byte field takes a whole number from 0 to 255"},
    {"date that does not exist", R"({"tables": [{"name": "T", "fields": [{"name": "F", "type": 8}],
        "rows": [{"F": "2023-02-29"}]}]})",
     err::kTypeConversion, "tables[0].rows[0].F: a Date/Time field takes a date"},
    {"binary that is not base64",
     R"({"tables": [{"name": "T", "fields": [{"name": "F", "type": 11}],
        "rows": [{"F": "abc"}]}]})",
     err::kTypeConversion, "tables[0].rows[0].F: a Long binary field takes base64 text"},
};

class DescriptionRejected : public ::testing::TestWithParam<Rejected> {};

TEST_P(DescriptionRejected, NamesThePlaceAndLeavesNoFile) {
  const Rejected& c = GetParam();
  TempDir dir;
  const std::string file = dir.File("nuevo.mdb");
  try {
    BuildDatabase(file, c.description);
    FAIL() << "created from a description with " << c.what;
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), c.number) << e.what();
    EXPECT_TRUE(e.Text().starts_with(c.text_begins)) << e.what();
  }
  EXPECT_FALSE(std::filesystem::exists(file));
}

INSTANTIATE_TEST_SUITE_P(Cases, DescriptionRejected, ::testing::ValuesIn(kRejected));

TEST(DescriptionRejected, ValidationAloneTouchesNoFileAndNamesNone) {
  try {
    engine::ValidateDescription(json::parse(R"({"tables": [{"name": "T"}]})"));
    FAIL() << "a table without fields passed";
  } catch (const Error& e) {
    EXPECT_EQ(e.Text(), "tables[0].fields: a table needs at least one field");
    EXPECT_EQ(e.Context(), "");
  }
}

// Failures only the engine can find, after the file exists: the file goes,
// and the error still names the place in the description and the file.
struct FailsInEngine {
  const char* what;
  const char* description;
  int number;
  const char* text_begins;
};

const FailsInEngine kFailsInEngine[] = {
    {"unique index over duplicate rows", R"({"tables": [{"name": "T",
        "fields": [{"name": "F", "type": 4}],
        "indexes": [{"name": "I", "fields": ["F"], "unique": true}],
        "rows": [{"F": 1}, {"F": 1}]}]})",
     err::kDuplicateValues, "tables[0].indexes[0]: "},
    {"text longer than its field", R"({"tables": [{"name": "T",
        "fields": [{"name": "F", "type": 10, "size": 3}], "rows": [{"F": "abcd"}]}]})",
     err::kFieldTooSmall, "tables[0].rows[0]"},
    {"empty text where none is allowed", R"({"tables": [{"name": "T",
        "fields": [{"name": "F", "type": 10, "size": 3}], "rows": [{"F": ""}]}]})",
     err::kZeroLengthString, "tables[0].rows[0]"},
    {"rows that break a relation", R"({"tables": [
        {"name": "P", "fields": [{"name": "Id", "type": 4}],
         "indexes": [{"name": "PK", "fields": ["Id"], "unique": true, "primary": true}],
         "rows": [{"Id": 1}]},
        {"name": "H", "fields": [{"name": "P", "type": 4}], "rows": [{"P": 2}]}],
      "relations": [{"name": "R", "table": "P", "foreignTable": "H",
                     "fields": [{"name": "Id", "foreignName": "P"}]}]})",
     err::kDataBreaksRelation, "relations[0]: "},
    {"query that does not compile",
     R"({"tables": [{"name": "T", "fields": [{"name": "F", "type": 4}]}],
        "queries": [{"name": "Ok", "sql": "SELECT F FROM T"}, {"name": "Bad", "sql": "SELEC F FROM"}]})",
     0, "queries[1]: "},
};

class DescriptionFailsInEngine : public ::testing::TestWithParam<FailsInEngine> {};

TEST_P(DescriptionFailsInEngine, RemovesTheHalfMadeFile) {
  const FailsInEngine& c = GetParam();
  TempDir dir;
  const std::string file = dir.File("nuevo.mdb");
  try {
    engine::CreateFromDescription(file, json::parse(c.description), "c:\\datos\\nuevo.mdb");
    FAIL() << "created a database with " << c.what;
  } catch (const Error& e) {
    if (c.number != 0) {
      EXPECT_EQ(e.Number(), c.number) << e.what();
    }
    EXPECT_TRUE(e.Text().starts_with(c.text_begins)) << e.what();
    EXPECT_NE(e.Context().find("nuevo.mdb"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "left behind in " << dir.path();
}

INSTANTIATE_TEST_SUITE_P(Cases, DescriptionFailsInEngine, ::testing::ValuesIn(kFailsInEngine));

TEST(DescriptionCreate, NeverReplacesAnExistingFile) {
  TempDir dir;
  const std::string file = dir.File("existe.mdb");
  testing::WriteFile(file, "not a database, but someone's file");
  try {
    BuildDatabase(file, kStructure);
    FAIL() << "replaced an existing file";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::kDatabaseExists) << e.what();
  }
  EXPECT_EQ(testing::ReadFile(file), "not a database, but someone's file");
}

TEST(DescriptionCreate, AnInvalidDescriptionDoesNotTouchAnExistingFile) {
  TempDir dir;
  const std::string file = dir.File("existe.mdb");
  BuildDatabase(file, kStructure);
  const std::string before = testing::ReadFile(file);
  EXPECT_THROW(
      BuildDatabase(file, R"({"tables": [{"name": "T", "fields": [{"name": "F", "type": 0}]}]})"),
      Error);
  EXPECT_EQ(testing::ReadFile(file), before);
}

// ---- 3. Row values written as text ----

TEST(DescriptionValues, DatesAreDayNumbersFrom30December1899) {
  using engine::description::DayNumberToIso;
  using engine::description::IsoToDayNumber;
  struct Date {
    double day_number;
    const char* iso;
  };
  for (const Date& d : {Date{0, "1899-12-30"}, Date{2, "1900-01-01"}, Date{45413, "2024-05-01"},
                        Date{45413.4375, "2024-05-01T10:30:00"}, Date{-1.25, "1899-12-29T06:00:00"},
                        Date{-657434, "0100-01-01"}, Date{2958465.5, "9999-12-31T12:00:00"}}) {
    EXPECT_EQ(DayNumberToIso(d.day_number), d.iso);
    double back = 0;
    EXPECT_TRUE(IsoToDayNumber(d.iso, back)) << d.iso;
    EXPECT_DOUBLE_EQ(back, d.day_number) << d.iso;
  }
  // A time a hair before midnight is the next day, not "24:00:00".
  EXPECT_EQ(DayNumberToIso(1.9999999), "1900-01-01");
  EXPECT_EQ(DayNumberToIso(-1.9999999), "1899-12-30");
  // Beyond the engine's dates there is no ISO form: the number is kept.
  EXPECT_EQ(DayNumberToIso(2958466), std::nullopt);
  EXPECT_EQ(DayNumberToIso(-657435), std::nullopt);
  EXPECT_EQ(DayNumberToIso(1e300), std::nullopt);
  double ignored = 0;
  for (const char* bad : {"2024-5-1", "2024-13-01", "2024-04-31", "2024-05-01 10:30:00",
                          "2024-05-01T24:00:00", "01/05/2024", "2024-05-01T10:30"}) {
    EXPECT_FALSE(IsoToDayNumber(bad, ignored)) << bad;
  }
}

TEST(DescriptionValues, OutOfRangeDatesRoundTripAsNumbers) {
  const char* const text = R"({"tables": [{"name": "T",
      "fields": [{"name": "F", "type": 8, "size": 8, "allowZeroLength": false, "required": false}],
      "indexes": [], "rows": [{"F": 3000000.5}, {"F": "1900-01-01"}]}],
      "relations": [], "queries": []})";
  TempDir dir;
  BuildDatabase(dir.File("f.mdb"), text);
  EXPECT_EQ(DescribeFile(dir.File("f.mdb"), true), json::parse(text));
}

// Zero bytes are a value, not the absence of one.
TEST(DescriptionValues, EmptyBinaryStaysDistinctFromNull) {
  const char* const text = R"({"tables": [{"name": "T",
      "fields": [{"name": "F", "type": 11, "size": 0, "allowZeroLength": false, "required": false}],
      "indexes": [], "rows": [{"F": ""}, {"F": null}, {"F": "AA=="}]}],
      "relations": [], "queries": []})";
  TempDir dir;
  BuildDatabase(dir.File("b.mdb"), text);
  EXPECT_EQ(DescribeFile(dir.File("b.mdb"), true), json::parse(text));
}

TEST(DescriptionValues, Base64KeepsEveryByteOfEveryLength) {
  using engine::description::FromBase64;
  using engine::description::ToBase64;
  engine::Bytes bytes;
  for (int length = 0; length < 8; ++length) {
    engine::Bytes back;
    EXPECT_TRUE(FromBase64(ToBase64(bytes), back));
    EXPECT_EQ(back, bytes);
    bytes.push_back(static_cast<std::uint8_t>(255 - length * 37));
  }
  EXPECT_EQ(ToBase64({'M', 'a', 'n'}), "TWFu");
  EXPECT_EQ(ToBase64({'M', 'a'}), "TWE=");
  engine::Bytes ignored;
  for (const char* bad : {"TWF", "TW=u", "T===", "TWE!", "TWE=TWFu"}) {
    EXPECT_FALSE(FromBase64(bad, ignored)) << bad;
  }
}

}  // namespace
}  // namespace actualiz
