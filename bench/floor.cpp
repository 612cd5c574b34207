// The floor of the batch benchmark: brings customer databases to their
// model's structure straight through SQLite, applying only the changes they
// need, one transaction per database (synchronous=FULL, rollback journal,
// as the engine writes).
//
// The result is what the batch leaves: the model's missing tables (its own
// CREATE TABLE text) and columns (ALTER TABLE ADD COLUMN with the model's
// declared type), the engine's rows in MSysColumns (added Text and Memo
// fields accept the empty text, as the update makes them) and MSysIndexes, the
// model's indexes (those the target already has with the same definition
// are kept), its relations (MSysRelationships rows and the four triggers
// the engine makes for each, copied from the model) and its stored queries
// in the model's order, each on one line as the query chain carries it. Objects the target has and
// the model lacks are dropped, except tables and columns, which are never removed.
//
// Usage: actualiz-bench-floor MODEL TARGET...   (prints the seconds taken)
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Db {
  sqlite3* handle = nullptr;
  explicit Db(const char* path) {
    if (sqlite3_open_v2(path, &handle, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
      sqlite3_close(handle);  // a failed open still allocates the handle
      throw std::runtime_error(std::string("cannot open ") + path);
    }
    sqlite3_busy_timeout(handle, 3000);
  }
  ~Db() { sqlite3_close(handle); }
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;

  void Exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      std::string text = message ? message : "?";
      sqlite3_free(message);
      throw std::runtime_error(sql + ": " + text);
    }
  }

  // Rows of a query, every column as text ("" for Null), with `bind` as the
  // query's text parameters.
  std::vector<std::vector<std::string>> Rows(const std::string& sql,
                                             const std::vector<std::string>& bind = {}) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(handle, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sql + ": " + sqlite3_errmsg(handle));
    }
    for (size_t i = 0; i < bind.size(); ++i) {
      sqlite3_bind_text(stmt, static_cast<int>(i) + 1, bind[i].c_str(), -1, SQLITE_TRANSIENT);
    }
    std::vector<std::vector<std::string>> rows;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
        const unsigned char* text = sqlite3_column_text(stmt, c);
        row.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
      }
      rows.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) throw std::runtime_error(sql + ": " + sqlite3_errmsg(handle));
    return rows;
  }

  void Run(const std::string& sql, const std::vector<std::string>& bind) { Rows(sql, bind); }
};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

std::string Quote(const std::string& name) {
  std::string out = "\"";
  for (char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

struct Index {
  std::string table, name, sqlite_name, primary, sql;
};
struct Relation {
  std::vector<std::vector<std::string>> rows;  // MSysRelationships, all columns
  std::vector<std::string> triggers;           // CREATE TRIGGER texts
};

// What the floor compares: one database's structure as the engine stores it.
struct Structure {
  std::vector<std::pair<std::string, std::string>> tables;  // name, CREATE TABLE
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> columns;  // name, type
  std::vector<Index> indexes;
  std::vector<std::string> relation_order;
  std::map<std::string, Relation> relations;
  std::vector<std::pair<std::string, std::string>> queries;
};

constexpr const char* kRelationColumns =
    "\"ccolumn\", \"grbit\", \"icolumn\", \"szColumn\", \"szObject\", \"szReferencedColumn\", "
    "\"szReferencedObject\", \"szRelationship\"";

Structure Read(Db& db) {
  Structure s;
  for (auto& row : db.Rows("SELECT name, sql FROM sqlite_master WHERE type = 'table' AND name NOT "
                           "LIKE 'sqlite\\_%' "
                           "ESCAPE '\\' AND substr(name, 1, 4) <> 'MSys' ORDER BY rowid")) {
    s.tables.emplace_back(row[0], row[1]);
    for (auto& c : db.Rows("SELECT name, type FROM pragma_table_info(?)", {row[0]})) {
      s.columns[Lower(row[0])].emplace_back(c[0], c[1]);
    }
  }
  for (auto& row :
       db.Rows("SELECT i.\"TableName\", i.\"IndexName\", i.\"SqliteName\", i.\"IsPrimary\", m.sql "
               "FROM \"MSysIndexes\" i JOIN sqlite_master m ON m.name = i.\"SqliteName\" "
               "ORDER BY m.rowid")) {
    s.indexes.push_back({row[0], row[1], row[2], row[3], row[4]});
  }
  for (auto& row : db.Rows(std::string("SELECT ") + kRelationColumns +
                           " FROM \"MSysRelationships\" ORDER BY rowid")) {
    const std::string key = Lower(row[7]);
    if (!s.relations.count(key)) s.relation_order.push_back(key);
    s.relations[key].rows.push_back(row);
  }
  for (const std::string& key : s.relation_order) {
    const std::string name = s.relations[key].rows.front()[7];
    for (auto& row :
         db.Rows("SELECT sql FROM sqlite_master WHERE type = 'trigger' AND name IN (?, ?, ?, ?) "
                 "ORDER BY rowid",
                 {"MSysRel_" + name + "_ForeignInsert", "MSysRel_" + name + "_ForeignUpdate",
                  "MSysRel_" + name + "_PrimaryDelete", "MSysRel_" + name + "_PrimaryUpdate"})) {
      s.relations[key].triggers.push_back(row[0]);
    }
  }
  for (auto& row : db.Rows("SELECT \"Name\", \"SQL\" FROM \"MSysQueries\" ORDER BY rowid")) {
    s.queries.emplace_back(row[0], row[1]);
  }
  return s;
}

// The index's definition without its own name: what it covers and how.
std::string Definition(const Index& index) {
  const auto on = index.sql.find(" ON ");
  return Lower(index.table) + "|" + (index.sql.rfind("CREATE UNIQUE", 0) == 0 ? "u" : "") +
         (on == std::string::npos ? index.sql : index.sql.substr(on)) + "|" + index.primary;
}

bool IsTextual(const std::string& declared) {
  const std::string type = Lower(declared);
  return type.rfind("varchar", 0) == 0 || type == "longtext";
}

// Fields the update adds carry only name, type and size; Text and Memo
// fields accept the empty text.
void RecordAddedColumn(Db& target, const std::string& table, const std::string& column,
                       const std::string& type) {
  if (!IsTextual(type)) return;
  target.Run(
      "INSERT OR REPLACE INTO \"MSysColumns\" (\"TableName\", \"ColumnName\", "
      "\"AllowZeroLength\", \"Required\") VALUES (?, ?, 1, 0)",
      {table, column});
}

void ApplyTablesAndColumns(Db& target, const Structure& model, const Structure& had) {
  for (const auto& [name, sql] : model.tables) {
    const auto columns = had.columns.find(Lower(name));
    if (columns == had.columns.end()) {
      target.Exec(sql);
      for (const auto& [column, type] : model.columns.at(Lower(name))) {
        RecordAddedColumn(target, name, column, type);
      }
      continue;
    }
    for (const auto& [column, type] : model.columns.at(Lower(name))) {
      const bool present =
          std::any_of(columns->second.begin(), columns->second.end(),
                      [&](const auto& c) { return Lower(c.first) == Lower(column); });
      if (present) continue;
      target.Exec("ALTER TABLE " + Quote(name) + " ADD COLUMN " + Quote(column) + " " + type +
                  (IsTextual(type) ? " COLLATE NOCASE" : ""));
      RecordAddedColumn(target, name, column, type);
    }
  }
}

void ApplyIndexes(Db& target, const Structure& model, const Structure& had) {
  std::map<std::string, std::string> wanted;  // table|name -> definition
  for (const Index& i : model.indexes) wanted[Lower(i.table) + "|" + Lower(i.name)] = Definition(i);
  std::map<std::string, bool> kept;
  for (const Index& i : had.indexes) {
    const std::string key = Lower(i.table) + "|" + Lower(i.name);
    const auto w = wanted.find(key);
    if (w != wanted.end() && w->second == Definition(i)) {
      kept[key] = true;
      continue;
    }
    target.Exec("DROP INDEX " + Quote(i.sqlite_name));
    target.Run("DELETE FROM \"MSysIndexes\" WHERE \"SqliteName\" = ?", {i.sqlite_name});
  }
  for (const Index& i : model.indexes) {
    if (kept.count(Lower(i.table) + "|" + Lower(i.name))) continue;
    target.Exec(i.sql);
    target.Run(
        "INSERT INTO \"MSysIndexes\" (\"TableName\", \"IndexName\", \"SqliteName\", "
        "\"IsPrimary\") VALUES (?, ?, ?, ?)",
        {i.table, i.name, i.sqlite_name, i.primary});
  }
}

void ApplyRelations(Db& target, const Structure& model, const Structure& had) {
  std::map<std::string, bool> kept;
  for (const std::string& key : had.relation_order) {
    const Relation& r = had.relations.at(key);
    const auto m = model.relations.find(key);
    if (m != model.relations.end() && m->second.rows == r.rows) {
      kept[key] = true;
      continue;
    }
    const std::string name = r.rows.front()[7];
    for (const char* suffix :
         {"ForeignInsert", "ForeignUpdate", "PrimaryDelete", "PrimaryUpdate"}) {
      target.Exec("DROP TRIGGER IF EXISTS " + Quote("MSysRel_" + name + "_" + suffix));
    }
    target.Run("DELETE FROM \"MSysRelationships\" WHERE \"szRelationship\" = ?", {name});
  }
  for (const std::string& key : model.relation_order) {
    if (kept.count(key)) continue;
    const Relation& r = model.relations.at(key);
    for (const auto& row : r.rows) {
      target.Run(std::string("INSERT INTO \"MSysRelationships\" (") + kRelationColumns +
                     ") VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                 row);
    }
    for (const std::string& sql : r.triggers) target.Exec(sql);
  }
}

// Stored queries travel on one line: each CR and LF becomes a space.
std::string OnOneLine(std::string sql) {
  std::replace_if(
      sql.begin(), sql.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return sql;
}

void ApplyQueries(Db& target, const Structure& model, const Structure& had) {
  std::map<std::string, std::string> have;
  for (const auto& [name, sql] : had.queries) have[Lower(name)] = sql;
  std::map<std::string, bool> wanted;
  for (const auto& [name, sql] : model.queries) wanted[Lower(name)] = true;
  for (const auto& [name, sql] : had.queries) {
    if (!wanted.count(Lower(name))) {
      target.Run("DELETE FROM \"MSysQueries\" WHERE \"Name\" = ?", {name});
    }
  }
  for (const auto& [name, model_sql] : model.queries) {
    const std::string sql = OnOneLine(model_sql);
    const auto h = have.find(Lower(name));
    if (h == have.end()) {
      target.Run("INSERT INTO \"MSysQueries\" (\"Name\", \"SQL\") VALUES (?, ?)", {name, sql});
    } else if (h->second != sql) {
      target.Run("UPDATE \"MSysQueries\" SET \"SQL\" = ? WHERE \"Name\" = ?", {sql, name});
    }
  }
}

void BringToModel(const char* path, const Structure& model) {
  Db target(path);
  target.Exec("PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL; BEGIN IMMEDIATE");
  const Structure had = Read(target);
  ApplyTablesAndColumns(target, model, had);
  ApplyIndexes(target, model, had);
  ApplyRelations(target, model, had);
  ApplyQueries(target, model, had);
  target.Exec("COMMIT");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s MODEL TARGET...\n", argv[0]);
    return 2;
  }
  try {
    const auto start = std::chrono::steady_clock::now();
    Db model_db(argv[1]);
    const Structure model = Read(model_db);
    for (int i = 2; i < argc; ++i) BringToModel(argv[i], model);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.6f\n", took.count());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "floor: %s\n", e.what());
    return 1;
  }
}
