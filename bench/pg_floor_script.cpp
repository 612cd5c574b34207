#include "bench/pg_floor_script.h"

#include <libpq-fe.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/names.h"
#include "base/server_address.h"
#include "engine/description/description.h"
#include "engine/engine.h"
#include "engine/field_types.h"
#include "engine/postgres/pg_storage.h"
#include "engine/postgres/pg_types.h"

namespace actualiz::bench {

namespace {

using nlohmann::json;

std::string Literal(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

std::string Bool(bool value) { return value ? "true" : "false"; }

json DescriptionOf(engine::Session& session, const std::string& path) {
  engine::DatabasePtr db = engine::OpenDatabase(session, path);
  json description = engine::Describe(*db);
  db->Close();
  return description;
}

// Rows of a query on the server, every column as text.
std::vector<std::vector<std::string>> Query(const std::string& conninfo, const std::string& sql,
                                            const std::vector<std::string>& parameters) {
  std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectdb(conninfo.c_str()), &PQfinish);
  if (PQstatus(conn.get()) != CONNECTION_OK) throw std::runtime_error(PQerrorMessage(conn.get()));
  std::vector<const char*> values;
  for (const std::string& p : parameters) values.push_back(p.c_str());
  std::unique_ptr<PGresult, decltype(&PQclear)> result(
      PQexecParams(conn.get(), sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                   nullptr, nullptr, 0),
      &PQclear);
  if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
    throw std::runtime_error(sql + ": " + PQerrorMessage(conn.get()));
  }
  std::vector<std::vector<std::string>> rows;
  for (int r = 0; r < PQntuples(result.get()); ++r) {
    std::vector<std::string> row;
    for (int c = 0; c < PQnfields(result.get()); ++c)
      row.emplace_back(PQgetvalue(result.get(), r, c));
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string OnOneLine(std::string sql) {
  std::replace_if(
      sql.begin(), sql.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return sql;
}

class Script {
 public:
  Script(std::string schema, std::set<std::string> taken)
      : schema_(std::move(schema)), taken_(std::move(taken)) {}

  std::string Q(const std::string& name) const {
    return engine::PgIdentifier(schema_) + "." + engine::PgIdentifier(name);
  }

  void Add(const std::string& statement) { text_ += statement + ";\n"; }

  // The column as the storage defines it; text compares without regard to case.
  std::string Column(const std::string& table, const json& field) const {
    const engine::ColumnInfo column{field["name"].get<std::string>(),
                                    field["type"].get<std::int16_t>(),
                                    field["size"].get<std::int32_t>(), false, false};
    std::string out =
        engine::PgIdentifier(column.name) + " " + engine::ServerColumnType(table, column);
    if (engine::IsTextual(column.type)) out += " COLLATE " + Q("actualiz.nocase");
    return out;
  }

  void RecordColumns(const std::string& table, const std::vector<json>& fields) {
    if (fields.empty()) return;
    std::string values;
    for (const json& f : fields) {
      const int type = f["type"].get<int>();
      values += std::string(values.empty() ? "" : ", ") + "(" + Literal(table) + ", " +
                Literal(f["name"].get<std::string>()) + ", " + Bool(engine::IsTextual(type)) +
                ", false, " + std::to_string(type) + ", " +
                std::to_string(engine::ReportedSize(type, f["size"].get<int>())) + ")";
    }
    Add("INSERT INTO " + Q("MSysColumns") +
        " (\"TableName\", \"ColumnName\", \"AllowZeroLength\", \"Required\", \"JetType\", "
        "\"JetSize\") VALUES " +
        values);
  }

  // The storage's name for a new index: its table's and its own, cut to
  // fit, numbered when taken.
  std::string IndexName(const std::string& table, const std::string& index) {
    std::string base = table + "_" + index;
    if (base.size() > 57) base.resize(57);
    std::string name = base;
    for (int n = 2; taken_.count(name); ++n) name = base + "_" + std::to_string(n);
    taken_.insert(name);
    return name;
  }
  void Take(const std::string& name) { taken_.insert(name); }
  void Free(const std::string& name) { taken_.erase(name); }

  const std::string& Text() const { return text_; }

 private:
  std::string schema_;
  std::set<std::string> taken_;
  std::string text_;
};

std::string FieldList(const json& names) {
  std::string out;
  for (const auto& n : names) {
    out += (out.empty() ? "" : ", ") + engine::PgIdentifier(n.get<std::string>());
  }
  return out;
}

void TablesAndColumns(Script& s, const json& model, const json& had) {
  std::map<std::string, const json*> have;
  for (const auto& t : had["tables"]) have[FoldCase(t["name"].get<std::string>())] = &t;
  for (const auto& t : model["tables"]) {
    const std::string table = t["name"].get<std::string>();
    auto found = have.find(FoldCase(table));
    std::vector<json> added;
    if (found == have.end()) {
      std::string sql = "CREATE TABLE " + s.Q(table) +
                        " (\"actualiz.key\" bigint GENERATED ALWAYS AS IDENTITY UNIQUE";
      for (const auto& f : t["fields"]) {
        sql += ", " + s.Column(table, f);
        added.push_back(f);
      }
      s.Add(sql + ")");
      // The table's own unique key on the row key takes a name too.
      s.Take(table + "_actualiz.key_key");
    } else {
      std::set<std::string> present;
      for (const auto& f : (*found->second)["fields"]) {
        present.insert(FoldCase(f["name"].get<std::string>()));
      }
      for (const auto& f : t["fields"]) {
        if (present.count(FoldCase(f["name"].get<std::string>()))) continue;
        s.Add("ALTER TABLE " + s.Q(table) + " ADD COLUMN " + s.Column(table, f));
        added.push_back(f);
      }
    }
    s.RecordColumns(table, added);
  }
}

std::string IndexKey(const std::string& table, const json& index) {
  return FoldCase(table) + "|" + FoldCase(index["name"].get<std::string>());
}

void Indexes(Script& s, const json& model, const json& had,
             const std::map<std::string, std::string>& server_names) {
  std::map<std::string, json> wanted;
  for (const auto& t : model["tables"]) {
    for (const auto& i : t["indexes"]) wanted[IndexKey(t["name"].get<std::string>(), i)] = i;
  }
  std::set<std::string> kept;
  for (const auto& t : had["tables"]) {
    const std::string table = t["name"].get<std::string>();
    for (const auto& i : t["indexes"]) {
      const std::string key = IndexKey(table, i);
      if (auto w = wanted.find(key); w != wanted.end() && w->second == i) {
        kept.insert(key);
        continue;
      }
      const std::string server = server_names.at(key);
      if (i["primary"].get<bool>()) {
        s.Add("ALTER TABLE " + s.Q(table) + " DROP CONSTRAINT " + engine::PgIdentifier(server));
        for (const auto& f : i["fields"]) {
          s.Add("ALTER TABLE " + s.Q(table) + " ALTER COLUMN " +
                engine::PgIdentifier(f.get<std::string>()) + " DROP NOT NULL");
        }
      } else {
        s.Add("DROP INDEX " + s.Q(server));
      }
      s.Add("DELETE FROM " + s.Q("MSysIndexes") + " WHERE \"ServerName\" = " + Literal(server));
      s.Free(server);
    }
  }
  for (const auto& t : model["tables"]) {
    const std::string table = t["name"].get<std::string>();
    for (const auto& i : t["indexes"]) {
      if (kept.count(IndexKey(table, i))) continue;
      const std::string name = i["name"].get<std::string>();
      const std::string server = s.IndexName(table, name);
      const bool primary = i["primary"].get<bool>();
      if (primary) {
        s.Add("ALTER TABLE " + s.Q(table) + " ADD CONSTRAINT " + engine::PgIdentifier(server) +
              " PRIMARY KEY (" + FieldList(i["fields"]) + ")");
      } else {
        s.Add(std::string(i["unique"].get<bool>() ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
              engine::PgIdentifier(server) + " ON " + s.Q(table) + " (" + FieldList(i["fields"]) +
              ")");
      }
      s.Add("INSERT INTO " + s.Q("MSysIndexes") +
            " (\"TableName\", \"IndexName\", \"ServerName\", \"IsPrimary\") VALUES (" +
            Literal(table) + ", " + Literal(name) + ", " + Literal(server) + ", " + Bool(primary) +
            ")");
    }
  }
}

void Relations(Script& s, const json& model, const json& had) {
  std::map<std::string, json> wanted;
  for (const auto& r : model["relations"]) wanted[FoldCase(r["name"].get<std::string>())] = r;
  std::set<std::string> kept;
  for (const auto& r : had["relations"]) {
    const std::string name = r["name"].get<std::string>();
    if (auto w = wanted.find(FoldCase(name)); w != wanted.end() && w->second == r) {
      kept.insert(FoldCase(name));
      continue;
    }
    if (!(r["attributes"].get<int>() & engine::dbRelationDontEnforce)) {
      s.Add("ALTER TABLE " + s.Q(r["foreignTable"].get<std::string>()) +
            " DROP CONSTRAINT IF EXISTS " + engine::PgIdentifier(name));
    }
    s.Add("DELETE FROM " + s.Q("MSysRelationships") +
          " WHERE \"szRelationship\" = " + Literal(name));
  }
  for (const auto& r : model["relations"]) {
    const std::string name = r["name"].get<std::string>();
    if (kept.count(FoldCase(name))) continue;
    const int attributes = r["attributes"].get<int>();
    const json& fields = r["fields"];
    std::string values, primary, foreign;
    for (size_t i = 0; i < fields.size(); ++i) {
      const std::string p = fields[i]["name"].get<std::string>();
      const std::string f = fields[i]["foreignName"].get<std::string>();
      values += std::string(values.empty() ? "" : ", ") + "(" + std::to_string(fields.size()) +
                ", " + std::to_string(attributes) + ", " + std::to_string(i) + ", " + Literal(f) +
                ", " + Literal(r["foreignTable"].get<std::string>()) + ", " + Literal(p) + ", " +
                Literal(r["table"].get<std::string>()) + ", " + Literal(name) + ")";
      primary += (primary.empty() ? "" : ", ") + engine::PgIdentifier(p);
      foreign += (foreign.empty() ? "" : ", ") + engine::PgIdentifier(f);
    }
    s.Add("INSERT INTO " + s.Q("MSysRelationships") +
          " (\"ccolumn\", \"grbit\", \"icolumn\", \"szColumn\", \"szObject\", "
          "\"szReferencedColumn\", \"szReferencedObject\", \"szRelationship\") VALUES " +
          values);
    if (attributes & engine::dbRelationDontEnforce) continue;
    s.Add("ALTER TABLE " + s.Q(r["foreignTable"].get<std::string>()) + " ADD CONSTRAINT " +
          engine::PgIdentifier(name) + " FOREIGN KEY (" + foreign + ") REFERENCES " +
          s.Q(r["table"].get<std::string>()) + " (" + primary + ")" +
          ((attributes & engine::dbRelationUpdateCascade) ? " ON UPDATE CASCADE" : "") +
          ((attributes & engine::dbRelationDeleteCascade) ? " ON DELETE CASCADE" : ""));
  }
}

void Queries(Script& s, const json& model, const json& had) {
  std::map<std::string, std::string> have;
  for (const auto& q : had["queries"]) {
    have[FoldCase(q["name"].get<std::string>())] = q["sql"].get<std::string>();
  }
  std::set<std::string> wanted;
  for (const auto& q : model["queries"]) wanted.insert(FoldCase(q["name"].get<std::string>()));
  for (const auto& q : had["queries"]) {
    const std::string name = q["name"].get<std::string>();
    if (!wanted.count(FoldCase(name))) {
      s.Add("DELETE FROM " + s.Q("MSysQueries") + " WHERE \"Name\" = " + Literal(name));
    }
  }
  for (const auto& q : model["queries"]) {
    const std::string name = q["name"].get<std::string>();
    const std::string sql = OnOneLine(q["sql"].get<std::string>());
    const auto h = have.find(FoldCase(name));
    if (h == have.end()) {
      s.Add("INSERT INTO " + s.Q("MSysQueries") + " (\"Name\", \"SQL\") VALUES (" + Literal(name) +
            ", " + Literal(sql) + ")");
    } else if (h->second != sql) {
      s.Add("UPDATE " + s.Q("MSysQueries") + " SET \"SQL\" = " + Literal(sql) +
            " WHERE \"Name\" = " + Literal(name));
    }
  }
}

}  // namespace

std::string FloorScript(const std::string& model_path, const std::string& target,
                        const std::string& conninfo) {
  const std::string schema = ParseServerAddress(target).value().schema;
  engine::Session session;
  const json model = DescriptionOf(session, model_path);
  const json had = DescriptionOf(session, target);

  std::set<std::string> taken;
  for (const auto& row : Query(conninfo,
                               "SELECT relname FROM pg_class WHERE relnamespace = "
                               "(SELECT oid FROM pg_namespace WHERE nspname = $1)",
                               {schema})) {
    taken.insert(row[0]);
  }
  std::map<std::string, std::string> server_names;  // table|index -> server name
  for (const auto& row : Query(conninfo,
                               "SELECT \"TableName\", \"IndexName\", \"ServerName\" FROM " +
                                   engine::PgIdentifier(schema) + ".\"MSysIndexes\"",
                               {})) {
    server_names[FoldCase(row[0]) + "|" + FoldCase(row[1])] = row[2];
  }

  Script s(schema, std::move(taken));
  TablesAndColumns(s, model, had);
  Indexes(s, model, had, server_names);
  Relations(s, model, had);
  Queries(s, model, had);
  return s.Text();
}

}  // namespace actualiz::bench
