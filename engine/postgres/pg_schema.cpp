// Reading and changing the schema on the server.
//
// The schema is read from the server's catalogue in a few queries (tables,
// columns, indexes, then the engine's tables), in the order the objects were
// made (their oids). It is read again on every Describe outside a change,
// so another connection's changes are always seen, and kept within a change
// or a group (the group's own writes are seen by this connection alone).
//
// Reading is also where a schema is refused that holds an object the engine
// does not make: a view, a sequence of its own, a foreign or partitioned
// table, a function, a trigger the server did not make for a foreign key, a
// type or a collation other than the engine's, or a table without the row
// key. Such objects would run code on the engine's own reads and writes, or
// hold rows it cannot address.
#include <libpq-fe.h>

#include <map>

#include "base/error.h"
#include "base/names.h"
#include "engine/engine.h"
#include "engine/field_types.h"
#include "engine/postgres/pg_connection.h"
#include "engine/postgres/pg_storage.h"
#include "engine/postgres/pg_types.h"

namespace actualiz::engine {

namespace {

constexpr const char* kRowKey = "actualiz.key";
constexpr const char* kCollation = "actualiz.nocase";
constexpr const char* kRelationSavepoint = "actualiz_relation";
// The server truncates longer identifiers.
constexpr size_t kMaxIdentifierBytes = 63;

// `text` cut to at most `bytes` bytes without splitting a UTF-8 character.
std::string Cut(const std::string& text, size_t bytes) {
  if (text.size() <= bytes) return text;
  size_t n = bytes;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

void RequireFits(const std::string& name, const std::string& context) {
  if (name.size() > kMaxIdentifierBytes) {
    throw Error(err::kInvalidName,
                ErrorText(err::kInvalidName, {name}) + " The server keeps names of up to 63 bytes.",
                context);
  }
}

// `collation`: the schema's case-insensitive collation, qualified.
std::string ColumnDefinition(const std::string& table, const ColumnInfo& column,
                             const std::string& collation) {
  std::string out = PgIdentifier(column.name) + " " + ServerColumnType(table, column);
  // Jet compares text without regard to case: in conditions, in unique
  // indexes and in relations.
  if (IsTextual(column.type)) out += " COLLATE " + collation;
  return out;
}

}  // namespace

void PgStorage::RefuseObject(const std::string& kind, const std::string& object) const {
  throw Error(err::kUnrecognizedFormat,
              ErrorText(err::kUnrecognizedFormat, {name_}) + " It holds " + kind + " '" + object +
                  "', which this program does not make; the schema is not used.",
              "'" + name_ + "'");
}

std::shared_ptr<const Schema> PgStorage::Describe() {
  if (connection_->schema && (in_change_ || connection_->group_open)) return connection_->schema;
  connection_->schema = LoadSchema();
  return connection_->schema;
}

std::shared_ptr<const Schema> PgStorage::LoadSchema() {
  const std::string where = In("the database");
  const std::vector<PgParam> ns = {{SchemaOid()}};
  // Objects the engine does not make are looked for once in a transaction
  // of grouped changes: the engine's own changes make none, and the schema
  // was found to be ours when the transaction first read it.
  if (!(connection_->group_open && connection_->objects_checked)) {
    PgResult foreign = Exec(
        "SELECT 'relation', relname, relkind::text FROM pg_class WHERE relnamespace = $1::oid "
        "AND relkind NOT IN ('r', 'i') AND NOT (relkind = 'S' AND EXISTS (SELECT 1 FROM "
        "pg_depend d WHERE d.objid = pg_class.oid AND d.deptype = 'i')) "
        "UNION ALL SELECT 'function', proname, '' FROM pg_proc WHERE pronamespace = $1::oid "
        "UNION ALL SELECT 'trigger', t.tgname, '' FROM pg_trigger t JOIN pg_class c ON "
        "c.oid = t.tgrelid WHERE c.relnamespace = $1::oid AND NOT t.tgisinternal "
        "UNION ALL SELECT 'type', typname, '' FROM pg_type WHERE typnamespace = $1::oid AND "
        "typrelid = 0 AND typelem = 0 "
        "UNION ALL SELECT 'collation', collname, '' FROM pg_collation WHERE collnamespace = "
        "$1::oid AND collname <> $2 "
        "UNION ALL SELECT 'table', relname, '' FROM pg_class c WHERE relnamespace = $1::oid AND "
        "relkind = 'r' AND NOT EXISTS (SELECT 1 FROM pg_attribute a WHERE a.attrelid = c.oid "
        "AND a.attname = $3 AND a.attidentity = 'a')",
        {ns[0], {kCollation}, {kRowKey}}, where);
    if (foreign.Rows() > 0) {
      const std::string kind = foreign.Text(0, 0);
      const std::string relkind = foreign.Text(0, 2);
      const std::string shown = kind == "relation" ? (relkind == "v"   ? "view"
                                                      : relkind == "m" ? "materialized view"
                                                      : relkind == "S" ? "sequence"
                                                      : relkind == "f" ? "foreign table"
                                                                       : "relation")
                                : kind == "table"  ? "table without the engine's row key"
                                                   : kind;
      RefuseObject(shown, foreign.Text(0, 1));
    }
    connection_->objects_checked = connection_->group_open;
  }
  auto schema = std::make_shared<Schema>();
  std::map<std::string, size_t> by_oid;
  {
    // One row per column, and one with no column for a table without any.
    PgResult t = Exec(
        "SELECT c.oid, c.relname, a.attname, format_type(a.atttypid, a.atttypmod) "
        "FROM pg_class c LEFT JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND "
        "NOT a.attisdropped AND a.attname <> $2 WHERE c.relnamespace = $1::oid AND "
        "c.relkind = 'r' ORDER BY c.oid, a.attnum",
        {ns[0], {kRowKey}}, where);
    for (int i = 0; i < t.Rows(); ++i) {
      auto [it, added] = by_oid.try_emplace(t.Text(i, 0), schema->tables.size());
      if (added) schema->tables.push_back(TableInfo{t.Text(i, 1), {}, {}});
      if (t.IsNull(i, 2)) continue;
      const auto [type, size] = JetTypeOf(t.Text(i, 3));
      schema->tables[it->second].columns.push_back(
          ColumnInfo{t.Text(i, 2), static_cast<std::int16_t>(type), size, false, false});
    }
  }
  std::map<std::string, TableInfo*> by_name;
  for (auto& t : schema->tables) by_name[t.name] = &t;
  const bool engine_tables = by_name.contains("MSysColumns") && by_name.contains("MSysIndexes") &&
                             by_name.contains("MSysRelationships") &&
                             by_name.contains("MSysQueries");
  std::map<std::string, std::pair<std::string, bool>> jet_indexes;  // server name -> Jet, primary
  if (engine_tables) {
    PgResult c = Exec(
        "SELECT \"TableName\", \"ColumnName\", \"AllowZeroLength\", \"Required\", \"JetType\", "
        "\"JetSize\" FROM " +
            Qualified("MSysColumns"),
        {}, where);
    for (int i = 0; i < c.Rows(); ++i) {
      auto t = by_name.find(c.Text(i, 0));
      if (t == by_name.end()) continue;
      for (auto& column : t->second->columns) {
        if (column.name != c.Text(i, 1)) continue;
        column.allow_zero_length = c.Bool(i, 2);
        column.required = c.Bool(i, 3);
        column.type = static_cast<std::int16_t>(c.Int(i, 4));
        column.size = static_cast<std::int32_t>(c.Int(i, 5));
      }
    }
    PgResult x =
        Exec("SELECT \"ServerName\", \"IndexName\", \"IsPrimary\" FROM " + Qualified("MSysIndexes"),
             {}, where);
    for (int i = 0; i < x.Rows(); ++i) jet_indexes[x.Text(i, 0)] = {x.Text(i, 1), x.Bool(i, 2)};
  }
  connection_->index_names.clear();
  {
    PgResult x = Exec(
        "SELECT i.indrelid, ic.relname, i.indisunique, i.indisprimary, a.attname FROM pg_index i "
        "JOIN pg_class ic ON ic.oid = i.indexrelid CROSS JOIN LATERAL unnest(i.indkey) WITH "
        "ORDINALITY k(attnum, ord) JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum "
        "= k.attnum WHERE ic.relnamespace = $1::oid AND NOT EXISTS (SELECT 1 FROM "
        "pg_attribute r WHERE r.attrelid = i.indrelid AND r.attname = $2 AND r.attnum = ANY "
        "(i.indkey)) ORDER BY ic.oid, k.ord",
        {ns[0], {kRowKey}}, where);
    std::string last;
    for (int i = 0; i < x.Rows(); ++i) {
      auto t = by_oid.find(x.Text(i, 0));
      if (t == by_oid.end()) continue;
      TableInfo& table = schema->tables[t->second];
      const std::string server_name = x.Text(i, 1);
      if (server_name != last) {
        IndexInfo index{server_name, x.Bool(i, 2), x.Bool(i, 3), {}};
        if (auto j = jet_indexes.find(server_name); j != jet_indexes.end()) {
          index.name = j->second.first;
          index.primary = j->second.second;
        } else if (index.primary) {
          index.name = "PrimaryKey";
        }
        table.indexes.push_back(index);
        connection_->index_names[{FoldCase(table.name), FoldCase(index.name)}] = server_name;
        last = server_name;
      }
      table.indexes.back().fields.push_back(x.Text(i, 4));
    }
  }
  if (engine_tables) {
    PgResult r = Exec(
        "SELECT \"szRelationship\", \"szReferencedObject\", \"szObject\", \"grbit\", "
        "\"szReferencedColumn\", \"szColumn\" FROM " +
            Qualified("MSysRelationships") + " ORDER BY \"actualiz.key\"",
        {}, where);
    std::map<std::string, size_t> position;
    for (int i = 0; i < r.Rows(); ++i) {
      const std::string name = r.Text(i, 0);
      auto [it, added] = position.try_emplace(FoldCase(name), schema->relations.size());
      if (added) {
        schema->relations.push_back(RelationInfo{
            name, r.Text(i, 1), r.Text(i, 2), static_cast<std::int32_t>(r.Int(i, 3)), {}});
      }
      schema->relations[it->second].fields.emplace_back(r.Text(i, 4), r.Text(i, 5));
    }
    PgResult q = Exec(
        "SELECT \"Name\", \"SQL\" FROM " + Qualified("MSysQueries") + " ORDER BY \"actualiz.key\"",
        {}, where);
    for (int i = 0; i < q.Rows(); ++i)
      schema->queries.push_back(QueryInfo{q.Text(i, 0), q.Text(i, 1)});
  }
  return schema;
}

const TableInfo& PgStorage::TableOf(const std::string& table) {
  // Row writes take the column types from the schema as last read: the
  // DAO layer described the table just before.
  if (!connection_->schema) Describe();
  const TableInfo* t = connection_->schema->FindTable(table);
  if (t == nullptr) throw MakeError(err::kInputTableNotFound, {table}, In("table '" + table + "'"));
  // The snapshot stays alive in connection_->schema until the next read.
  return *t;
}

// ---- tables and columns ----

// Keeps the Jet type and size of a new column in MSysColumns: Byte and
// Integer share one server type, and Jet's rules read from the Jet type.
void PgStorage::RecordColumn(const std::string& table, const ColumnInfo& column,
                             const std::string& where) {
  Exec("INSERT INTO " + Qualified("MSysColumns") +
           " (\"TableName\", \"ColumnName\", \"AllowZeroLength\", \"Required\", \"JetType\", "
           "\"JetSize\") VALUES ($1, $2, $3, $4, $5, $6)",
       {{table},
        {column.name},
        {column.allow_zero_length ? "true" : "false"},
        {column.required ? "true" : "false"},
        {std::to_string(column.type)},
        {std::to_string(ReportedSize(column.type, column.size))}},
       where);
}

void PgStorage::CreateTable(const TableInfo& table) {
  RequireChange();
  const std::string where = In("table '" + table.name + "'");
  RequireFits(table.name, where);
  std::string sql = "CREATE TABLE " + Qualified(table.name) + " (" + PgIdentifier(kRowKey) +
                    " bigint GENERATED ALWAYS AS IDENTITY UNIQUE";
  for (const auto& column : table.columns) {
    RequireFits(column.name, where);
    sql += ", " + ColumnDefinition(table.name, column, Qualified(kCollation));
  }
  Exec(sql + ")", {}, where);
  for (const auto& column : table.columns) RecordColumn(table.name, column, where);
  for (const auto& index : table.indexes) CreateIndex(table.name, index);
}

void PgStorage::DropTable(const std::string& table) {
  RequireChange();
  const std::string where = In("table '" + table + "'");
  Exec("DROP TABLE " + Qualified(table), {}, where);
  Exec("DELETE FROM " + Qualified("MSysColumns") + " WHERE \"TableName\" = $1", {{table}}, where);
  Exec("DELETE FROM " + Qualified("MSysIndexes") + " WHERE \"TableName\" = $1", {{table}}, where);
}

void PgStorage::AddColumn(const std::string& table, const ColumnInfo& column) {
  RequireChange();
  const std::string where = In("field '" + column.name + "' of table '" + table + "'");
  RequireFits(column.name, where);
  Exec("ALTER TABLE " + Qualified(table) + " ADD COLUMN " +
           ColumnDefinition(table, column, Qualified(kCollation)),
       {}, where);
  RecordColumn(table, column, where);
}

void PgStorage::DropColumn(const std::string& table, const std::string& column) {
  RequireChange();
  const std::string where = In("field '" + column + "' of table '" + table + "'");
  Exec("ALTER TABLE " + Qualified(table) + " DROP COLUMN " + PgIdentifier(column), {}, where);
  Exec("DELETE FROM " + Qualified("MSysColumns") +
           " WHERE \"TableName\" = $1 AND \"ColumnName\" = $2",
       {{table}, {column}}, where);
}

// ---- indexes ----

std::string PgStorage::NewIndexName(const std::string& table, const std::string& index) {
  const std::string base = Cut(table + "_" + index, kMaxIdentifierBytes - 6);
  std::string name = base;
  for (int n = 2;; ++n) {
    PgResult taken = Exec("SELECT 1 FROM pg_class WHERE relnamespace = $1::oid AND relname = $2",
                          {{SchemaOid()}, {name}});
    if (taken.Rows() == 0) return name;
    name = base + "_" + std::to_string(n);
  }
}

std::string PgStorage::StoredIndexName(const std::string& table, const std::string& index) {
  Describe();
  auto it = connection_->index_names.find({FoldCase(table), FoldCase(index)});
  return it == connection_->index_names.end() ? index : it->second;
}

void PgStorage::CreateIndex(const std::string& table, const IndexInfo& index) {
  RequireChange();
  const std::string where = In("index '" + index.name + "' of table '" + table + "'");
  const std::string server_name = NewIndexName(table, index.name);
  std::string fields;
  for (const auto& f : index.fields) fields += (fields.empty() ? "" : ", ") + PgIdentifier(f);
  if (index.primary) {
    Exec("ALTER TABLE " + Qualified(table) + " ADD CONSTRAINT " + PgIdentifier(server_name) +
             " PRIMARY KEY (" + fields + ")",
         {}, where);
  } else {
    Exec(std::string(index.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
             PgIdentifier(server_name) + " ON " + Qualified(table) + " (" + fields + ")",
         {}, where);
  }
  Exec("INSERT INTO " + Qualified("MSysIndexes") +
           " (\"TableName\", \"IndexName\", \"ServerName\", \"IsPrimary\") VALUES ($1, $2, $3, $4)",
       {{table}, {index.name}, {server_name}, {index.primary ? "true" : "false"}}, where);
  if (index.primary || index.unique) RestoreRelationConstraints(table);
}

void PgStorage::DropIndex(const std::string& table, const std::string& index) {
  RequireChange();
  const std::string where = In("index '" + index + "' of table '" + table + "'");
  const std::string server_name = StoredIndexName(table, index);
  PgResult referencing = Exec(
      "SELECT c.conname, t.relname FROM pg_constraint c JOIN pg_class t ON t.oid = c.conrelid "
      "JOIN pg_class i ON i.oid = c.conindid WHERE c.contype = 'f' AND i.relnamespace = $1::oid "
      "AND i.relname = $2",
      {{SchemaOid()}, {server_name}}, where);
  for (int row = 0; row < referencing.Rows(); ++row) {
    Exec("ALTER TABLE " + Qualified(referencing.Text(row, 1)) + " DROP CONSTRAINT " +
             PgIdentifier(referencing.Text(row, 0)),
         {}, where);
  }
  PgResult primary = Exec(
      "SELECT 1 FROM pg_constraint WHERE connamespace = $1::oid AND conname = $2 AND contype = "
      "'p'",
      {{SchemaOid()}, {server_name}}, where);
  if (primary.Rows() > 0) {
    Exec("ALTER TABLE " + Qualified(table) + " DROP CONSTRAINT " + PgIdentifier(server_name), {},
         where);
    // A primary key made its fields NOT NULL; Required alone says so here.
    const TableInfo& t = TableOf(table);
    for (const auto& c : t.columns) {
      if (!c.required) {
        Exec("ALTER TABLE " + Qualified(table) + " ALTER COLUMN " + PgIdentifier(c.name) +
                 " DROP NOT NULL",
             {}, where);
      }
    }
  } else {
    Exec("DROP INDEX " + PgIdentifier(address_.schema) + "." + PgIdentifier(server_name), {},
         where);
  }
  Exec("DELETE FROM " + Qualified("MSysIndexes") + " WHERE \"ServerName\" = $1", {{server_name}},
       where);
  if (referencing.Rows() > 0) RestoreRelationConstraints(table);
}

// ---- relations ----

void PgStorage::CreateRelation(const RelationInfo& r) {
  RequireChange();
  const std::string where = In("relation '" + r.name + "'");
  for (size_t i = 0; i < r.fields.size(); ++i) {
    Exec("INSERT INTO " + Qualified("MSysRelationships") +
             " (\"ccolumn\", \"grbit\", \"icolumn\", \"szColumn\", \"szObject\", "
             "\"szReferencedColumn\", \"szReferencedObject\", \"szRelationship\") VALUES ($1, "
             "$2, $3, $4, $5, $6, $7, $8)",
         {{std::to_string(r.fields.size())},
          {std::to_string(r.attributes)},
          {std::to_string(i)},
          {r.fields[i].second},
          {r.foreign_table},
          {r.fields[i].first},
          {r.table},
          {r.name}},
         where);
  }
  if (r.attributes & dbRelationDontEnforce) return;
  RequireFits(r.name, where);
  AddRelationConstraint(r, where);
}

void PgStorage::AddRelationConstraint(const RelationInfo& r, const std::string& where) {
  std::string primary, foreign;
  for (const auto& [p, f] : r.fields) {
    primary += (primary.empty() ? "" : ", ") + PgIdentifier(p);
    foreign += (foreign.empty() ? "" : ", ") + PgIdentifier(f);
  }
  // The constraint carries the relation's name, by which a violation is
  // traced back to it.
  Exec("ALTER TABLE " + Qualified(r.foreign_table) + " ADD CONSTRAINT " + PgIdentifier(r.name) +
           " FOREIGN KEY (" + foreign + ") REFERENCES " + Qualified(r.table) + " (" + primary +
           ")" + ((r.attributes & dbRelationUpdateCascade) ? " ON UPDATE CASCADE" : "") +
           ((r.attributes & dbRelationDeleteCascade) ? " ON DELETE CASCADE" : ""),
       {}, where, Op::kRelation);
}

// The server ties a foreign key to the unique index it references and will
// not drop that index alone, while a file's relations need no index. So an
// index that enforced relations reference is dropped with their constraints
// (the relations themselves stay recorded), and each such relation gets its
// constraint back as soon as its primary fields carry a unique index again:
// at once when another one does, else when one is made.
void PgStorage::RestoreRelationConstraints(const std::string& table) {
  const auto schema = Describe();
  for (const RelationInfo& r : schema->relations) {
    if ((r.attributes & dbRelationDontEnforce) || !SameNameIgnoringCase(r.table, table)) continue;
    const std::string where = In("relation '" + r.name + "'");
    PgResult present = Exec(
        "SELECT 1 FROM pg_constraint WHERE connamespace = $1::oid AND conname = $2 AND contype = "
        "'f'",
        {{SchemaOid()}, {r.name}}, where);
    if (present.Rows() > 0) continue;
    Exec(std::string("SAVEPOINT ") + kRelationSavepoint, {}, where);
    try {
      AddRelationConstraint(r, where);
    } catch (const Error& e) {
      Exec(std::string("ROLLBACK TO SAVEPOINT ") + kRelationSavepoint, {}, where);
      Exec(std::string("RELEASE SAVEPOINT ") + kRelationSavepoint, {}, where);
      if (e.Number() == err::kNoUniqueIndex) continue;  // not yet: no unique index to reference
      throw;
    }
    Exec(std::string("RELEASE SAVEPOINT ") + kRelationSavepoint, {}, where);
  }
}

void PgStorage::DropRelation(const std::string& relation) {
  RequireChange();
  const std::string where = In("relation '" + relation + "'");
  const auto schema = Describe();
  if (const RelationInfo* r = schema->FindRelation(relation);
      r != nullptr && !(r->attributes & dbRelationDontEnforce)) {
    Exec("ALTER TABLE " + Qualified(r->foreign_table) + " DROP CONSTRAINT IF EXISTS " +
             PgIdentifier(r->name),
         {}, where);
  }
  Exec("DELETE FROM " + Qualified("MSysRelationships") +
           " WHERE lower(\"szRelationship\") = lower($1)",
       {{relation}}, where);
}

// ---- stored queries ----

void PgStorage::CreateQuery(const QueryInfo& query) {
  RequireChange();
  Exec("INSERT INTO " + Qualified("MSysQueries") + " (\"Name\", \"SQL\") VALUES ($1, $2)",
       {{query.name}, {query.sql}}, In("query '" + query.name + "'"));
}

void PgStorage::DropQuery(const std::string& query) {
  RequireChange();
  Exec("DELETE FROM " + Qualified("MSysQueries") + " WHERE \"Name\" = $1", {{query}},
       In("query '" + query + "'"));
}

}  // namespace actualiz::engine
