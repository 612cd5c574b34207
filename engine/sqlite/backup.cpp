// Database copies through SQLite's online backup.
//
// Steps: check that the source is a file of ours (its header), open it
// read-only, open or create the destination, then copy every page in one
// backup step, retrying while another connection holds a lock (up to the
// engine's usual wait). The backup writes the destination inside its own
// transaction with a rollback journal, so a failure half-way rolls it back;
// a destination this call created is removed again on failure.
#include "engine/sqlite/backup.h"

#include <sqlite3.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "base/error.h"
#include "engine/jet_errors.h"
#include "engine/sqlite/sqlite_storage.h"

namespace actualiz::engine {

namespace {

namespace fs = std::filesystem;

constexpr auto kLockWait = std::chrono::milliseconds(3000);
constexpr auto kLockRetry = std::chrono::milliseconds(50);

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

bool HasSqliteHeader(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::array<char, 16> header{};
  if (!in.read(header.data(), header.size())) return false;
  return std::memcmp(header.data(), "SQLite format 3", 16) == 0;
}

// Closes a connection when it goes out of scope.
struct Connection {
  sqlite3* db = nullptr;
  ~Connection() { sqlite3_close_v2(db); }
};

void OpenConnection(Connection& connection, const std::string& path, int flags) {
  if (sqlite3_open_v2(path.c_str(), &connection.db, flags | SQLITE_OPEN_PRIVATECACHE, nullptr) !=
      SQLITE_OK) {
    throw MakeError(err::kCannotOpen, {path}, Quoted(path));
  }
  sqlite3_busy_timeout(connection.db, static_cast<int>(kLockWait.count()));
}

Error StepFailure(int rc, const std::string& from, const std::string& to) {
  switch (rc) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return MakeError(err::kFileInUse, {from}, Quoted(from) + " -> " + Quoted(to));
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      return MakeError(err::kUnrecognizedFormat, {from}, Quoted(from));
    default:
      return MakeError(err::kCannotOpen, {to}, Quoted(to));
  }
}

void RunBackup(sqlite3* source, sqlite3* destination, const std::string& from,
               const std::string& to) {
  sqlite3_backup* backup = sqlite3_backup_init(destination, "main", source, "main");
  if (backup == nullptr) throw StepFailure(sqlite3_errcode(destination), from, to);
  const auto deadline = std::chrono::steady_clock::now() + kLockWait;
  int rc = SQLITE_OK;
  for (;;) {
    rc = sqlite3_backup_step(backup, -1);
    if (rc == SQLITE_DONE) break;
    const bool locked = rc == SQLITE_BUSY || rc == SQLITE_LOCKED;
    if (!locked || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(kLockRetry);
  }
  sqlite3_backup_finish(backup);
  if (rc != SQLITE_DONE) throw StepFailure(rc, from, to);
}

// A statement over every row of a table, finalized when it goes out of scope.
struct RowScan {
  sqlite3_stmt* stmt = nullptr;
  RowScan(sqlite3* db, const std::string& table, const std::string& path) {
    const std::string sql = "SELECT * FROM " + QuoteIdentifier(table);
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      throw MakeError(err::kUnrecognizedFormat, {path}, Quoted(path) + " (" + table + ")");
    }
  }
  ~RowScan() { sqlite3_finalize(stmt); }
  // True on a row, false at the end.
  bool Step(const std::string& path) {
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw StepFailure(rc, path, path);
  }
};

bool SameValue(sqlite3_stmt* a, sqlite3_stmt* b, int column) {
  const int type = sqlite3_column_type(a, column);
  if (type != sqlite3_column_type(b, column)) return false;
  switch (type) {
    case SQLITE_NULL:
      return true;
    case SQLITE_INTEGER:
      return sqlite3_column_int64(a, column) == sqlite3_column_int64(b, column);
    case SQLITE_FLOAT: {
      const double x = sqlite3_column_double(a, column);
      const double y = sqlite3_column_double(b, column);
      return std::memcmp(&x, &y, sizeof x) == 0;
    }
    default: {  // text and blobs: the same bytes
      const void* x = sqlite3_column_blob(a, column);
      const void* y = sqlite3_column_blob(b, column);
      const int size = sqlite3_column_bytes(a, column);
      return size == sqlite3_column_bytes(b, column) && (size == 0 || std::memcmp(x, y, size) == 0);
    }
  }
}

bool SameRowsOfTable(sqlite3* first, sqlite3* second, const std::string& table,
                     const std::string& first_path, const std::string& second_path) {
  RowScan a(first, table, first_path);
  RowScan b(second, table, second_path);
  const int columns = sqlite3_column_count(a.stmt);
  if (columns != sqlite3_column_count(b.stmt)) return false;
  for (;;) {
    const bool more_a = a.Step(first_path);
    const bool more_b = b.Step(second_path);
    if (more_a != more_b) return false;
    if (!more_a) return true;
    for (int column = 0; column < columns; ++column) {
      if (!SameValue(a.stmt, b.stmt, column)) return false;
    }
  }
}

// Opens `path` read-only inside a read transaction, so every table is read
// from one committed state.
void OpenForReading(Connection& connection, const std::string& path) {
  if (!HasSqliteHeader(path)) {
    throw MakeError(err::kUnrecognizedFormat, {path}, Quoted(path));
  }
  OpenConnection(connection, path, SQLITE_OPEN_READONLY);
  if (sqlite3_exec(connection.db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
    throw StepFailure(sqlite3_errcode(connection.db), path, path);
  }
}

}  // namespace

bool SameRows(const std::string& first, const std::string& second,
              const std::vector<std::string>& tables) {
  Connection a;
  OpenForReading(a, first);
  Connection b;
  OpenForReading(b, second);
  for (const std::string& table : tables) {
    if (!SameRowsOfTable(a.db, b.db, table, first, second)) return false;
  }
  return true;  // closing the connections ends their read transactions
}

void CopyDatabase(const std::string& from, const std::string& to, CopyTarget target) {
  std::error_code ec;
  if (!fs::exists(from, ec)) throw MakeError(err::kFileNotFound, {from}, Quoted(from));
  if (!fs::is_regular_file(from, ec) || !HasSqliteHeader(from)) {
    throw MakeError(err::kUnrecognizedFormat, {from}, Quoted(from));
  }
  const bool existed = fs::exists(to, ec);
  if (existed && target == CopyTarget::kNew) {
    throw MakeError(err::kDatabaseExists, Quoted(to));
  }
  if (existed && !fs::is_regular_file(to, ec)) {
    throw MakeError(err::kUnrecognizedFormat, {to}, Quoted(to));
  }

  try {
    Connection source;
    OpenConnection(source, from, SQLITE_OPEN_READONLY);
    Connection destination;
    OpenConnection(destination, to, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    RunBackup(source.db, destination.db, from, to);
  } catch (const Error&) {
    if (!existed) {
      fs::remove(to, ec);
      fs::remove(to + "-journal", ec);
    }
    throw;
  }
}

}  // namespace actualiz::engine
