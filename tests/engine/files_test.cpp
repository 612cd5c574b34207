// Database files: bad input to OpenDatabase, read-only files, two handles
// on one file, a file locked by another process, and durability of each
// change when the writing process is killed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>

#include "tests/engine/engine_fixture.h"
#include "tests/support/own_session.h"

namespace actualiz::engine {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::WriteFile;

// Runs `sql` on a plain SQLite connection and returns the first column of
// every row as text.
std::vector<std::string> RawQuery(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sql;
  std::vector<std::string> out;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    const auto* text = sqlite3_column_text(stmt, 0);
    out.push_back(text ? reinterpret_cast<const char*>(text) : "");
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return out;
}

class FilesTest : public EngineTest {};

TEST_F(FilesTest, BadInputGetsAClearErrorAndNothingIsCreated) {
  const std::string missing = dir_.File("nada.mdb");
  EXPECT_EQ(ErrorNumber([&] { OpenDatabase(session_, missing); }), err::kFileNotFound);
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_EQ(ErrorNumber([&] { OpenDatabase(session_, dir_.File("no/existe/x.mdb")); }),
            err::kInvalidPath);
  EXPECT_EQ(ErrorNumber([&] { OpenDatabase(session_, dir_.path().string()); }),
            err::kUnrecognizedFormat);
  WriteFile(dir_.File("vacia.mdb"), "");
  EXPECT_EQ(ErrorNumber([&] { OpenDatabase(session_, dir_.File("vacia.mdb")); }),
            err::kUnrecognizedFormat);
  WriteFile(dir_.File("texto.mdb"), "Esto no es una base de datos.\n");
  EXPECT_EQ(ErrorNumber([&] { OpenDatabase(session_, dir_.File("texto.mdb")); }),
            err::kUnrecognizedFormat);
  EXPECT_EQ(testing::ReadFile(dir_.File("texto.mdb")), "Esto no es una base de datos.\n");

  const Error e = RaisedError([&] { OpenDatabase(session_, missing, "c:\\datos\\nada.mdb"); });
  EXPECT_NE(e.Text().find("c:\\datos\\nada.mdb"), std::string::npos);
}

TEST_F(FilesTest, TruncatedOrDamagedDatabasesAreRefused) {
  MakeTable("Clientes", {{"Codigo", dbLong, 0}, {"Nombre", dbText, 40}});
  for (int i = 0; i < 200; ++i)
    AddRow("Clientes", {{"Codigo", i}, {"Nombre", std::string(30, 'x')}});
  db_->Close();
  const std::string whole = testing::ReadFile(path_);
  ASSERT_GT(whole.size(), 8192u);

  const std::string truncated = dir_.File("truncada.mdb");
  WriteFile(truncated, whole.substr(0, whole.size() / 2));
  EXPECT_EQ(ErrorNumber([&] { OpenDatabase(session_, truncated); }), err::kUnrecognizedFormat);

  // The header survives; the schema page does not.
  std::string damaged = whole;
  for (size_t i = 100; i < 4096; ++i) damaged[i] = static_cast<char>(0xA5);
  WriteFile(dir_.File("danada.mdb"), damaged);
  EXPECT_EQ(ErrorNumber([&] { OpenDatabase(session_, dir_.File("danada.mdb")); }),
            err::kUnrecognizedFormat);
}

TEST_F(FilesTest, CreatingOverAnExistingFileFails) {
  EXPECT_EQ(ErrorNumber([&] { CreateDatabase(session_, path_); }), err::kDatabaseExists);
  EXPECT_EQ(db_->TableDefs().Count(), 4);
}

TEST_F(FilesTest, ReadOnlyFileOpensButRefusesEveryWrite) {
  MakeTable("Clientes", {{"Codigo", dbLong, 0}});
  AddRow("Clientes", {{"Codigo", 1}});
  db_->Close();
  ASSERT_EQ(chmod(path_.c_str(), 0444), 0);
  const std::string before = testing::ReadFile(path_);

  auto db = OpenDatabase(session_, path_);
  EXPECT_TRUE(db->ReadOnly());
  auto table = db->TableDefs().Item("Clientes");
  EXPECT_FALSE(table->Updatable());
  EXPECT_EQ(ErrorNumber([&] { table->Fields().Append(table->CreateField("X", dbLong, 0)); }),
            err::kReadOnly);
  auto created = db->CreateTableDef("Nueva");
  created->Fields().Append(created->CreateField("X", dbLong, 0));
  EXPECT_EQ(ErrorNumber([&] { db->TableDefs().Append(created); }), err::kReadOnly);
  EXPECT_EQ(ErrorNumber([&] { db->CreateQueryDef("Q", "SELECT 1"); }), err::kReadOnly);
  auto rs = db->OpenRecordset("Clientes");
  EXPECT_EQ(rs->Fields().Item(0)->GetValue(), Value(std::int64_t{1}));
  EXPECT_EQ(ErrorNumber([&] { rs->AddNew(); }), err::kReadOnly);
  EXPECT_EQ(ErrorNumber([&] { rs->Delete(); }), err::kReadOnly);
  db->Close();
  EXPECT_EQ(testing::ReadFile(path_), before);
}

TEST_F(FilesTest, TwoHandlesOnOneFileSeeEachOthersChangesAndNeverBlock) {
  MakeTable("Clientes", {{"Codigo", dbLong, 0}});
  AddRow("Clientes", {{"Codigo", 1}});
  auto other = OpenDatabase(session_, path_);
  auto rs = other->OpenRecordset("Clientes");
  EXPECT_EQ(rs->Fields().Item(0)->GetValue(), Value(std::int64_t{1}));
  const int tables = other->TableDefs().Count();

  // The open set holds no lock: the first handle changes the file at once.
  const auto start = std::chrono::steady_clock::now();
  MakeTable("Pedidos", {{"Numero", dbLong, 0}});
  AddRow("Clientes", {{"Codigo", 2}});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

  EXPECT_EQ(other->TableDefs().Count(), tables + 1);
  EXPECT_EQ(other->TableDefs().Item("pedidos")->Name(), "Pedidos");
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());  // the set's rows were fixed when it opened
  EXPECT_EQ(other->OpenRecordset("Clientes")->RecordCount(), 2);
  other->QueryDefs().Count();
  db_->CreateQueryDef("Q", "SELECT 1");
  EXPECT_EQ(other->QueryDefs().Count(), 1);
}

// A child process that holds an exclusive lock on `path` until killed.
pid_t HoldLock(const std::string& path) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
    const char byte = 1;
    if (write(ready[1], &byte, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  char byte = 0;
  close(ready[1]);
  if (read(ready[0], &byte, 1) != 1) return -1;
  close(ready[0]);
  return child;
}

TEST_F(FilesTest, AFileLockedByAnotherProcessFailsAfterAWaitAndChangesNothing) {
  MakeTable("Clientes", {{"Codigo", dbLong, 0}});
  auto table = db_->TableDefs().Item("Clientes");
  const pid_t child = HoldLock(path_);
  ASSERT_GT(child, 0);
  const auto start = std::chrono::steady_clock::now();
  const Error e = RaisedError([&] { table->Fields().Append(table->CreateField("X", dbLong, 0)); });
  const auto waited = std::chrono::steady_clock::now() - start;
  const Error on_open = RaisedError([&] { OpenDatabase(session_, path_); });
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);

  EXPECT_EQ(e.Number(), err::kFileInUse);
  EXPECT_NE(e.Text().find("locked by another process"), std::string::npos);
  EXPECT_NE(e.Text().find(path_), std::string::npos);
  EXPECT_GE(waited, std::chrono::seconds(2));
  EXPECT_EQ(on_open.Number(), err::kFileInUse);
  EXPECT_EQ(table->Fields().Count(), 1);
}

TEST_F(FilesTest, APlainSqliteFileIsReadAndGainsTheEnginesTablesOnFirstChange) {
  const std::string plain = dir_.File("plana.db");
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(plain.c_str(), &raw), SQLITE_OK);
  sqlite3_exec(raw,
               "CREATE TABLE t (id INTEGER PRIMARY KEY, nombre TEXT, precio REAL, foto BLOB, "
               "codigo VARCHAR(12)); INSERT INTO t VALUES (1, 'a', 2.5, NULL, 'x');",
               nullptr, nullptr, nullptr);
  sqlite3_close(raw);
  auto db = OpenDatabase(session_, plain);
  ASSERT_EQ(db->TableDefs().Count(), 1);
  auto fields = db->TableDefs().Item("T");
  EXPECT_EQ(fields->Fields().Item("id")->Type(), dbLong);
  EXPECT_EQ(fields->Fields().Item("nombre")->Type(), dbMemo);
  EXPECT_EQ(fields->Fields().Item("precio")->Type(), dbDouble);
  EXPECT_EQ(fields->Fields().Item("foto")->Type(), dbLongBinary);
  EXPECT_EQ(fields->Fields().Item("codigo")->Size(), 12);
  EXPECT_EQ(db->OpenRecordset("t")->Fields().Item("precio")->GetValue(), Value(2.5));
  db->CreateQueryDef("Q", "SELECT * FROM t");
  EXPECT_EQ(db->TableDefs().Count(), 5);
}

// Whole changes only: every user table has its five fields and its index,
// or also the sixth field appended after it, and the metadata matches.
void ExpectOnlyWholeChanges(const std::string& path) {
  EXPECT_EQ(RawQuery(path, "PRAGMA integrity_check"), std::vector<std::string>{"ok"});
  auto db = testing::OpenInOwnSession(path);
  int user_tables = 0;
  for (const auto& table : db->TableDefs().Items()) {
    if (table->Name().rfind("MSys", 0) == 0) continue;
    ++user_tables;
    const int fields = table->Fields().Count();
    EXPECT_TRUE(fields == 5 || fields == 6) << table->Name() << " has " << fields;
    if (fields == 6) {
      EXPECT_EQ(table->Fields().Item(5)->Name(), "Extra");
    }
    EXPECT_TRUE(table->Fields().Item("Nombre")->AllowZeroLength()) << table->Name();
    ASSERT_EQ(table->Indexes().Count(), 1) << table->Name();
    const auto meta = RawQuery(
        path, "SELECT count(*) FROM MSysColumns WHERE TableName = '" + table->Name() + "'");
    EXPECT_EQ(meta, std::vector<std::string>{std::to_string(fields)}) << table->Name();
  }
  EXPECT_GT(user_tables, 0);
  EXPECT_LE(db->QueryDefs().Count(), user_tables);
}

TEST_F(FilesTest, AProcessKilledInTheMiddleOfAppendsLeavesOnlyWholeChanges) {
  db_->Close();
  for (int round = 0; round < 3; ++round) {
    int progress[2];
    ASSERT_EQ(pipe(progress), 0);
    const pid_t child = fork();
    if (child == 0) {
      close(progress[0]);
      try {
        auto db = OpenDatabase(session_, path_);
        for (int i = 0;; ++i) {
          const std::string name = "R" + std::to_string(round) + "T" + std::to_string(i);
          auto table = db->CreateTableDef(name);
          for (const char* f : {"Codigo", "Nombre", "Alta", "Importe", "Notas"}) {
            auto field = table->CreateField(f, f[0] == 'N' ? dbText : dbLong, 30);
            if (f[0] == 'N') field->SetAllowZeroLength(true);
            table->Fields().Append(field);
          }
          auto index = table->CreateIndex("Idx");
          index->Fields().Append(index->CreateField("Codigo"));
          table->Indexes().Append(index);
          db->TableDefs().Append(table);
          db->CreateQueryDef("Q" + name, "SELECT * FROM [" + name + "]");
          auto stored = db->TableDefs().Item(name);
          stored->Fields().Append(stored->CreateField("Extra", dbMemo, 0));
          const char byte = 1;
          if (i == 3 && write(progress[1], &byte, 1) != 1) _exit(2);
        }
      } catch (...) {
        _exit(3);
      }
    }
    close(progress[1]);
    char byte = 0;
    ASSERT_EQ(read(progress[0], &byte, 1), 1);
    close(progress[0]);
    usleep(static_cast<useconds_t>(50000 + round * 37000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own: " << status;
    ExpectOnlyWholeChanges(path_);
  }
  // The next change leaves no journal beside the file.
  OpenDatabase(session_, path_)->CreateQueryDef("Final", "SELECT 1");
  EXPECT_FALSE(fs::exists(path_ + "-journal"));
}

}  // namespace
}  // namespace actualiz::engine
