#include "engine/sqlite/sqlite_storage.h"

#include <sqlite3.h>

#include <cassert>
#include <charconv>
#include <filesystem>
#include <utility>

#include "base/error.h"
#include "base/names.h"
#include "engine/engine.h"
#include "engine/field_types.h"
#include "engine/jet_errors.h"
#include "engine/sqlite/sqlite_library.h"
#include "engine/sqlite/sqlite_session.h"

namespace actualiz::engine {

namespace {

constexpr int kBusyTimeoutMs = 3000;
// Each change of a group runs inside this savepoint.
constexpr const char* kChangeSavepoint = "actualiz_change";

// Turns "3201|You cannot add..." raised by one of the engine's relation
// triggers into its number and text; false for any other message.
bool ParseTriggerMessage(const std::string& message, int& number, std::string& text) {
  const size_t bar = message.find('|');
  if (bar == std::string::npos || bar == 0) return false;
  auto [ptr, ec] = std::from_chars(message.data(), message.data() + bar, number);
  if (ec != std::errc() || ptr != message.data() + bar) return false;
  text = message.substr(bar + 1);
  return true;
}

std::optional<FileIdentity> IdentityOf(const std::string& host_path) {
  const std::optional<FileStat> file = StatFile(host_path);
  if (!file) return std::nullopt;
  return file->identity;
}

}  // namespace

std::string QuoteIdentifier(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

std::string QuoteLiteral(std::string_view text) { return QuotedLiteral(text); }

// ---- connection ----

SqliteStorage::SqliteStorage(SessionState& session, sqlite3* db, std::string name, bool read_only)
    : session_(session), db_(db), name_(std::move(name)), read_only_(read_only) {}

SqliteStorage::~SqliteStorage() {
  for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
  sqlite3_close_v2(db_);
}

bool SqliteStorage::Idle() const {
  if (in_change_ || !identity_ || sqlite3_get_autocommit(db_) == 0) return false;
  for (sqlite3_stmt* stmt = sqlite3_next_stmt(db_, nullptr); stmt != nullptr;
       stmt = sqlite3_next_stmt(db_, stmt)) {
    if (sqlite3_stmt_busy(stmt)) return false;
  }
  return true;
}

void SqliteStorage::Retire(std::unique_ptr<Storage> self) {
  static_cast<void>(self.release());  // `self` is this storage
  SqliteState(session_).idle.Keep(std::unique_ptr<SqliteStorage>(this));
}

std::unique_ptr<SqliteStorage> SqliteStorage::Reuse(SessionState& session,
                                                    const std::string& host_path,
                                                    const std::string& name, bool read_only) {
  std::unique_ptr<SqliteStorage> storage = SqliteState(session).idle.Take(host_path, read_only);
  if (!storage) return nullptr;
  storage->name_ = name;
  try {
    // The first read: SQLite checks the file's change counter and our copy
    // of the schema is brought up to date if another connection changed it.
    storage->Describe();
  } catch (const Error& e) {
    // A file another process keeps locked is as locked for a new
    // connection; anything else the fresh open tells in its own words.
    if (e.Number() == err::kFileInUse) throw;
    return nullptr;
  }
  return storage;
}

std::unique_ptr<SqliteStorage> SqliteStorage::Open(Session& session, const std::string& host_path,
                                                   const std::string& name, bool read_only) {
  if (auto kept = Reuse(session.State(), host_path, name, read_only)) return kept;
  ConfigureSqliteLibrary();
  sqlite3* db = nullptr;
  const int flags = (read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) |
                    SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE;
  const std::optional<FileIdentity> before = IdentityOf(host_path);
  const int rc = sqlite3_open_v2(host_path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db);
    throw MakeError(err::kCannotOpen, {name}, "'" + name + "'");
  }
  // SQLite opens a file it may not write read-only without saying so.
  const bool opened_read_only = read_only || sqlite3_db_readonly(db, "main") == 1;
  std::unique_ptr<SqliteStorage> storage(
      new SqliteStorage(session.State(), db, name, opened_read_only));
  storage->requested_read_only_ = read_only;
  // The same inode at the path before and after SQLite opened it is the one
  // SQLite holds open; if the path changed hands in between, we cannot know.
  const std::optional<FileIdentity> after = IdentityOf(host_path);
  storage->NoteIdentity(host_path, before == after ? after : std::nullopt);
  // Configuring and reading the schema are the first real reads: they tell
  // a damaged file (3343) and a locked one (3045).
  try {
    storage->Configure();
    storage->Describe();
  } catch (const Error& e) {
    if (e.Number() == err::kCannotOpen) {
      throw MakeError(err::kUnrecognizedFormat, {name}, "'" + name + "'");
    }
    throw;
  }
  return storage;
}

std::unique_ptr<SqliteStorage> SqliteStorage::Create(Session& session, const std::string& host_path,
                                                     const std::string& name) {
  ConfigureSqliteLibrary();
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXCLUSIVE |
                    SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_PRIVATECACHE;
  const int rc = sqlite3_open_v2(host_path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db);
    std::error_code ignored;
    std::filesystem::remove(host_path, ignored);
    throw MakeError(err::kCannotOpen, {name}, "'" + name + "'");
  }
  std::unique_ptr<SqliteStorage> storage(new SqliteStorage(session.State(), db, name, false));
  // SQLite created the file exclusively: the inode at the path is its own.
  storage->NoteIdentity(host_path, IdentityOf(host_path));
  try {
    storage->Configure();
    storage->Change([](const Schema&) {});
  } catch (...) {
    storage.reset();
    std::error_code ignored;
    std::filesystem::remove(host_path, ignored);
    throw;
  }
  return storage;
}

void SqliteStorage::NoteIdentity(const std::string& host_path,
                                 std::optional<FileIdentity> identity) {
  host_path_ = host_path;
  identity_ = identity;
}

void SqliteStorage::Configure() {
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db_, 1);
  if (!read_only_) {
    // A rollback journal leaves no file beside the database between
    // changes; FULL makes each commit durable. A hand-off file keeps the
    // journal, so its commits stay whole, without waiting for the disk.
    Execute("PRAGMA journal_mode=DELETE", In("the database"));
    hand_off_ = session_.hand_off.Contains(host_path_);
    Execute(hand_off_ ? "PRAGMA synchronous=OFF" : "PRAGMA synchronous=FULL", In("the database"));
  }
}

std::string SqliteStorage::In(const std::string& what) const {
  return what + " in '" + name_ + "'";
}

void SqliteStorage::Fail(int rc, const std::string& context) const {
  const std::string message = sqlite3_errmsg(db_);
  const std::string where = context.empty() ? "'" + name_ + "'" : context;
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      throw MakeError(err::kFileInUse, {name_}, where);
    case SQLITE_READONLY:
      throw MakeError(err::kReadOnly, where);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      throw MakeError(err::kCannotOpen, {name_}, where);
    case SQLITE_CONSTRAINT: {
      int number = 0;
      std::string jet_text;
      if (ParseTriggerMessage(message, number, jet_text)) throw Error(number, jet_text, where);
      if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY) {
        throw MakeError(err::kDuplicateValues, where);
      }
      if (rc == SQLITE_CONSTRAINT_NOTNULL) {
        throw MakeError(err::kRequiredNull, {message}, where);
      }
      break;
    }
    default:
      break;
  }
  throw Error(err::kReservedError,
              ErrorText(err::kReservedError) + " (" + std::to_string(rc) + "): " + message, where);
}

SqliteStatement SqliteStorage::Prepare(const std::string& sql, std::string context) {
  sqlite3_stmt*& stmt = statements_[sql];
  if (stmt == nullptr) {
    const int rc = sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) {
      statements_.erase(sql);
      Fail(rc, context);
    }
  }
  return SqliteStatement(*this, stmt, std::move(context));
}

void SqliteStorage::Execute(const std::string& sql, const std::string& context) {
  const char* rest = sql.c_str();
  while (*rest != '\0') {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db_, rest, -1, &stmt, &rest);
    if (rc != SQLITE_OK) Fail(rc, context);
    if (stmt == nullptr) break;  // only white space or a comment was left
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) Fail(rc, context);
  }
}

// ---- statements ----

SqliteStatement::SqliteStatement(SqliteStorage& storage, sqlite3_stmt* stmt, std::string context)
    : storage_(storage), stmt_(stmt), context_(std::move(context)) {}

SqliteStatement::~SqliteStatement() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

void SqliteStatement::Bind(int index, const Value& value) {
  const auto& v = value.variant();
  if (std::holds_alternative<Null>(v)) {
    sqlite3_bind_null(stmt_, index);
  } else if (auto* b = std::get_if<bool>(&v)) {
    sqlite3_bind_int64(stmt_, index, *b ? 1 : 0);
  } else if (auto* i = std::get_if<std::int64_t>(&v)) {
    sqlite3_bind_int64(stmt_, index, *i);
  } else if (auto* d = std::get_if<double>(&v)) {
    sqlite3_bind_double(stmt_, index, *d);
  } else if (auto* s = std::get_if<std::string>(&v)) {
    sqlite3_bind_text64(stmt_, index, s->data(), s->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  } else if (auto* bytes = std::get_if<Bytes>(&v)) {
    // An empty vector may have no data pointer, and SQLite binds a null
    // pointer as Null: empty bytes must stay distinct from no value.
    if (bytes->empty()) {
      sqlite3_bind_zeroblob(stmt_, index, 0);
    } else {
      sqlite3_bind_blob64(stmt_, index, bytes->data(), bytes->size(), SQLITE_TRANSIENT);
    }
  }
}

void SqliteStatement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

void SqliteStatement::Bind(int index, const std::string& text) { Bind(index, Value(text)); }
void SqliteStatement::Bind(int index, std::int64_t number) {
  sqlite3_bind_int64(stmt_, index, number);
}

bool SqliteStatement::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  storage_.Fail(rc, context_);
}

std::int64_t SqliteStatement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string SqliteStatement::Text(int column) const { return std::string(TextView(column)); }

std::string_view SqliteStatement::TextView(int column) const {
  const auto* p = sqlite3_column_text(stmt_, column);
  if (p == nullptr) return {};
  return std::string_view(reinterpret_cast<const char*>(p),
                          static_cast<size_t>(sqlite3_column_bytes(stmt_, column)));
}

bool SqliteStatement::IsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

Value SqliteStatement::Get(int column, int type) const {
  switch (sqlite3_column_type(stmt_, column)) {
    case SQLITE_NULL:
      return Null{};
    case SQLITE_INTEGER: {
      const std::int64_t n = sqlite3_column_int64(stmt_, column);
      if (type == dbBoolean) return n != 0;
      if (type == dbCurrency || type == dbSingle || type == dbDouble || type == dbDate) {
        return static_cast<double>(n);
      }
      if (IsTextual(type) || type == dbGUID) return Text(column);
      return n;
    }
    case SQLITE_FLOAT: {
      const double d = sqlite3_column_double(stmt_, column);
      if (type == dbBoolean) return d != 0.0;
      return d;
    }
    case SQLITE_BLOB: {
      const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
      const int n = sqlite3_column_bytes(stmt_, column);
      return Bytes(p, p + n);
    }
    default:
      return Text(column);
  }
}

// ---- changes ----

void SqliteStorage::RequireChange() const {
  assert(in_change_ && "schema operations run inside Change");
}

void SqliteStorage::Change(const std::function<void(const Schema&)>& change) {
  if (read_only_) throw MakeError(err::kReadOnly, "'" + name_ + "'");
  assert(!in_change_);
  if (held_lost_) {
    throw Error(
        held_lost_->Number(), held_lost_->Text(),
        "'" + name_ + "': nothing more is changed here until the commit; " + held_lost_->Context());
  }
  const bool grouped = group_open_ || held_ || session_.groups.Active();
  if (!group_open_) {
    Execute("BEGIN IMMEDIATE", In("the database"));
    group_open_ = grouped;
  }
  const std::string savepoint = kChangeSavepoint;
  if (grouped) Execute("SAVEPOINT " + savepoint, In("the database"));
  in_change_ = true;
  changed_tables_.clear();
  relations_changed_ = false;
  queries_changed_ = false;
  patches_.clear();
  try {
    EnsureEngineTables();
    change(*Describe());
    Execute(grouped ? "RELEASE " + savepoint : "COMMIT", In("the database"));
  } catch (const Error& e) {
    if (AbandonChange(grouped)) throw GroupLost(e);
    throw;
  } catch (...) {
    if (AbandonChange(grouped)) throw GroupLost(MakeError(err::kReservedError, In("the database")));
    throw;
  }
  in_change_ = false;
  // The change is stored; what remains is our copy of the schema. It keeps
  // the data version read inside the change, so a commit of another
  // connection since then still makes the next Describe read it whole. If
  // reading fails now, the copy is dropped and that next Describe reads the
  // file again and reports the failure.
  try {
    RefreshAfterChange();
  } catch (...) {
    schema_.reset();
  }
}

void SqliteStorage::GroupHandOffRows() {
  if (!hand_off_ || !session_.groups.Active() || in_change_ || group_open_) return;
  Execute("BEGIN IMMEDIATE", In("the database"));
  group_open_ = true;
}

void SqliteStorage::GroupHandOffReads() {
  if (!hand_off_ || !session_.groups.Active() || in_change_ || group_open_) return;
  Execute("BEGIN", In("the database"));
  group_open_ = true;
}

bool SqliteStorage::AbandonChange(bool grouped) {
  in_change_ = false;
  schema_.reset();
  const std::string undo =
      "ROLLBACK TO " + std::string(kChangeSavepoint) + "; RELEASE " + std::string(kChangeSavepoint);
  if (grouped && !sqlite3_get_autocommit(db_) &&
      sqlite3_exec(db_, undo.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK) {
    return false;  // the failed change alone is undone; the group goes on
  }
  // A change of its own, or a group SQLite ended (an I/O error, a full
  // disk): the whole transaction goes.
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  group_open_ = false;
  return grouped;
}

Error SqliteStorage::GroupLost(const Error& failure) {
  const std::string since = held_ ? "the last commit" : "'" + name_ + "' was opened";
  Error lost(
      failure.Number(), failure.Text(),
      failure.Context() + "; the changes made before it since " + since + " were undone too");
  if (held_) held_lost_ = lost;
  return lost;
}

void SqliteStorage::CommitGroup() {
  if (held_ || !group_open_) return;
  group_open_ = false;
  const int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) return;
  // The Error is made before the rollback, which would replace SQLite's
  // message.
  try {
    Fail(sqlite3_extended_errcode(db_),
         In("storing the changes made since the database was opened (none was kept)"));
  } catch (...) {
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    schema_.reset();
    throw;
  }
}

void SqliteStorage::HoldUntilCommit() {
  held_ = true;
  if (group_open_ || !sqlite3_get_autocommit(db_)) return;
  // Deferred: the first read takes the read lock, the first change the
  // write lock, and both are kept until the commit.
  Execute("BEGIN", In("the database"));
  group_open_ = true;
}

void SqliteStorage::CommitHeld() {
  held_ = false;
  if (held_lost_) {
    const Error lost = *std::exchange(held_lost_, std::nullopt);
    throw Error(lost.Number(), lost.Text(),
                "'" + name_ + "': none of the changes held since the last commit was kept; " +
                    lost.Context());
  }
  CommitGroup();
}

void SqliteStorage::RollBackHeld() {
  held_ = false;
  held_lost_.reset();
  if (!group_open_) return;
  group_open_ = false;
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  schema_.reset();
}

}  // namespace actualiz::engine
