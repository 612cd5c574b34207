// Connections to one file share a schema snapshot, and none of them is ever
// handed a schema the file no longer has: not after another handle's or
// another program's change, not when another file takes the path, not while
// a change is still uncommitted, not for a file in WAL mode.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "engine/description/description.h"
#include "engine/sqlite/sqlite_storage.h"
#include "tests/engine/engine_fixture.h"

namespace actualiz::engine {
namespace {

std::string Structure(Database& db) { return Describe(db, {.system = true}).dump(1); }

class SharedSchemaTest : public EngineTest {
 protected:
  // The structure of the file at `path` read whole: a copy has another
  // identity, so no snapshot can serve it.
  std::string ReadAfresh(const std::string& path) {
    const std::string copy = dir_.File("fresh" + std::to_string(++copies_) + ".mdb");
    std::filesystem::copy_file(path, copy);
    auto fresh = OpenDatabase(session_, copy);
    return Structure(*fresh);
  }
  int FieldCount(Database& db, const std::string& table) {
    return db.TableDefs().Item(table)->Fields().Count();
  }
  int copies_ = 0;
};

TEST_F(SharedSchemaTest, EveryHandleSeesAnotherHandlesChange) {
  MakeTable("A", {{"Id", dbLong, 0}});
  auto reader = OpenDatabase(session_, path_);
  EXPECT_EQ(reader->TableDefs().Item("A")->Fields().Count(), 1);
  auto writer = OpenDatabase(session_, path_);
  auto a = writer->TableDefs().Item("A");
  a->Fields().Append(a->CreateField("FromWriter", dbText, 10));
  auto b = writer->CreateTableDef("B");
  b->Fields().Append(b->CreateField("Id", dbLong, 0));
  writer->TableDefs().Append(b);
  writer->CreateQueryDef("Q", "SELECT * FROM B");

  EXPECT_EQ(FieldCount(*reader, "A"), 2);
  EXPECT_EQ(FieldCount(*db_, "A"), 2);
  auto later = OpenDatabase(session_, path_);
  EXPECT_EQ(FieldCount(*later, "B"), 1);
  EXPECT_EQ(later->QueryDefs().Count(), 1);
  const std::string afresh = ReadAfresh(path_);
  EXPECT_EQ(Structure(*reader), afresh);
  EXPECT_EQ(Structure(*later), afresh);
  EXPECT_EQ(Structure(*db_), afresh);
}

TEST_F(SharedSchemaTest, AnotherProgramsChangeIsSeenByOpenAndNewHandles) {
  MakeTable("A", {{"Id", dbLong, 0}});
  auto before = OpenDatabase(session_, path_);
  EXPECT_EQ(before->TableDefs().Count(), 5);  // A and the engine's four tables

  // A change of the tables themselves moves SQLite's schema cookie...
  ASSERT_EQ(RunSql(path_, "ALTER TABLE A ADD COLUMN Extra INTEGER; CREATE TABLE Z (Id INTEGER)"),
            SQLITE_OK);
  EXPECT_EQ(FieldCount(*before, "A"), 2);
  auto after = OpenDatabase(session_, path_);
  EXPECT_EQ(FieldCount(*after, "A"), 2);
  EXPECT_EQ(after->TableDefs().Count(), 6);

  // ...a change of the engine's rows alone does not, and must be seen too.
  ASSERT_EQ(RunSql(path_,
                   "INSERT INTO MSysQueries (Name, SQL) VALUES ('Q', 'SELECT * FROM Z');"
                   "UPDATE MSysColumns SET Required = 1 WHERE ColumnName = 'Id'"),
            SQLITE_OK);
  auto last = OpenDatabase(session_, path_);
  EXPECT_EQ(last->QueryDefs().Count(), 1);
  EXPECT_TRUE(last->TableDefs().Item("A")->Fields().Item("Id")->Required());
  EXPECT_EQ(before->QueryDefs().Count(), 1);
  const std::string afresh = ReadAfresh(path_);
  EXPECT_EQ(Structure(*last), afresh);
  EXPECT_EQ(Structure(*before), afresh);
}

class ReplacedFileTest : public SharedSchemaTest {
 protected:
  // A second database made by the same steps as the first, with other
  // names: the same size, and most likely the same header.
  void SetUp() override {
    MakeTable("A", {{"Id", dbLong, 0}});
    auto other = CreateDatabase(session_, other_);
    auto b = other->CreateTableDef("B");
    b->Fields().Append(b->CreateField("Id", dbLong, 0));
    other->TableDefs().Append(b);
  }
  // True when the database at path_ has table `name`.
  bool HasTable(const std::string& name) {
    auto db = OpenDatabase(session_, path_);
    for (int i = 0; i < db->TableDefs().Count(); ++i) {
      if (db->TableDefs().Item(i)->Name() == name) return true;
    }
    return false;
  }
  std::string other_ = dir_.File("other.mdb");
};

TEST_F(ReplacedFileTest, FileRenamedOverThePathIsReadAfresh) {
  ASSERT_TRUE(HasTable("A"));
  std::filesystem::rename(other_, path_);
  EXPECT_TRUE(HasTable("B"));
  EXPECT_FALSE(HasTable("A"));
  EXPECT_EQ(FieldCount(*db_, "A"), 1);  // the handle open before keeps its own file
}

TEST_F(ReplacedFileTest, FileDeletedAndMadeAgainIsReadAfresh) {
  ASSERT_TRUE(HasTable("A"));
  db_.reset();  // nothing keeps the old file's inode, which the new file may take
  std::filesystem::remove(path_);
  std::filesystem::copy_file(other_, path_);
  EXPECT_TRUE(HasTable("B"));
  EXPECT_FALSE(HasTable("A"));
}

TEST_F(ReplacedFileTest, FileCopiedOverInPlaceIsReadAfresh) {
  ASSERT_TRUE(HasTable("A"));
  // The copy rewrites the same inode; its change time tells it apart from
  // the state last read once the kernel's clock has ticked past that read.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::filesystem::copy_file(other_, path_, std::filesystem::copy_options::overwrite_existing);
  EXPECT_TRUE(HasTable("B"));
  EXPECT_FALSE(HasTable("A"));
}

// A plain SQLite file: the engine's tables are made by its first change.
class UncommittedSchemaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(
        RunSql(path_, "CREATE TABLE T (Id INTEGER)", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE),
        SQLITE_OK);
  }
  std::unique_ptr<SqliteStorage> Open() {
    return SqliteStorage::Open(session_, path_, "plain.mdb", false);
  }
  static std::vector<std::string> TableNames(const Schema& schema) {
    std::vector<std::string> names;
    for (const auto& t : schema.tables) names.push_back(t.name);
    return names;
  }
  testing::TempDir dir_;
  Session session_;
  std::string path_ = dir_.File("plain.mdb");
};

TEST_F(UncommittedSchemaTest, AChangeRolledBackIsNeverSeenByAnotherConnection) {
  auto writer = Open();
  const TableInfo x{"X", {ColumnInfo{"Id", dbLong, 4, false, false}}, {}};
  EXPECT_THROW(writer->Change([&](const Schema&) {
    writer->CreateTable(x);
    // The writer has read the file with its engine tables made but not
    // committed; another connection must see only what is committed.
    EXPECT_EQ(TableNames(*Open()->Describe()), std::vector<std::string>{"T"});
    throw std::runtime_error("change abandoned");
  }),
               std::runtime_error);
  EXPECT_EQ(TableNames(*Open()->Describe()), std::vector<std::string>{"T"});
  EXPECT_EQ(TableNames(*writer->Describe()), std::vector<std::string>{"T"});

  writer->Change([&](const Schema&) { writer->CreateTable(x); });
  const auto names = TableNames(*Open()->Describe());
  EXPECT_EQ(names.size(), 6u);
  EXPECT_EQ(names.back(), "X");
}

TEST_F(SharedSchemaTest, FailedSchemaReadLeavesNoTransactionOpen) {
  MakeTable("A", {{"Id", dbLong, 0}});
  auto storage = SqliteStorage::Open(session_, path_, "clientes.mdb", false);
  // The engine reads its query table in stored (rowid) order: a table
  // without row ids makes that read fail half-way through the schema.
  ASSERT_EQ(RunSql(path_,
                   "DROP TABLE MSysQueries; CREATE TABLE MSysQueries (Name TEXT PRIMARY KEY, "
                   "SQL TEXT) WITHOUT ROWID"),
            SQLITE_OK);
  EXPECT_NE(ErrorNumber([&] { storage->Describe(); }), 0);
  EXPECT_NE(sqlite3_get_autocommit(storage->Handle()), 0);
  // A read lock left behind would keep this writer out.
  EXPECT_EQ(RunSql(path_,
                   "DROP TABLE MSysQueries; CREATE TABLE MSysQueries (Name TEXT NOT NULL "
                   "COLLATE NOCASE UNIQUE, SQL LONGTEXT NOT NULL)"),
            SQLITE_OK);
  EXPECT_EQ(storage->Describe()->tables.size(), 5u);
}

TEST_F(SharedSchemaTest, FileInWalModeIsNeverShared) {
  MakeTable("A", {{"Id", dbLong, 0}});
  db_.reset();
  ASSERT_EQ(RunSql(path_, "PRAGMA journal_mode=WAL"), SQLITE_OK);
  // A file that may not be written opens read-only and stays in WAL mode.
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  auto reader = OpenDatabase(session_, path_);
  ASSERT_FALSE(reader->TableDefs().Item("A")->Updatable());
  EXPECT_EQ(reader->QueryDefs().Count(), 0);
  // In WAL mode a commit leaves the database header as it was.
  ASSERT_EQ(RunSql(path_, "INSERT INTO MSysQueries (Name, SQL) VALUES ('Q', 'SELECT * FROM A')"),
            SQLITE_OK);
  EXPECT_EQ(OpenDatabase(session_, path_)->QueryDefs().Count(), 1);
  EXPECT_EQ(reader->QueryDefs().Count(), 1);
}

}  // namespace
}  // namespace actualiz::engine
