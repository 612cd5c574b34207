// Rows and query checks on the server. Rows are addressed by the hidden
// identity column "actualiz.key".
//
// A record source's condition ("where ...", "order by ...") is written in
// the engine's query language, which differs from the server's: names are
// bare or [bracketed] and compared without regard to case, text may be in
// double quotes. It is translated word by word: a name becomes the quoted
// stored name of the table's field, text becomes a literal in apostrophes,
// numbers, comparisons, parentheses and the words WHERE, ORDER BY, AND, OR,
// NOT, IS, NULL, IN, BETWEEN, ASC, DESC, TRUE and FALSE stay; anything else
// (LIKE and its wildcards, #dates#, functions, another table) fails with
// 3075 as a condition SQLite cannot compile does.
#include <cctype>

#include "base/error.h"
#include "base/names.h"
#include "engine/engine.h"
#include "engine/field_types.h"
#include "engine/postgres/pg_connection.h"
#include "engine/postgres/pg_storage.h"
#include "engine/postgres/pg_types.h"

namespace actualiz::engine {

namespace {

constexpr const char* kRowKey = "\"actualiz.key\"";

std::string TrimmedStatement(std::string_view sql) {
  size_t b = 0, e = sql.size();
  while (b < e && std::isspace(static_cast<unsigned char>(sql[b]))) ++b;
  while (e > b && (std::isspace(static_cast<unsigned char>(sql[e - 1])) || sql[e - 1] == ';')) --e;
  return std::string(sql.substr(b, e - b));
}

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// `tail` in the server's words, or the Error a condition it cannot run gives.
std::string TranslateTail(const std::string& tail, const TableInfo& table, bool& orders,
                          const std::string& where) {
  static constexpr const char* kKeywords[] = {"WHERE", "ORDER", "BY",   "AND",  "OR",
                                              "NOT",   "IS",    "NULL", "IN",   "BETWEEN",
                                              "ASC",   "DESC",  "TRUE", "FALSE"};
  const std::string shown = TrimmedStatement(tail);
  auto refuse = [&](const std::string& why) -> Error {
    return Error(err::kSyntaxErrorInQuery,
                 ErrorText(err::kSyntaxErrorInQuery, {shown}) + " (" + why + ")", where);
  };
  auto field = [&](const std::string& name) {
    const ColumnInfo* c = table.FindColumn(name);
    if (c == nullptr) throw refuse("no such column: " + name);
    return ConditionExpression(PgIdentifier(c->name), c->type);
  };
  std::string out;
  orders = false;
  // The engine's files sort Null before every value: each ordering item
  // says so, as the server's default is the other way round.
  bool in_order = false, item_desc = false;
  auto end_item = [&] {
    if (in_order) out += item_desc ? " NULLS LAST" : " NULLS FIRST";
    item_desc = false;
  };
  const std::string& s = shown;
  for (size_t i = 0; i < s.size();) {
    const char c = s[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    out += ' ';
    if (c == '\'' || c == '"') {
      std::string text;
      size_t j = i + 1;
      for (;; ++j) {
        if (j >= s.size()) throw refuse("unclosed text");
        if (s[j] == c) {
          if (j + 1 < s.size() && s[j + 1] == c) {
            text += c;
            ++j;
            continue;
          }
          break;
        }
        text += s[j];
      }
      out += "'";
      for (char t : text) out += t == '\'' ? std::string("''") : std::string(1, t);
      out += "'";
      i = j + 1;
    } else if (c == '[') {
      const size_t close = s.find(']', i);
      if (close == std::string::npos) throw refuse("unclosed bracket");
      out += field(s.substr(i + 1, close - i - 1));
      i = close + 1;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               (c == '.' && i + 1 < s.size() &&
                std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      size_t j = i;
      while (j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) || s[j] == '.')) ++j;
      out += s.substr(i, j - i);
      i = j;
    } else if (IsWordChar(c)) {
      size_t j = i;
      while (j < s.size() && IsWordChar(s[j])) ++j;
      const std::string word = s.substr(i, j - i);
      const std::string upper = Upper(word);
      bool keyword = false;
      for (const char* k : kKeywords) keyword = keyword || upper == k;
      if (keyword) {
        if (upper == "ORDER") orders = true;
        if (upper == "BY" && orders) in_order = true;
        if (upper == "DESC") item_desc = true;
        out += upper;
      } else {
        out += field(word);
      }
      i = j;
    } else {
      static constexpr const char* kOperators[] = {"<>", "<=", ">=", "=", "<", ">",
                                                   "(",  ")",  ",",  "-", "+"};
      bool matched = false;
      for (const char* op : kOperators) {
        const std::string_view o(op);
        if (s.compare(i, o.size(), o) == 0) {
          if (o == ",") end_item();
          out += o;
          i += o.size();
          matched = true;
          break;
        }
      }
      if (!matched) throw refuse(std::string("'") + c + "' is not understood here");
    }
  }
  end_item();
  if (!out.empty()) {
    const std::string first = Upper(out.substr(1, 5));
    if (first != "WHERE" && first != "ORDER") throw refuse("expected WHERE or ORDER BY");
  }
  return out;
}

}  // namespace

void PgStorage::CheckQuery(const std::string& sql) {
  const std::string statement = TrimmedStatement(sql);
  const std::string where = In("the query");
  static constexpr const char* kKinds[] = {"SELECT",    "INSERT",    "UPDATE",     "DELETE",
                                           "PROCEDURE", "TRANSFORM", "PARAMETERS", "WITH",
                                           "CREATE",    "DROP",      "ALTER"};
  std::string kind;
  for (char c : statement) {
    if (!std::isalpha(static_cast<unsigned char>(c))) break;
    kind += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  bool known = false;
  for (const char* k : kKinds) known = known || kind == k;
  if (!known) throw MakeError(err::kInvalidSqlStatement, where);
  // The statement is kept as written (it is the engine's query language,
  // not the server's): only one statement, with its quotes closed.
  char quote = 0;
  for (size_t i = 0; i < statement.size(); ++i) {
    const char c = statement[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"' || c == '[') {
      quote = c == '[' ? ']' : c;
    } else if (c == ';') {
      throw MakeError(err::kCharactersAfterEnd, where);
    }
  }
  if (quote != 0) {
    throw Error(err::kSyntaxErrorInQuery,
                ErrorText(err::kSyntaxErrorInQuery, {statement}) + " (unclosed quote)", where);
  }
}

std::vector<std::int64_t> PgStorage::SelectKeys(const std::string& table, const std::string& tail) {
  const std::string where = In("table '" + table + "'");
  bool orders = false;
  const std::string condition = TranslateTail(tail, TableOf(table), orders, where);
  std::string sql = std::string("SELECT ") + kRowKey + " FROM " + Qualified(table) + condition;
  sql += orders ? std::string(", ") + kRowKey : std::string(" ORDER BY ") + kRowKey;
  PgResult r = Exec(sql, {}, where);
  std::vector<std::int64_t> keys;
  keys.reserve(static_cast<size_t>(r.Rows()));
  for (int i = 0; i < r.Rows(); ++i) keys.push_back(r.Int(i, 0));
  return keys;
}

std::optional<Row> PgStorage::ReadRow(const std::string& table,
                                      const std::vector<ColumnInfo>& columns, std::int64_t key) {
  std::string list;
  for (const auto& c : columns) {
    list += (list.empty() ? "" : ", ") + ReadExpression(PgIdentifier(c.name), c.type);
  }
  if (list.empty()) list = "1";
  PgResult r = Exec("SELECT " + list + " FROM " + Qualified(table) + " WHERE " + kRowKey + " = $1",
                    {{std::to_string(key)}}, In("table '" + table + "'"));
  if (r.Rows() == 0) return std::nullopt;
  Row row;
  row.reserve(columns.size());
  for (size_t i = 0; i < columns.size(); ++i) {
    const int col = static_cast<int>(i);
    row.push_back(r.IsNull(0, col) ? Value(Null{}) : ValueOf(r.Text(0, col), columns[i].type));
  }
  return row;
}

std::int64_t PgStorage::InsertRow(const std::string& table, const std::vector<std::string>& columns,
                                  const Row& values) {
  const TableInfo& t = TableOf(table);
  const std::string where = In("table '" + table + "'");
  std::string sql = "INSERT INTO " + Qualified(table);
  std::vector<PgParam> params;
  if (columns.empty()) {
    sql += " DEFAULT VALUES";
  } else {
    std::string names, marks;
    for (size_t i = 0; i < columns.size(); ++i) {
      const ColumnInfo* c = t.FindColumn(columns[i]);
      const int type = c ? c->type : static_cast<int>(dbMemo);
      names += (names.empty() ? "" : ", ") + PgIdentifier(columns[i]);
      marks += (marks.empty() ? "" : ", ") + WriteExpression(static_cast<int>(i + 1), type);
      params.push_back(ParamOf(values[i], type));
    }
    sql += " (" + names + ") VALUES (" + marks + ")";
  }
  PgResult r = Write(sql + " RETURNING " + kRowKey, params, where, Op::kInsert);
  return r.Int(0, 0);
}

void PgStorage::UpdateRow(const std::string& table, std::int64_t key,
                          const std::vector<std::string>& columns, const Row& values) {
  if (columns.empty()) return;
  const TableInfo& t = TableOf(table);
  std::string set;
  std::vector<PgParam> params;
  for (size_t i = 0; i < columns.size(); ++i) {
    const ColumnInfo* c = t.FindColumn(columns[i]);
    const int type = c ? c->type : static_cast<int>(dbMemo);
    set += (set.empty() ? "" : ", ") + PgIdentifier(columns[i]) + " = " +
           WriteExpression(static_cast<int>(i + 1), type);
    params.push_back(ParamOf(values[i], type));
  }
  params.push_back({std::to_string(key)});
  write_table_ = table;
  Write("UPDATE " + Qualified(table) + " SET " + set + " WHERE " + kRowKey + " = $" +
            std::to_string(params.size()),
        params, In("table '" + table + "'"), Op::kUpdate);
}

void PgStorage::DeleteRow(const std::string& table, std::int64_t key) {
  Write("DELETE FROM " + Qualified(table) + " WHERE " + kRowKey + " = $1", {{std::to_string(key)}},
        In("table '" + table + "'"), Op::kDelete);
}

}  // namespace actualiz::engine
