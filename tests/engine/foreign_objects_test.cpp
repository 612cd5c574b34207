// Files holding schema objects the engine does not make: a view, a virtual
// table, a trigger of another program, or one named as the engine names a
// relation's trigger but with other words. Any of them could change data
// behind the engine's back, so such a file is refused when it is opened,
// however the open comes (fresh or from a kept connection).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "tests/engine/engine_fixture.h"
#include "tests/support/db_builder.h"
#include "tests/support/own_session.h"

namespace actualiz::engine {
namespace {

using testing::BuildDatabase;
using testing::ReadFile;
using testing::TempDir;

// Two relations, one cascading and one not, so both forms of the engine's
// triggers are in the file, and rows they keep.
constexpr const char* kRelated = R"({"tables": [
  {"name": "Padre", "fields": [{"name": "Id", "type": 4}],
   "indexes": [{"name": "PrimaryKey", "fields": ["Id"], "primary": true, "unique": true}],
   "rows": [{"Id": 1}]},
  {"name": "Hija", "fields": [{"name": "Padre", "type": 4}, {"name": "Otro", "type": 4}],
   "rows": [{"Padre": 1, "Otro": 1}]}],
 "relations": [
  {"name": "Cascada", "table": "Padre", "foreignTable": "Hija", "attributes": 4352,
   "fields": [{"name": "Id", "foreignName": "Padre"}]},
  {"name": "Firme", "table": "Padre", "foreignTable": "Hija", "attributes": 0,
   "fields": [{"name": "Id", "foreignName": "Otro"}]}]})";

TEST(ForeignObjects, AnObjectTheEngineDoesNotMakeIsRefusedNamingTheFileAndTheObject) {
  const struct {
    const char* object;
    const char* sql;
  } cases[] = {
      {"Vista", "CREATE VIEW Vista AS SELECT * FROM Padre"},
      {"Vaciar", "CREATE TRIGGER Vaciar AFTER DELETE ON MSysQueries BEGIN DELETE FROM Hija; END"},
      {"Buscar", "CREATE VIRTUAL TABLE Buscar USING rtree(id, x0, x1)"},
      // The engine's name, another body.
      {"MSysRel_Firme_PrimaryDelete",
       "DROP TRIGGER MSysRel_Firme_PrimaryDelete; CREATE TRIGGER MSysRel_Firme_PrimaryDelete "
       "AFTER DELETE ON Padre BEGIN DELETE FROM Hija; END"},
      // The engine's form, for a relation the file does not have.
      {"MSysRel_Otra_ForeignInsert",
       "CREATE TRIGGER MSysRel_Otra_ForeignInsert BEFORE INSERT ON Hija FOR EACH ROW "
       "BEGIN DELETE FROM Padre; END"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.object);
    TempDir dir;
    const std::string path = dir.File("modelo.mdb");
    BuildDatabase(path, kRelated);
    ASSERT_EQ(RunSql(path, c.sql), SQLITE_OK);
    const std::string bytes = ReadFile(path);
    const Error e = RaisedError([&] { testing::OpenInOwnSession(path, "c:\\prog\\modelo.mdb"); });
    EXPECT_EQ(e.Number(), err::kUnrecognizedFormat);
    EXPECT_NE(e.Text().find("'c:\\prog\\modelo.mdb'"), std::string::npos) << e.Text();
    EXPECT_NE(e.Text().find(std::string("'") + c.object + "'"), std::string::npos) << e.Text();
    EXPECT_EQ(ReadFile(path), bytes);
  }
}

TEST(ForeignObjects, TheEnginesOwnTriggersAndOtherToolsTablesAndIndexesStillOpen) {
  TempDir dir;
  const std::string ours = dir.File("nuestra.mdb");
  BuildDatabase(ours, kRelated);
  DatabasePtr database = testing::OpenInOwnSession(ours);
  EXPECT_EQ(database->Relations().Count(), 2);
  // A relation appended and deleted through the engine keeps the file open.
  database->Relations().Delete("Firme");
  database->Close();
  EXPECT_EQ(testing::OpenInOwnSession(ours)->Relations().Count(), 1);

  const std::string plain = dir.File("otra.mdb");
  ASSERT_EQ(RunSql(plain,
                   "CREATE TABLE t (a TEXT PRIMARY KEY, b TEXT UNIQUE, c);"
                   "CREATE INDEX t_c ON t (c) WHERE c > 0;",
                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE),
            SQLITE_OK);
  EXPECT_EQ(testing::OpenInOwnSession(plain)->TableDefs().Item("t")->Indexes().Count(), 3);
}

TEST(ForeignObjects, AKeptConnectionDoesNotOpenAFileThatGainedAnObjectSince) {
  TempDir dir;
  const std::string path = dir.File("modelo.mdb");
  BuildDatabase(path, kRelated);
  Session session;
  KeepClosedConnections keep(session);
  OpenDatabase(session, path)->Close();
  ASSERT_EQ(session.KeptConnectionCount(), 1);
  ASSERT_EQ(RunSql(path, "CREATE VIEW Vista AS SELECT 1"), SQLITE_OK);
  EXPECT_EQ(ErrorNumber([&] { OpenDatabase(session, path); }), err::kUnrecognizedFormat);
}

}  // namespace
}  // namespace actualiz::engine
