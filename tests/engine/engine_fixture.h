// A fresh database in a temporary directory, and helpers to check failures.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <string>

#include "base/error.h"
#include "engine/engine.h"
#include "tests/support/error_number.h"
#include "tests/support/temp_dir.h"

namespace actualiz::engine {

using testing::ErrorNumber;
using testing::RaisedError;

// Runs `sql` on the file through a plain SQLite connection of its own, with
// no busy timeout: another program's change, which fails at once when a
// handle of ours keeps a lock.
inline int RunSql(const std::string& path, const std::string& sql,
                  int flags = SQLITE_OPEN_READWRITE) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return rc;
}

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() : path_(dir_.File("clientes.mdb")), db_(CreateDatabase(session_, path_)) {}

  // Stores a table with the given (name, type, size) fields.
  void MakeTable(const std::string& name,
                 std::initializer_list<std::tuple<std::string, int, int>> fields) {
    auto table = db_->CreateTableDef(name);
    for (const auto& [field, type, size] : fields) {
      table->Fields().Append(table->CreateField(field, type, size));
    }
    db_->TableDefs().Append(table);
  }

  void AddRow(const std::string& table,
              std::initializer_list<std::pair<std::string, Value>> values) {
    auto rs = db_->OpenRecordset(table);
    rs->AddNew();
    for (const auto& [field, value] : values) rs->Fields().Item(field)->SetValue(value);
    rs->Update();
  }

  int RowCount(const std::string& source) {
    auto rs = db_->OpenRecordset(source);
    return rs->RecordCount();
  }

  testing::TempDir dir_;
  Session session_;
  std::string path_;
  DatabasePtr db_;
};

}  // namespace actualiz::engine
