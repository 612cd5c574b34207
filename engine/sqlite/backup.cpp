// Database copies.
//
// A new copy is a copy of the file's bytes taken while a read transaction
// holds the source: with the rollback journal the engine writes its files
// with, no writer can write the file while a reader holds it, so the bytes
// are one committed state. They go to a hidden temporary beside the
// destination (cloned or copied in the kernel where the file system can),
// which is synced and then linked under the destination's name, never
// replacing a file there. A source in WAL mode (its committed state is not
// all in the file) and a connection whose file descriptor cannot be told
// take SQLite's online backup instead.
//
// The online backup (also for replacing a destination): check that the
// source is a file of ours (its header), open it read-only, open or create
// the destination, then copy every page in one backup step, retrying while
// another connection holds a lock (up to the engine's usual wait). The
// backup writes the destination inside its own transaction with a rollback
// journal, so a failure half-way rolls it back; a destination this call
// created is removed again on failure.
#include "engine/sqlite/backup.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <utility>

#include "base/error.h"
#include "engine/jet_errors.h"
#include "engine/sqlite/sqlite_library.h"
#include "engine/sqlite/sqlite_storage.h"
#include "platform/file_copy.h"
#include "platform/file_system.h"

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
  ConfigureSqliteLibrary();
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

// The start of the unix VFS's file object, whose layout has stayed the same
// across SQLite's releases: its methods, its VFS, its lock record, and the
// descriptor it reads the file through.
struct UnixFileStart {
  const sqlite3_io_methods* methods;
  sqlite3_vfs* vfs;
  void* inode;
  int fd;
};

// The descriptor through which the connection reads its main database
// file at `path`, or -1 when that cannot be told for certain. Copying
// through SQLite's own descriptor matters: closing any other descriptor of
// the file would drop every lock this process holds on it, the read lock
// the copy relies on among them. The descriptor is taken only when the
// connection's VFS is a unix one whose file object names that very VFS, and
// the descriptor is of the file at `path`.
int SqliteDescriptor(sqlite3* db, const std::string& path) {
  sqlite3_vfs* vfs = nullptr;
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_VFS_POINTER, &vfs) != SQLITE_OK ||
      sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
      vfs == nullptr || file == nullptr || file->pMethods == nullptr ||
      std::strncmp(vfs->zName, "unix", 4) != 0) {
    return -1;
  }
  const auto* start = reinterpret_cast<const UnixFileStart*>(file);
  if (start->vfs != vfs || start->fd < 0) return -1;
  struct stat held {};
  struct stat named {};
  if (::fstat(start->fd, &held) != 0 || ::stat(path.c_str(), &named) != 0 ||
      !S_ISREG(held.st_mode) || held.st_dev != named.st_dev || held.st_ino != named.st_ino) {
    return -1;
  }
  return start->fd;
}

// Whether the file's header says it keeps a rollback journal (bytes 18 and
// 19 are 1; 2 is WAL), read through SQLite's own handle.
bool KeepsRollbackJournal(sqlite3* db) {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
      file == nullptr || file->pMethods == nullptr) {
    return false;
  }
  std::array<unsigned char, 100> header{};
  if (file->pMethods->xRead(file, header.data(), header.size(), 0) != SQLITE_OK) return false;
  return header[18] == 1 && header[19] == 1;
}

// A failure to read the source, named after it.
Error ReadFailure(sqlite3* db, const std::string& from, const std::string& to) {
  const int rc = sqlite3_extended_errcode(db);
  if (rc == SQLITE_READONLY_ROLLBACK) {
    return Error(err::kCannotOpen,
                 "Cannot copy database '" + from +
                     "': it holds a change that did not finish (its journal is beside it). "
                     "Opening it once rolls the change back",
                 Quoted(from));
  }
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      return StepFailure(rc & 0xFF, from, to);
    default:
      return MakeError(err::kCannotOpen, {from}, Quoted(from));
  }
}

// A descriptor of the destination's temporary, closed when it goes out of
// scope (it holds no lock whose loss would matter).
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// Copies the file at `from` as a new file `to` while a read transaction
// holds it. False, having created nothing, when the file's bytes alone are
// not the database (WAL) or SQLite's descriptor cannot be told: the online
// backup copies it then.
bool CopyFileWhileRead(const std::string& from, const std::string& to) {
  Connection source;
  OpenConnection(source, from, SQLITE_OPEN_READONLY);
  // The count reads the schema, which takes the read lock (waiting out a
  // writer that is committing) and rolls back nothing: a file left with a
  // journal to roll back fails here, as it cannot be rolled back read-only.
  if (sqlite3_exec(source.db, "BEGIN; SELECT count(*) FROM sqlite_schema", nullptr, nullptr,
                   nullptr) != SQLITE_OK) {
    throw ReadFailure(source.db, from, to);
  }
  if (!KeepsRollbackJournal(source.db)) return false;
  const int fd = SqliteDescriptor(source.db, from);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0) throw MakeError(err::kCannotOpen, {from}, Quoted(from));

  platform::FileBuiltBeside built(to);
  try {
    Descriptor out{::open(built.Path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644)};
    if (out.fd < 0) throw MakeError(err::kCannotOpen, {to}, Quoted(to));
    built.Lock();
    const platform::CopyOutcome copied =
        platform::CopyFileBytes(fd, out.fd, static_cast<std::uint64_t>(st.st_size));
    const bool closed = ::close(std::exchange(out.fd, -1)) == 0;
    if (copied.error != 0 || !closed) throw MakeError(err::kCannotOpen, {to}, Quoted(to));
    if (!built.PlaceWithoutReplacing()) throw MakeError(err::kDatabaseExists, Quoted(to));
  } catch (const Error& e) {
    if (e.Number() == err::kDatabaseExists || e.Number() == err::kCannotOpen) throw;
    throw MakeError(err::kCannotOpen, {to}, Quoted(to));
  }
  return true;  // closing the connection ends the read transaction
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
  if (target == CopyTarget::kNew && CopyFileWhileRead(from, to)) return;

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
