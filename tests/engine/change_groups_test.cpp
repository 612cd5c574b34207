// While changes are grouped, the changes made through one open database
// reach the file together when it is closed; each stays whole on its own
// (a failing one is undone alone), a process killed before the close leaves
// none of them, and a group that cannot be stored is reported, never lost
// in silence.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/change_groups.h"
#include "engine/session.h"
#include "tests/engine/engine_fixture.h"

namespace actualiz::engine {
namespace {

// The fields of `table` as another program reads the file; -1 when it
// cannot be read.
int FieldsSeenByAnotherProgram(const std::string& path, const std::string& table) {
  sqlite3* db = nullptr;
  int count = -1;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    const std::string sql = "SELECT count(*) FROM pragma_table_info('" + table + "')";
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
      count = sqlite3_column_int(stmt, 0);
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return count;
}

class ChangeGroupsTest : public EngineTest {
 protected:
  ChangeGroupsTest() {
    MakeTable("A", {{"Id", dbLong, 0}});
    MakeTable("B", {{"X", dbLong, 0}});
    AddRow("B", {{"X", Value(std::int64_t{7})}});
    AddRow("B", {{"X", Value(std::int64_t{7})}});
    db_->Close();
  }

  static void AddField(Database& db, const std::string& field) {
    auto a = db.TableDefs().Item("A");
    a->Fields().Append(a->CreateField(field, dbText, 10));
  }
};

TEST_F(ChangeGroupsTest, ChangesReachTheFileTogetherAtCloseAndAFailedOneIsUndoneAlone) {
  {
    auto alone = OpenDatabase(session_, path_);
    AddField(*alone, "SinGrupo");
    EXPECT_EQ(FieldsSeenByAnotherProgram(path_, "A"), 2) << "outside a group each change is stored";
  }
  GroupChangesUntilClose group(session_);
  auto db = OpenDatabase(session_, path_);
  AddField(*db, "Uno");
  // The rows of B refuse a unique index: the engine fails inside the change.
  auto b = db->TableDefs().Item("B");
  auto unique = b->CreateIndex("UnicoX");
  unique->Fields().Append(unique->CreateField("X"));
  unique->SetUnique(true);
  EXPECT_EQ(ErrorNumber([&] { b->Indexes().Append(unique); }), err::kDuplicateValues);
  AddField(*db, "Dos");
  EXPECT_EQ(db->TableDefs().Item("A")->Fields().Count(), 4) << "the handle sees its own changes";
  EXPECT_EQ(FieldsSeenByAnotherProgram(path_, "A"), 2) << "others see the file as it was";
  db->Close();
  EXPECT_EQ(FieldsSeenByAnotherProgram(path_, "A"), 4);
  auto fresh = OpenDatabase(session_, path_);
  EXPECT_EQ(fresh->TableDefs().Item("A")->Fields().Item(3)->Name(), "Dos");
  EXPECT_EQ(fresh->TableDefs().Item("B")->Indexes().Count(), 0);
  EXPECT_NO_THROW(group.RaiseUnreported());
}

TEST_F(ChangeGroupsTest, AProcessKilledBeforeTheCloseLeavesNoneOfTheGroup) {
  const pid_t child = fork();
  if (child == 0) {
    GroupChangesUntilClose group(session_);
    auto db = OpenDatabase(session_, path_);
    AddField(*db, "Uno");
    AddField(*db, "Dos");
    _exit(0);  // killed: no close, no destructors
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_EQ(status, 0);
  auto db = OpenDatabase(session_, path_);
  EXPECT_EQ(db->TableDefs().Item("A")->Fields().Count(), 1);
  AddField(*db, "Uno");  // the rerun makes them again
  EXPECT_EQ(FieldsSeenByAnotherProgram(path_, "A"), 2);
}

class HeldReadLock {
 public:
  explicit HeldReadLock(const std::string& path) {
    sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_exec(db_, "BEGIN; SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  }
  ~HeldReadLock() {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db_);
  }

 private:
  sqlite3* db_ = nullptr;
};

TEST_F(ChangeGroupsTest, AGroupThatCannotBeStoredIsReportedAndUndoneWhole) {
  GroupChangesUntilClose group(session_);
  {
    auto db = OpenDatabase(session_, path_);
    AddField(*db, "Uno");
    HeldReadLock reader(path_);  // another program reading keeps the commit out
    const Error e = RaisedError([&] { db->Close(); });
    EXPECT_EQ(e.Number(), err::kFileInUse);
    EXPECT_NE(e.Context().find("none was kept"), std::string::npos) << e.Context();
  }
  EXPECT_EQ(FieldsSeenByAnotherProgram(path_, "A"), 1);
  {
    auto dropped = OpenDatabase(session_, path_);
    AddField(*dropped, "Dos");
    HeldReadLock reader(path_);
    dropped.reset();  // dropped without Close: kept for the batch to report
  }
  EXPECT_EQ(ErrorNumber([&] { group.RaiseUnreported(); }), err::kFileInUse);
  EXPECT_NO_THROW(group.RaiseUnreported()) << "reported once";
  EXPECT_EQ(FieldsSeenByAnotherProgram(path_, "A"), 1);
}

TEST_F(ChangeGroupsTest, ChangesHeldUntilCommitSpanEveryOpenAndAFailedCommitKeepsNone) {
  GroupChangesUntilClose group(session_);
  {
    GroupChangesUntilCommit held(session_);
    AddField(*OpenDatabase(session_, path_), "Uno");
    EXPECT_EQ(OpenDatabase(session_, path_)->TableDefs().Item("A")->Fields().Count(), 2)
        << "the next open goes on in the held transaction";
    EXPECT_EQ(FieldsSeenByAnotherProgram(path_, "A"), 1) << "nothing is stored before the commit";
    held.Commit();
    EXPECT_EQ(FieldsSeenByAnotherProgram(path_, "A"), 2);

    AddField(*OpenDatabase(session_, path_), "Dos");
    HeldReadLock reader(path_);  // another program reading keeps the commit out
    EXPECT_EQ(ErrorNumber([&] { held.Commit(); }), err::kFileInUse);
  }
  EXPECT_EQ(FieldsSeenByAnotherProgram(path_, "A"), 2) << "a failed commit keeps none";
  {
    GroupChangesUntilCommit dropped(session_);
    AddField(*OpenDatabase(session_, path_), "Tres");
  }
  EXPECT_EQ(FieldsSeenByAnotherProgram(path_, "A"), 2) << "what no commit kept is undone";
  EXPECT_EQ(OpenDatabase(session_, path_)->TableDefs().Item("A")->Fields().Count(), 2);
}

}  // namespace
}  // namespace actualiz::engine
