#include "engine/accessfile/jet_storage.h"

#include "engine/accessfile/jet_create.h"
#include "engine/accessfile/jet_writer.h"
#include "engine/session.h"

#include <sqlite3.h>

#include <cstring>

#include "base/error.h"
#include "base/names.h"
#include "engine/engine.h"
#include "engine/jet_errors.h"
#include "engine/sqlite/sqlite_library.h"

namespace actualiz::engine {

namespace {

constexpr char kJetSignature[] = "Standard Jet DB";
constexpr char kAceSignature[] = "Standard ACE DB";

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

std::string QuoteName(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

// SQLite over a copy of one table's rows, to apply a where/order tail.
class RowsInMemory {
 public:
  RowsInMemory() {
    ConfigureSqliteLibrary();
    if (sqlite3_open(":memory:", &db_) != SQLITE_OK) {
      throw Error(err::kCannotOpen, "Cannot open a work area in memory.");
    }
  }
  ~RowsInMemory() { sqlite3_close(db_); }
  RowsInMemory(const RowsInMemory&) = delete;
  RowsInMemory& operator=(const RowsInMemory&) = delete;

  void Load(const TableInfo& table, const std::vector<jet::JetRow>& rows) {
    std::string columns, marks;
    for (const ColumnInfo& c : table.columns) {
      columns += (columns.empty() ? "" : ", ") + QuoteName(c.name) +
                 (c.type == dbText || c.type == dbMemo ? " COLLATE NOCASE" : "");
      marks += marks.empty() ? "?" : ", ?";
    }
    Run("CREATE TABLE " + QuoteName(table.name) + " (" + columns + ")");
    Run("BEGIN");
    sqlite3_stmt* insert =
        Prepare("INSERT INTO " + QuoteName(table.name) + " VALUES (" + marks + ")");
    for (const jet::JetRow& row : rows) {
      for (std::size_t i = 0; i < row.size(); ++i) Bind(insert, static_cast<int>(i + 1), row[i]);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    Run("COMMIT");
  }

  std::vector<std::int64_t> Keys(const std::string& table, const std::string& tail,
                                 const std::string& context) {
    sqlite3_stmt* select = nullptr;
    const std::string sql = "SELECT rowid FROM " + QuoteName(table) + " " + tail;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &select, nullptr) != SQLITE_OK) {
      const std::string message = sqlite3_errmsg(db_);
      throw MakeError(err::kSyntaxErrorInQuery, {tail}, context + ": " + message);
    }
    std::vector<std::int64_t> keys;
    while (sqlite3_step(select) == SQLITE_ROW) keys.push_back(sqlite3_column_int64(select, 0));
    sqlite3_finalize(select);
    return keys;
  }

 private:
  void Run(const std::string& sql) { sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr); }
  sqlite3_stmt* Prepare(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr);
    return stmt;
  }
  static void Bind(sqlite3_stmt* stmt, int at, const Value& value) {
    std::visit(
        [&](const auto& v) {
          using T = std::decay_t<decltype(v)>;
          if constexpr (std::is_same_v<T, Null>) {
            sqlite3_bind_null(stmt, at);
          } else if constexpr (std::is_same_v<T, bool>) {
            sqlite3_bind_int(stmt, at, v ? 1 : 0);
          } else if constexpr (std::is_same_v<T, std::int64_t>) {
            sqlite3_bind_int64(stmt, at, v);
          } else if constexpr (std::is_same_v<T, double>) {
            sqlite3_bind_double(stmt, at, v);
          } else if constexpr (std::is_same_v<T, std::string>) {
            sqlite3_bind_text(stmt, at, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
          } else {
            sqlite3_bind_blob(stmt, at, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
          }
        },
        value.variant());
  }
  sqlite3* db_ = nullptr;
};

}  // namespace

bool IsAccessHeader(const unsigned char* header, std::size_t size) {
  if (size < 4 + sizeof kJetSignature) return false;
  if (header[0] != 0 || header[1] != 1 || header[2] != 0 || header[3] != 0) return false;
  return std::memcmp(header + 4, kJetSignature, sizeof kJetSignature) == 0 ||
         std::memcmp(header + 4, kAceSignature, sizeof kAceSignature) == 0;
}

JetStorage::JetStorage(std::shared_ptr<SessionState> session, std::shared_ptr<jet::JetEdit> edit,
                       bool held, bool read_only)
    : session_(std::move(session)), edit_(std::move(edit)), held_(held), read_only_(read_only) {}

std::unique_ptr<JetStorage> JetStorage::Open(Session& session, const std::string& host_path,
                                             const std::string& name, bool read_only) {
  jet::HeldJetEdits& held = jet::HeldEdits(session.State());
  // A read-only open of a held file reads it as the held changes leave it.
  if (held.Holding() && (!read_only || held.Has(host_path))) {
    return std::unique_ptr<JetStorage>(
        new JetStorage(session.SharedState(), held.Edit(host_path, name), true, read_only));
  }
  return std::unique_ptr<JetStorage>(new JetStorage(
      session.SharedState(), std::make_shared<jet::JetEdit>(host_path, name), false, read_only));
}

// A database dropped without Close cannot report a failure to put its
// grouped changes in place; its session keeps it for the batch to ask.
JetStorage::~JetStorage() {
  if (held_ || !edit_->Pending()) return;
  try {
    edit_->Store();
  } catch (const Error& e) {
    session_->groups.KeepUnreported(e);
  }
}

void JetStorage::Finish() {
  if (!held_) edit_->Store();
}

void JetStorage::RefuseWrite(const std::string& change) const {
  throw Error(err::kReadOnly,
              ErrorText(err::kReadOnly) + " '" + edit_->Name() + "': " + change +
                  " is not supported yet; convert it with `import`.",
              "'" + edit_->Name() + "'");
}

// The change runs over the edit's bytes; the operations it asks for change
// them, and a refused one (or any failure) puts them back whole. Outside a
// group the change is put in place before Change returns.
void JetStorage::Change(const std::function<void(const Schema&)>& change) {
  if (read_only_) throw MakeError(err::kReadOnly, "'" + edit_->Name() + "'");
  const std::shared_ptr<const Schema> schema = edit_->Described();
  edit_->Apply([&](std::vector<std::uint8_t>& bytes, std::vector<jet::TableChange>& changes) {
    bytes_ = &bytes;
    changes_ = &changes;
    try {
      change(*schema);
    } catch (...) {
      bytes_ = nullptr;
      changes_ = nullptr;
      throw;
    }
    bytes_ = nullptr;
    changes_ = nullptr;
  });
  if (!held_ && !session_->groups.Active()) edit_->Store();
}

void JetStorage::AddColumn(const std::string& table, const ColumnInfo& column) {
  if (!bytes_) RefuseWrite("adding fields outside a change to");
  jet::AddColumn(*bytes_, edit_->Name(), table, column);
  for (jet::TableChange& change : *changes_) {
    if (SameNameIgnoringCase(change.table, table)) {
      change.added.push_back(column);
      return;
    }
  }
  jet::TableChange change;
  change.table = table;
  change.added = {column};
  changes_->push_back(std::move(change));
}

void JetStorage::CreateTable(const TableInfo& table) {
  if (!bytes_) RefuseWrite("adding tables outside a change to");
  // The table goes in with its fields; indexes are not written yet.
  if (!table.indexes.empty()) RefuseWrite("changing indexes of an Access file");
  jet::CreateTable(*bytes_, edit_->Name(), table);
  jet::TableChange change;
  change.table = table.name;
  change.added = table.columns;
  change.created = true;
  changes_->push_back(std::move(change));
}
void JetStorage::DropTable(const std::string&) {
  RefuseWrite("removing tables from an Access file");
}
void JetStorage::DropColumn(const std::string&, const std::string&) {
  RefuseWrite("removing fields from an Access file");
}
void JetStorage::CreateIndex(const std::string&, const IndexInfo&) {
  RefuseWrite("changing indexes of an Access file");
}
void JetStorage::DropIndex(const std::string&, const std::string&) {
  RefuseWrite("changing indexes of an Access file");
}
void JetStorage::CreateRelation(const RelationInfo&) {
  RefuseWrite("changing relations of an Access file");
}
void JetStorage::DropRelation(const std::string&) {
  RefuseWrite("changing relations of an Access file");
}
void JetStorage::CreateQuery(const QueryInfo&) {
  RefuseWrite("changing stored queries of an Access file");
}
void JetStorage::DropQuery(const std::string&) {
  RefuseWrite("changing stored queries of an Access file");
}
void JetStorage::CheckQuery(const std::string&) {
  RefuseWrite("changing stored queries of an Access file");
}
std::int64_t JetStorage::InsertRow(const std::string&, const std::vector<std::string>&,
                                   const Row&) {
  RefuseWrite("changing rows of an Access file");
}
void JetStorage::UpdateRow(const std::string&, std::int64_t, const std::vector<std::string>&,
                           const Row&) {
  RefuseWrite("changing rows of an Access file");
}
void JetStorage::DeleteRow(const std::string&, std::int64_t) {
  RefuseWrite("changing rows of an Access file");
}

const jet::JetTable& JetStorage::Table(const std::string& name) const {
  for (const jet::JetTable& t : edit_->Catalog().tables) {
    if (SameNameIgnoringCase(t.info.name, name)) return t;
  }
  throw MakeError(err::kTableNotFound, {name}, "'" + edit_->Name() + "'");
}

std::vector<std::int64_t> JetStorage::SelectKeys(const std::string& table,
                                                 const std::string& tail) {
  const jet::JetTable& t = Table(table);
  const auto& rows = edit_->Rows(t);
  if (tail.find_first_not_of(" \t\r\n") == std::string::npos) {
    std::vector<std::int64_t> keys(rows.size());
    for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = static_cast<std::int64_t>(i + 1);
    return keys;
  }
  RowsInMemory memory;
  memory.Load(t.info, rows);
  return memory.Keys(t.info.name, tail, "table " + Quoted(table) + " in '" + edit_->Name() + "'");
}

std::optional<Row> JetStorage::ReadRow(const std::string& table,
                                       const std::vector<ColumnInfo>& columns, std::int64_t key) {
  const jet::JetTable& t = Table(table);
  const auto& rows = edit_->Rows(t);
  if (key < 1 || static_cast<std::size_t>(key) > rows.size()) return std::nullopt;
  const jet::JetRow& stored = rows[static_cast<std::size_t>(key - 1)];
  Row row;
  row.reserve(columns.size());
  for (const ColumnInfo& c : columns) {
    std::size_t at = 0;
    while (at < t.info.columns.size() && !SameNameIgnoringCase(t.info.columns[at].name, c.name))
      ++at;
    row.push_back(at < stored.size() ? stored[at] : Value());
  }
  return row;
}

}  // namespace actualiz::engine
