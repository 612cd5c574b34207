// Rows and query checks in a SQLite file. Rows are addressed by rowid.
#include <sqlite3.h>

#include <cctype>

#include "base/error.h"
#include "base/names.h"
#include "engine/jet_errors.h"
#include "engine/sqlite/sqlite_storage.h"

namespace actualiz::engine {

namespace {

std::string TrimmedStatement(std::string_view sql) {
  size_t b = 0, e = sql.size();
  while (b < e && std::isspace(static_cast<unsigned char>(sql[b]))) ++b;
  while (e > b && (std::isspace(static_cast<unsigned char>(sql[e - 1])) || sql[e - 1] == ';')) --e;
  return std::string(sql.substr(b, e - b));
}

std::string FirstWord(const std::string& sql) {
  std::string word;
  for (char c : sql) {
    if (!std::isalpha(static_cast<unsigned char>(c))) break;
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return word;
}

// The statement as prepared, or the Error its failure means for a stored
// query or a record set's condition. The caller finalizes it.
// With `accept_unresolved`, a statement that parses but names a table,
// column or function the file lacks yet gives nullptr instead of failing.
sqlite3_stmt* Compile(sqlite3* db, const std::string& sql, const std::string& shown,
                      const std::string& where, bool accept_unresolved = false) {
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  const int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail);
  if (rc == SQLITE_OK) {
    if (!TrimmedStatement(tail).empty()) {
      sqlite3_finalize(stmt);
      throw MakeError(err::kCharactersAfterEnd, where);
    }
    return stmt;
  }
  const std::string reason = sqlite3_errmsg(db);
  if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED) {
    throw Error(err::kFileInUse, reason, where);
  }
  if (accept_unresolved) {
    for (const char* unresolved : {"no such table: ", "no such column: ", "no such function: "}) {
      if (reason.rfind(unresolved, 0) == 0) return nullptr;
    }
  }
  const std::string no_table = "no such table: ";
  if (reason.rfind(no_table, 0) == 0) {
    throw MakeError(err::kInputTableNotFound, {reason.substr(no_table.size())}, where);
  }
  throw Error(err::kSyntaxErrorInQuery,
              ErrorText(err::kSyntaxErrorInQuery, {shown}) + " (" + reason + ")", where);
}

bool OrdersRows(const std::string& tail) {
  const std::string folded = FoldCase(tail);
  size_t at = folded.find("order");
  while (at != std::string::npos) {
    size_t next = at + 5;
    while (next < folded.size() && std::isspace(static_cast<unsigned char>(folded[next]))) ++next;
    if (folded.compare(next, 2, "by") == 0) return true;
    at = folded.find("order", at + 1);
  }
  return false;
}

}  // namespace

void SqliteStorage::CheckQuery(const std::string& sql) {
  const std::string statement = TrimmedStatement(sql);
  const std::string where = In("the query");
  static constexpr const char* kKinds[] = {"SELECT",    "INSERT",    "UPDATE",     "DELETE",
                                           "PROCEDURE", "TRANSFORM", "PARAMETERS", "WITH",
                                           "CREATE",    "DROP",      "ALTER"};
  const std::string kind = FirstWord(statement);
  bool known = false;
  for (const char* k : kKinds) known = known || kind == k;
  if (!known) throw MakeError(err::kInvalidSqlStatement, where);
  // Preparing compiles the statement against the schema without running it.
  // A stored query may name a table or another query that comes later, so
  // only the statement itself has to be sound.
  sqlite3_finalize(Compile(db_, statement, statement, where, true));
}

std::vector<std::int64_t> SqliteStorage::SelectKeys(const std::string& table,
                                                    const std::string& tail) {
  const std::string where = In("table '" + table + "'");
  GroupHandOffReads();
  std::string sql = "SELECT rowid FROM " + QuoteIdentifier(table) + " " + tail;
  if (!OrdersRows(tail)) sql += " ORDER BY rowid";
  sqlite3_stmt* stmt = Compile(db_, sql, TrimmedStatement(tail), where);
  std::vector<std::int64_t> keys;
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) keys.push_back(sqlite3_column_int64(stmt, 0));
  sqlite3_finalize(stmt);
  if (rc != SQLITE_DONE) Fail(rc, where);
  return keys;
}

std::optional<Row> SqliteStorage::ReadRow(const std::string& table,
                                          const std::vector<ColumnInfo>& columns,
                                          std::int64_t key) {
  GroupHandOffReads();
  std::string list;
  for (const auto& c : columns) list += (list.empty() ? "" : ", ") + QuoteIdentifier(c.name);
  if (list.empty()) list = "1";
  auto stmt = Prepare("SELECT " + list + " FROM " + QuoteIdentifier(table) + " WHERE rowid = ?",
                      In("table '" + table + "'"));
  stmt.Bind(1, key);
  if (!stmt.Step()) return std::nullopt;
  Row row;
  row.reserve(columns.size());
  for (size_t i = 0; i < columns.size(); ++i) {
    row.push_back(stmt.Get(static_cast<int>(i), columns[i].type));
  }
  return row;
}

std::int64_t SqliteStorage::InsertRow(const std::string& table,
                                      const std::vector<std::string>& columns, const Row& values) {
  if (read_only_) throw MakeError(err::kReadOnly, In("table '" + table + "'"));
  GroupHandOffRows();
  std::string sql = "INSERT INTO " + QuoteIdentifier(table);
  if (columns.empty()) {
    sql += " DEFAULT VALUES";
  } else {
    std::string names, marks;
    for (const auto& c : columns) {
      names += (names.empty() ? "" : ", ") + QuoteIdentifier(c);
      marks += marks.empty() ? "?" : ", ?";
    }
    sql += " (" + names + ") VALUES (" + marks + ")";
  }
  auto stmt = Prepare(sql, In("table '" + table + "'"));
  for (size_t i = 0; i < values.size(); ++i) stmt.Bind(static_cast<int>(i + 1), values[i]);
  stmt.Step();
  return sqlite3_last_insert_rowid(db_);
}

void SqliteStorage::UpdateRow(const std::string& table, std::int64_t key,
                              const std::vector<std::string>& columns, const Row& values) {
  if (read_only_) throw MakeError(err::kReadOnly, In("table '" + table + "'"));
  GroupHandOffRows();
  if (columns.empty()) return;
  std::string set;
  for (const auto& c : columns) set += (set.empty() ? "" : ", ") + QuoteIdentifier(c) + " = ?";
  auto stmt = Prepare("UPDATE " + QuoteIdentifier(table) + " SET " + set + " WHERE rowid = ?",
                      In("table '" + table + "'"));
  for (size_t i = 0; i < values.size(); ++i) stmt.Bind(static_cast<int>(i + 1), values[i]);
  stmt.Bind(static_cast<int>(values.size() + 1), key);
  stmt.Step();
}

void SqliteStorage::DeleteRow(const std::string& table, std::int64_t key) {
  if (read_only_) throw MakeError(err::kReadOnly, In("table '" + table + "'"));
  GroupHandOffRows();
  auto stmt = Prepare("DELETE FROM " + QuoteIdentifier(table) + " WHERE rowid = ?",
                      In("table '" + table + "'"));
  stmt.Bind(1, key);
  stmt.Step();
}

}  // namespace actualiz::engine
