// Hand-off files commit without waiting for the disk; every other database
// keeps waiting, and the file stays one an ordinary opener reads as before.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "engine/sqlite/sqlite_storage.h"
#include "tests/engine/engine_fixture.h"

namespace actualiz::engine {
namespace {

class HandOffTest : public EngineTest {
 protected:
  // PRAGMA synchronous of a connection to `path`: 0 OFF, 2 FULL.
  std::int64_t Synchronous(const std::string& path) {
    auto storage = SqliteStorage::Open(session_, path, "x.mdb", false);
    auto stmt = storage->Prepare("PRAGMA synchronous");
    return stmt.Step() ? stmt.Int(0) : -1;
  }
  void MakeCatalogue() {
    std::filesystem::create_directory(dir_.path() / "Zarade");
    auto db = CreateDatabase(session_, catalogue_);
    auto t = db->CreateTableDef("indices");
    t->Fields().Append(t->CreateField("nombre", dbText, 255));
    db->TableDefs().Append(t);
  }
  std::string catalogue_ = dir_.File("Zarade/indices.mdb");
};

TEST_F(HandOffTest, OnlyTheMarkedFileSkipsTheWaitForTheDisk) {
  MakeCatalogue();
  EXPECT_EQ(Synchronous(catalogue_), 2);
  // Marked under another spelling of the same path, through a link.
  std::filesystem::create_directory_symlink(dir_.path() / "Zarade", dir_.path() / "link");
  session_.SetHandOff(dir_.File("link/../link/./indices.mdb"));
  EXPECT_TRUE(session_.IsHandOff(catalogue_));
  EXPECT_EQ(Synchronous(catalogue_), 0);
  EXPECT_EQ(Synchronous(path_), 2);
  EXPECT_FALSE(session_.IsHandOff(dir_.File("Zarade/relacion.mdb")));
}

TEST_F(HandOffTest, MarkedFileKeepsItsRollbackJournalAndItsRows) {
  session_.SetHandOff(catalogue_);  // before the file exists, as a run may make it
  MakeCatalogue();
  {
    auto db = OpenDatabase(session_, catalogue_);
    auto rs = db->OpenRecordset("indices");
    for (const char* name : {"a", "b", "c"}) {
      rs->AddNew();
      rs->Fields().Item("nombre")->SetValue(Value(std::string(name)));
      rs->Update();
    }
  }
  EXPECT_FALSE(std::filesystem::exists(catalogue_ + "-wal"));
  EXPECT_FALSE(std::filesystem::exists(catalogue_ + "-journal"));
  sqlite3* plain = nullptr;
  ASSERT_EQ(sqlite3_open_v2(catalogue_.c_str(), &plain, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(plain, "PRAGMA journal_mode", -1, &stmt, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "delete");
  sqlite3_finalize(stmt);
  sqlite3_close(plain);
  auto db = OpenDatabase(session_, catalogue_);
  EXPECT_EQ(db->OpenRecordset("indices")->RecordCount(), 3);
}

}  // namespace
}  // namespace actualiz::engine
