// Customer databases as schemas on a PostgreSQL server: the same objects
// and rows as in the engine's files, Jet's failures, whole changes and
// groups, and the faults of a server (lost connections, locks, bad
// addresses, schemas that are not ours).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "base/error.h"
#include "base/server_address.h"
#include "engine/description/description.h"
#include "engine/engine.h"
#include "tests/support/error_number.h"
#include "tests/support/failing_storage.h"
#include "tests/support/pg_server.h"
#include "tests/support/temp_dir.h"

namespace actualiz::engine {
namespace {

using nlohmann::json;
using testing::ErrorNumber;
using testing::PgServer;

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Every type with values at its edges, hostile names everywhere a name goes,
// indexes of each kind, enforced and unenforced relations with cascades,
// stored queries.
constexpr const char* kEveryKind = R"({
 "tables": [
  {"name": "Tipos", "fields": [
    {"name": "Id", "type": 4}, {"name": "Si", "type": 1}, {"name": "Byte", "type": 2},
    {"name": "Entero", "type": 3}, {"name": "Largo", "type": 4}, {"name": "Moneda", "type": 5},
    {"name": "Simple", "type": 6}, {"name": "Doble", "type": 7}, {"name": "Fecha", "type": 8},
    {"name": "Texto", "type": 10, "size": 30, "allowZeroLength": true},
    {"name": "Binario", "type": 11}, {"name": "Memo", "type": 12, "required": true},
    {"name": "Guid", "type": 15}, {"name": "Grande", "type": 16}],
   "indexes": [{"name": "PrimaryKey", "fields": ["Id"], "primary": true, "unique": true},
               {"name": "PorTexto", "fields": ["Texto", "Fecha"]}],
   "rows": [
    {"Id": 1, "Si": true, "Byte": 255, "Entero": -32768, "Largo": 2147483647,
     "Moneda": 922337203685.4775, "Simple": 1.5, "Doble": 3.141592653589793,
     "Fecha": 45292.75, "Texto": "ñandú 'x' \"y\"", "Memo": "línea\nsegunda",
     "Guid": "{6F9619FF-8B86-D011-B42D-00C04FC964FF}", "Grande": 9007199254740993},
    {"Id": 2, "Si": false, "Byte": 0, "Texto": "", "Memo": "m", "Fecha": 0.5, "Doble": -1e-300,
     "Simple": 1234567}]},
  {"name": "x\"; DROP SCHEMA public CASCADE; --", "fields": [
    {"name": "Id", "type": 4}, {"name": "a'b [c] \"d\"", "type": 10, "size": 5}],
   "indexes": [{"name": "i\"; DROP TABLE \"Tipos\"; --", "fields": ["a'b [c] \"d\""],
                "unique": true}],
   "rows": [{"Id": 1, "a'b [c] \"d\"": "');--"}]},
  {"name": "Hijos", "fields": [{"name": "Padre", "type": 4}, {"name": "Nota", "type": 10}],
   "rows": [{"Padre": 1, "Nota": "uno"}]}],
 "relations": [
  {"name": "TiposHijos", "table": "Tipos", "foreignTable": "Hijos", "attributes": 4352,
   "fields": [{"name": "Id", "foreignName": "Padre"}]},
  {"name": "Suelta", "table": "x\"; DROP SCHEMA public CASCADE; --", "foreignTable": "Hijos",
   "attributes": 2, "fields": [{"name": "Id", "foreignName": "Padre"}]}],
 "queries": [
  {"name": "q'; DROP", "sql": "SELECT * FROM [Tipos] WHERE [Texto] = 'a;b'"},
  {"name": "qOrden", "sql": "SELECT * FROM Hijos ORDER BY Nota"}]
})";

class PgStorageTest : public ::testing::Test {
 protected:
  PgStorageTest() : location_(PgServer::Get().FreshDatabase()) {}

  std::string Address(const std::string& file) const { return ServerDatabasePath(location_, file); }
  std::string DatabaseName() const { return ParseServerAddress(location_)->database; }
  void Run(const std::string& sql) const { PgServer::Get().Run(DatabaseName(), sql); }

  // A schema with table T (Id Long, primary; N Long) holding rows 1 and 2,
  // table U (Ref Long) in an enforced relation to it, and table V (Ref
  // Long) holding a row T lacks.
  std::string MakeTwoTables() {
    const std::string address = Address("dos.mdb");
    CreateFromDescription(address, json::parse(R"({"tables": [
      {"name": "T", "fields": [{"name": "Id", "type": 4}, {"name": "N", "type": 4}],
       "indexes": [{"name": "PrimaryKey", "fields": ["Id"], "primary": true, "unique": true}],
       "rows": [{"Id": 1, "N": 5}, {"Id": 2, "N": 5}]},
      {"name": "U", "fields": [{"name": "Ref", "type": 4}], "rows": [{"Ref": 1}]},
      {"name": "V", "fields": [{"name": "Ref", "type": 4}], "rows": [{"Ref": 7}]}],
      "relations": [{"name": "TU", "table": "T", "foreignTable": "U",
                     "fields": [{"name": "Id", "foreignName": "Ref"}]}]})"));
    return address;
  }

  static void AddRow(Database& db, const std::string& table, const std::string& field, int v) {
    auto rs = db.OpenRecordset(table);
    rs->AddNew();
    rs->Fields().Item(field)->SetValue(Value(v));
    rs->Update();
  }

  static void SetFirst(Database& db, const std::string& source, const std::string& field, int v) {
    auto rs = db.OpenRecordset(source);
    rs->Edit();
    rs->Fields().Item(field)->SetValue(Value(v));
    rs->Update();
  }

  static void AddField(Database& db, const std::string& table, const std::string& field) {
    auto t = db.TableDefs().Item(table);
    t->Fields().Append(t->CreateField(field, dbText, 10));
  }

  static int FieldCount(Session& session, const std::string& address, const std::string& table) {
    return OpenDatabase(session, address)->TableDefs().Item(table)->Fields().Count();
  }

  std::string location_;
  Session session_;
};

TEST_F(PgStorageTest, DescribesAsTheSameDatabaseInAFile) {
  std::vector<std::pair<std::string, std::string>> descriptions = {{"every", kEveryKind}};
  for (const char* folder : {"models", "datos"}) {
    for (const char* name : {"agenda", "clientes", "stock", "tarifas", "historico"}) {
      const std::string path =
          std::string(ACTUALIZ_SOURCE_DIR) + "/demo/" + folder + "/" + name + ".json";
      const std::string text = ReadText(path);
      if (!text.empty()) descriptions.emplace_back(std::string(folder) + "_" + name, text);
    }
  }
  testing::TempDir dir;
  for (const auto& [name, text] : descriptions) {
    SCOPED_TRACE(name);
    const json description = json::parse(text);
    const std::string file = dir.File(name + ".mdb");
    const std::string schema = Address(name + ".mdb");
    CreateFromDescription(file, description);
    CreateFromDescription(schema, description);
    const DescribeOptions with_rows{.rows = true};
    EXPECT_EQ(Describe(*OpenDatabase(session_, schema), with_rows).dump(1),
              Describe(*OpenDatabase(session_, file), with_rows).dump(1));
  }
  // Nothing a name carried ran as a statement.
  EXPECT_NO_THROW(Run("CREATE TABLE public.still_here (x integer)"));
}

TEST_F(PgStorageTest, KeepsJetsRulesOnData) {
  const std::string address = MakeTwoTables();
  auto db = OpenDatabase(session_, address);
  struct Case {
    const char* what;
    std::function<void()> action;
    int number;
  };
  const Case cases[] = {
      {"a unique index over duplicates",
       [&] {
         auto t = db->TableDefs().Item("T");
         auto index = t->CreateIndex("PorN");
         index->Fields().Append(index->CreateField("N"));
         index->SetUnique(true);
         t->Indexes().Append(index);
       },
       err::kDuplicateValues},
      {"a duplicate primary key", [&] { AddRow(*db, "T", "Id", 1); }, err::kDuplicateValues},
      {"a referencing row without its primary row", [&] { AddRow(*db, "U", "Ref", 9); },
       err::kRelatedRecordRequired},
      {"deleting a referenced row",
       [&] {
         auto rs = db->OpenRecordset("Select * from T where Id = 1");
         rs->Delete();
       },
       err::kRecordIsReferenced},
      {"a referencing row given a key without a primary row", [&] { SetFirst(*db, "U", "Ref", 9); },
       err::kRelatedRecordRequired},
      {"re-keying a referenced row",
       [&] { SetFirst(*db, "Select * from T where Id = 1", "Id", 8); }, err::kRecordIsReferenced},
      {"a name longer than the server keeps",
       [&] {
         auto t = db->CreateTableDef(std::string(64, 'n'));
         t->Fields().Append(t->CreateField("A", dbLong));
         db->TableDefs().Append(t);
       },
       err::kInvalidName},
      {"a relation the data breaks",
       [&] {
         auto r = db->CreateRelation("TV", "T", "V", std::int32_t{0});
         auto field = r->CreateField("Id");
         field->SetForeignName("Ref");
         r->Fields().Append(field);
         db->Relations().Append(r);
       },
       err::kDataBreaksRelation},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ErrorNumber(c.action), c.number);
  }
  // Each failure was undone alone: the rows and objects stand as before.
  EXPECT_EQ(db->OpenRecordset("T")->RecordCount(), 2);
  EXPECT_EQ(db->OpenRecordset("U")->RecordCount(), 1);
  EXPECT_EQ(db->Relations().Count(), 1);
  EXPECT_EQ(db->TableDefs().Item("T")->Indexes().Count(), 1);
}

TEST_F(PgStorageTest, AnIndexARelationReferencesIsReplacedAsInAFile) {
  const std::string address = MakeTwoTables();
  auto db = OpenDatabase(session_, address);
  auto t = db->TableDefs().Item("T");
  t->Indexes().Delete("PrimaryKey");
  auto index = t->CreateIndex("PrimaryKey");
  index->Fields().Append(index->CreateField("Id"));
  index->SetPrimary(true);
  t->Indexes().Append(index);
  // The relation is still there and enforced again.
  EXPECT_EQ(db->Relations().Count(), 1);
  EXPECT_EQ(ErrorNumber([&] { AddRow(*db, "U", "Ref", 9); }), err::kRelatedRecordRequired);
}

TEST_F(PgStorageTest, RecordSourcesSelectAsInAFile) {
  const json description = json::parse(R"({"tables": [{"name": "Gente", "fields": [
    {"name": "Id", "type": 4}, {"name": "Nombre", "type": 10}, {"name": "Alta", "type": 8}],
    "rows": [{"Id": 1, "Nombre": "ana"}, {"Id": 2, "Nombre": "Bea", "Alta": 2},
             {"Id": 3, "Nombre": "ANA", "Alta": 1}, {"Id": 4}]}]})");
  testing::TempDir dir;
  CreateFromDescription(dir.File("g.mdb"), description);
  CreateFromDescription(Address("g.mdb"), description);
  auto file = OpenDatabase(session_, dir.File("g.mdb"));
  auto schema = OpenDatabase(session_, Address("g.mdb"));
  auto ids = [](Database& db, const std::string& source) {
    std::vector<std::int64_t> out;
    for (auto rs = db.OpenRecordset(source); !rs->Eof(); rs->MoveNext()) {
      out.push_back(std::get<std::int64_t>(rs->Fields().Item("Id")->GetValue().variant()));
    }
    return out;
  };
  for (const char* source : {
           "Gente",
           "Select * from [Gente] where nombre = 'ANA'",
           "Select * from Gente where [Nombre] = \"bea\" or Id >= 4",
           "Select * from Gente where Nombre is null or not (Id in (1, 2))",
           "Select * from Gente where Alta between 0.5 and 3 order by Alta desc",
           "Select * from Gente order by nombre, Id desc",
       }) {
    SCOPED_TRACE(source);
    EXPECT_EQ(ids(*schema, source), ids(*file, source));
  }
  // What cannot be translated fails as a condition SQLite cannot compile;
  // nothing of it reaches the server as a statement.
  for (const char* source :
       {"Select * from Gente where Id = 1; DROP TABLE Gente",
        "Select * from Gente where Nombre like 'a*'", "Select * from Gente where Otro = 1"}) {
    SCOPED_TRACE(source);
    EXPECT_EQ(ErrorNumber([&] { schema->OpenRecordset(source); }), err::kSyntaxErrorInQuery);
  }
  EXPECT_EQ(ids(*schema, "Gente").size(), 4u);
}

TEST_F(PgStorageTest, ACreateThatFailsLeavesNoSchema) {
  // The second row breaks the unique index made after the rows.
  const json description = json::parse(R"({"tables": [{"name": "T",
    "fields": [{"name": "Id", "type": 4}], "rows": [{"Id": 1}, {"Id": 1}],
    "indexes": [{"name": "U", "fields": ["Id"], "unique": true}]}]})");
  EXPECT_EQ(ErrorNumber([&] { CreateFromDescription(Address("roto.mdb"), description); }),
            err::kDuplicateValues);
  EXPECT_EQ(ErrorNumber([&] { OpenDatabase(session_, Address("roto.mdb")); }), err::kFileNotFound);
}

TEST_F(PgStorageTest, ACreateIsSeenOnlyWholeSoAKilledOneLeavesNoSchema) {
  const std::string address = Address("nuevo.mdb");
  int seen_while_made = -1;
  testing::FaultPlan look;
  look.fault = testing::Fault::kInsert;
  look.nth = 2;
  look.instead = [&] {
    Session other;
    seen_while_made = ErrorNumber([&] { OpenDatabase(other, address); });
  };
  testing::InstallFailingStorage(session_, look);
  CreateFromDescription(session_, address, json::parse(kEveryKind));
  EXPECT_EQ(seen_while_made, err::kFileNotFound);
  Session other;
  EXPECT_EQ(FieldCount(other, address, "Tipos"), 14);
}

TEST_F(PgStorageTest, AGroupedChangeThatFailsIsUndoneAloneAndTheRestCommitAtClose) {
  const std::string address = MakeTwoTables();
  {
    GroupChangesUntilClose group(session_);
    auto db = OpenDatabase(session_, address);
    AddField(*db, "T", "Uno");
    EXPECT_EQ(ErrorNumber([&] { AddRow(*db, "U", "Ref", 9); }), err::kRelatedRecordRequired);
    EXPECT_EQ(ErrorNumber([&] { AddField(*db, "U", "Ref"); }), err::kFieldDefinedTwice);
    AddField(*db, "U", "Dos");
    Session other;
    EXPECT_EQ(FieldCount(other, address, "T"), 2) << "nothing is seen before the close";
    db->Close();
  }
  Session other;
  EXPECT_EQ(FieldCount(other, address, "T"), 3);
  EXPECT_EQ(FieldCount(other, address, "U"), 2);
}

TEST_F(PgStorageTest, ALostConnectionInAGroupLeavesTheSchemaAsItWas) {
  const std::string address = MakeTwoTables();
  GroupChangesUntilClose group(session_);
  auto db = OpenDatabase(session_, address);
  AddField(*db, "T", "Uno");
  Run("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = current_database() "
      "AND pid <> pg_backend_pid()");
  EXPECT_EQ(ErrorNumber([&] { AddField(*db, "T", "Dos"); }), err::kConnectionFailed);
  db->Close();
  Session other;
  EXPECT_EQ(FieldCount(other, address, "T"), 2);
}

TEST_F(PgStorageTest, ChangesHeldUntilCommitSpanEveryOpenAndALostConnectionKeepsNone) {
  const std::string address = MakeTwoTables();
  Session other;
  {
    GroupChangesUntilCommit held(session_);
    AddField(*OpenDatabase(session_, address), "T", "Uno");
    EXPECT_EQ(FieldCount(session_, address, "T"), 3) << "the next open goes on in the group";
    EXPECT_EQ(FieldCount(other, address, "T"), 2) << "nothing is seen before the commit";
    AddRow(*OpenDatabase(session_, address), "U", "Ref", 2);
    held.Commit();
    EXPECT_EQ(FieldCount(other, address, "T"), 3);

    AddField(*OpenDatabase(session_, address), "T", "Dos");
    Run("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
        "current_database() AND pid <> pg_backend_pid()");
    EXPECT_EQ(ErrorNumber([&] { AddField(*OpenDatabase(session_, address), "U", "Tres"); }),
              err::kConnectionFailed)
        << "nothing more is changed once the group is lost";
    EXPECT_EQ(ErrorNumber([&] { held.Commit(); }), err::kConnectionFailed);
    EXPECT_EQ(FieldCount(session_, address, "U"), 1) << "after the commit the schema opens again";
  }
  EXPECT_EQ(FieldCount(other, address, "T"), 3);
  {
    GroupChangesUntilCommit dropped(session_);
    AddField(*OpenDatabase(session_, address), "T", "Cuatro");
  }
  EXPECT_EQ(FieldCount(other, address, "T"), 3) << "what no commit kept is undone";
}

TEST_F(PgStorageTest, ALockHeldPastTheWaitFailsAsALockedFile) {
  const std::string address = MakeTwoTables();
  GroupChangesUntilClose group(session_);
  auto holder = OpenDatabase(session_, address);
  AddField(*holder, "T", "Uno");  // holds the table's lock until the close
  Session other;
  auto waiter = OpenDatabase(other, address);
  EXPECT_EQ(ErrorNumber([&] { AddField(*waiter, "T", "Dos"); }), err::kFileInUse);
  holder->Close();
  EXPECT_NO_THROW(AddField(*waiter, "T", "Dos"));
}

TEST_F(PgStorageTest, ASchemaMadeByOtherMeansGainsTheEnginesTablesWithItsFirstChange) {
  Run("CREATE SCHEMA vacio");
  auto db = OpenDatabase(session_, Address("vacio.mdb"));
  EXPECT_EQ(db->TableDefs().Count(), 0);
  auto table = db->CreateTableDef("Nueva");
  table->Fields().Append(table->CreateField("Nombre", dbText, 20));
  db->TableDefs().Append(table);
  AddRow(*db, "Nueva", "Nombre", 7);
  Session other;
  EXPECT_EQ(FieldCount(other, Address("vacio.mdb"), "Nueva"), 1);
}

TEST_F(PgStorageTest, BadAddressesAndForeignSchemasFailClearly) {
  CreateFromDescription(Address("hecho.mdb"), json::parse(R"({"tables": []})"));
  Run("CREATE SCHEMA ajeno; CREATE VIEW ajeno.v AS SELECT 1 AS x");
  const std::string socket = PgServer::Get().SocketDirectory();
  struct Case {
    std::string address;
    bool create;
    int number;
  };
  const Case cases[] = {
      {"postgresql://actualiz@/" + DatabaseName() + "/x.mdb?host=/nonexistent", false,
       err::kConnectionFailed},
      {"postgresql://nadie@/" + DatabaseName() + "/x.mdb?host=" + socket, false,
       err::kConnectionFailed},
      {"postgresql://actualiz@/no_such_db/x.mdb?host=" + socket, false, err::kConnectionFailed},
      {Address("falta.mdb"), false, err::kFileNotFound},
      {Address("ajeno.mdb"), false, err::kUnrecognizedFormat},
      {Address("hecho.mdb"), true, err::kDatabaseExists},
      {location_, false, err::kInvalidPath},
      {"postgresql://u:clave@/d/x.mdb", false, err::kInvalidPath},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(ErrorNumber([&] {
                if (c.create) {
                  CreateDatabase(session_, c.address);
                } else {
                  OpenDatabase(session_, c.address);
                }
              }),
              c.number);
  }
}

}  // namespace
}  // namespace actualiz::engine
