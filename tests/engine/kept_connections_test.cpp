// While closed connections are kept, the next open of a file takes its kept
// connection back only while the file is the same, unchanged one; every
// change made meanwhile (by another program, by another handle of ours, a
// file put in its place, new permissions) is seen. A kept connection holds
// no lock, and none outlives the keeping.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/engine/engine_fixture.h"

namespace actualiz::engine {
namespace {

class KeptConnectionsTest : public EngineTest {
 protected:
  KeptConnectionsTest() {
    MakeTable("A", {{"Id", dbLong, 0}});
    db_->Close();
  }

  static bool HasTable(Database& db, const std::string& name) {
    for (int i = 0; i < db.TableDefs().Count(); ++i) {
      if (db.TableDefs().Item(i)->Name() == name) return true;
    }
    return false;
  }

  static void AddField(Database& db, const std::string& table, const std::string& field) {
    auto t = db.TableDefs().Item(table);
    t->Fields().Append(t->CreateField(field, dbText, 10));
  }
};

TEST_F(KeptConnectionsTest, AClosedDatabaseIsKeptWhileKeepingAndTakenBackByTheNextOpen) {
  EXPECT_EQ(session_.KeptConnectionCount(), 0) << "nothing is kept outside a keeping";
  {
    KeepClosedConnections keep(session_);
    OpenDatabase(session_, path_)->Close();
    EXPECT_EQ(session_.KeptConnectionCount(), 1);
    {
      auto again = OpenDatabase(session_, path_, "again.mdb");
      EXPECT_EQ(session_.KeptConnectionCount(), 0);
      EXPECT_EQ(again->Name(), "again.mdb");
      AddField(*again, "A", "Nuevo");
      KeepClosedConnections nested(session_);
    }  // dropping the last handle keeps it too; the nested keeping closes nothing
    EXPECT_EQ(session_.KeptConnectionCount(), 1);
    auto third = OpenDatabase(session_, path_);
    EXPECT_EQ(third->TableDefs().Item("A")->Fields().Count(), 2);
    // The kept connection errors name the file as the new opener does.
    EXPECT_NE(RaisedError([&] { third->TableDefs().Item("Missing"); }).Context().find(path_),
              std::string::npos);
  }
  EXPECT_EQ(session_.KeptConnectionCount(), 0) << "the end of the keeping closes every kept one";
}

TEST_F(KeptConnectionsTest, AKeptConnectionHoldsNoLockAndSeesAnotherProgramsChange) {
  KeepClosedConnections keep(session_);
  OpenDatabase(session_, path_)->Close();
  ASSERT_EQ(session_.KeptConnectionCount(), 1);
  ASSERT_EQ(RunSql(path_, "BEGIN EXCLUSIVE; CREATE TABLE \"Otro\" (\"Id\" INTEGER); COMMIT"),
            SQLITE_OK);
  auto db = OpenDatabase(session_, path_);
  EXPECT_TRUE(HasTable(*db, "Otro"));
  AddField(*db, "Otro", "Nombre");
  EXPECT_EQ(db->TableDefs().Item("Otro")->Fields().Count(), 2);
}

TEST_F(KeptConnectionsTest, AnotherHandlesChangeIsSeenWhicheverKeptConnectionIsTaken) {
  KeepClosedConnections keep(session_);
  auto first = OpenDatabase(session_, path_);
  auto second = OpenDatabase(session_, path_);
  AddField(*first, "A", "DelPrimero");
  first->Close();
  auto b = second->CreateTableDef("B");
  b->Fields().Append(b->CreateField("Id", dbLong, 0));
  second->TableDefs().Append(b);
  second->Close();
  ASSERT_EQ(session_.KeptConnectionCount(), 2);
  auto one = OpenDatabase(session_, path_);
  auto other = OpenDatabase(session_, path_);
  for (Database* db : {one.get(), other.get()}) {
    EXPECT_TRUE(HasTable(*db, "B"));
    EXPECT_EQ(db->TableDefs().Item("A")->Fields().Count(), 2);
  }
}

TEST_F(KeptConnectionsTest, AFilePutInThePlaceOfAKeptOneIsReadAfresh) {
  const std::string other_path = dir_.File("otro.mdb");
  {
    auto other = CreateDatabase(session_, other_path);
    auto t = other->CreateTableDef("SoloEnElOtro");
    t->Fields().Append(t->CreateField("Id", dbLong, 0));
    other->TableDefs().Append(t);
  }
  KeepClosedConnections keep(session_);
  OpenDatabase(session_, path_)->Close();
  std::filesystem::rename(other_path, path_);
  auto db = OpenDatabase(session_, path_);
  EXPECT_TRUE(HasTable(*db, "SoloEnElOtro"));
  EXPECT_FALSE(HasTable(*db, "A"));
}

TEST_F(KeptConnectionsTest, AFileMadeReadOnlyMeanwhileOpensReadOnly) {
  KeepClosedConnections keep(session_);
  OpenDatabase(session_, path_)->Close();
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  auto db = OpenDatabase(session_, path_);
  EXPECT_TRUE(db->ReadOnly());
  EXPECT_EQ(ErrorNumber([&] { AddField(*db, "A", "Nuevo"); }), err::kReadOnly);
  db.reset();
  ASSERT_EQ(chmod(path_.c_str(), 0644), 0);
  auto writable = OpenDatabase(session_, path_);
  EXPECT_FALSE(writable->ReadOnly());
  AddField(*writable, "A", "Nuevo");
}

}  // namespace
}  // namespace actualiz::engine
