// Reading and changing the schema of a SQLite file.
//
// The schema is read in a handful of queries (tables with their columns in
// one, indexes with their columns in one, then the engine's tables) and kept
// until the file changes. PRAGMA data_version tells when another connection
// has committed; then the schema is taken again: from the snapshot another
// connection of this process left for the file's current state
// (sqlite_shared_schema.h), or read whole. After a change of our own only the
// tables it created, dropped or altered are read again, with the relations
// and queries (a few rows); the other tables keep their description, so an
// Append or Delete does not cost a read of every table. Both happen inside
// one read transaction, so the schema and the version it is shared under
// describe the same committed state.
//
// SQLite names indexes per database while Jet names them per table, so an
// index gets a SQLite name made of its table's and its own name
// ("Clientes_PrimaryKey"), made unique when needed, and MSysIndexes maps it
// back. Indexes that other tools made keep their own name; the index SQLite
// makes for a PRIMARY KEY constraint is reported as "PrimaryKey".
//
// Reading the schema is also where a file is refused that holds an object
// the engine does not make: a view, a virtual table, or a trigger other than
// the four of an enforced relation in the exact words the engine writes
// them (sqlite_relations.cpp). Such objects run code on the engine's own
// reads and writes. Every schema a connection uses, read whole, read again
// after a change, or shared between connections, went through this check.
#include <sqlite3.h>

#include <cassert>

#include <algorithm>
#include <array>
#include <map>

#include "base/error.h"
#include "base/names.h"
#include "engine/engine.h"
#include "engine/field_types.h"
#include "engine/jet_errors.h"
#include "engine/sqlite/sqlite_session.h"
#include "engine/sqlite/sqlite_storage.h"
#include "engine/sqlite/sqlite_types.h"

namespace actualiz::engine {

namespace {

constexpr const char* kEngineTables[] = {"MSysColumns", "MSysIndexes", "MSysRelationships",
                                         "MSysQueries"};

constexpr const char* kEngineTablesSql = R"(
CREATE TABLE IF NOT EXISTS "MSysColumns" (
  "TableName" VARCHAR(64) NOT NULL COLLATE NOCASE,
  "ColumnName" VARCHAR(64) NOT NULL COLLATE NOCASE,
  "AllowZeroLength" BOOLEAN NOT NULL DEFAULT 0,
  "Required" BOOLEAN NOT NULL DEFAULT 0,
  PRIMARY KEY ("TableName", "ColumnName"));
CREATE TABLE IF NOT EXISTS "MSysIndexes" (
  "TableName" VARCHAR(64) NOT NULL COLLATE NOCASE,
  "IndexName" VARCHAR(64) NOT NULL COLLATE NOCASE,
  "SqliteName" VARCHAR(255) NOT NULL COLLATE NOCASE,
  "IsPrimary" BOOLEAN NOT NULL DEFAULT 0,
  UNIQUE ("TableName", "IndexName"));
CREATE TABLE IF NOT EXISTS "MSysRelationships" (
  "ccolumn" INTEGER NOT NULL,
  "grbit" INTEGER NOT NULL,
  "icolumn" INTEGER NOT NULL,
  "szColumn" VARCHAR(64) NOT NULL,
  "szObject" VARCHAR(64) NOT NULL,
  "szReferencedColumn" VARCHAR(64) NOT NULL,
  "szReferencedObject" VARCHAR(64) NOT NULL,
  "szRelationship" VARCHAR(64) NOT NULL);
CREATE TABLE IF NOT EXISTS "MSysQueries" (
  "Name" VARCHAR(64) NOT NULL COLLATE NOCASE UNIQUE,
  "SQL" LONGTEXT NOT NULL);
)";

std::string ColumnDefinition(const ColumnInfo& column) {
  std::string out = QuoteIdentifier(column.name) + " " + DeclaredType(column.type, column.size);
  // Jet compares text without regard to case: in conditions, in unique
  // indexes and in relations.
  if (IsTextual(column.type)) out += " COLLATE NOCASE";
  return out;
}

// A read transaction holding SQLite's read lock from construction to End:
// no other connection or process can commit meanwhile.
class ReadTransaction {
 public:
  explicit ReadTransaction(SqliteStorage& storage) : storage_(storage) {
    storage_.Execute("BEGIN", storage_.In("the database"));
    try {
      // Reading the schema cookie takes the read lock.
      storage_.Execute("PRAGMA schema_version", storage_.In("the database"));
    } catch (...) {
      sqlite3_exec(storage_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }
  ~ReadTransaction() {
    if (open_) sqlite3_exec(storage_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
  }
  ReadTransaction(const ReadTransaction&) = delete;
  ReadTransaction& operator=(const ReadTransaction&) = delete;
  // Ends the transaction; if COMMIT fails, the destructor still rolls back.
  void End() {
    storage_.Execute("COMMIT", storage_.In("the database"));
    open_ = false;
  }

 private:
  SqliteStorage& storage_;
  bool open_ = true;
};

bool HasTable(const Schema& schema, const char* name) {
  for (const auto& t : schema.tables) {
    if (t.name == name) return true;
  }
  return false;
}

}  // namespace

std::int64_t SqliteStorage::DataVersion() {
  auto stmt = Prepare("PRAGMA data_version", In("the database"));
  return stmt.Step() ? stmt.Int(0) : -1;
}

std::shared_ptr<const Schema> SqliteStorage::Describe() {
  if (SchemaStillCurrent()) return schema_;
  if (in_change_ || sqlite3_get_autocommit(db_) == 0) {
    // Inside a transaction the file may hold writes not yet committed, which
    // no other connection may see: read it for this connection alone.
    schema_header_.reset();
    const std::int64_t version = DataVersion();
    if (schema_ && version == schema_data_version_) return schema_;
    schema_ = LoadSchema(nullptr);
    schema_data_version_ = version;
    return schema_;
  }
  ReadTransaction read(*this);
  const std::int64_t version = DataVersion();
  const std::optional<FileVersion> file_version = CurrentFileVersion();
  if (!schema_ || version != schema_data_version_) {
    std::optional<SchemaSnapshot> shared;
    if (file_version) shared = SqliteState(session_).schemas.Find(*file_version);
    if (shared) {
      schema_ = std::move(shared->schema);
      index_names_ = std::move(shared->index_names);
    } else {
      schema_ = LoadSchema(nullptr);
      if (file_version)
        SqliteState(session_).schemas.Publish(*file_version, {schema_, index_names_});
    }
    schema_data_version_ = version;
  }
  NoteSchemaHeader(file_version);
  read.End();
  return schema_;
}

void SqliteStorage::NoteSchemaHeader(const std::optional<FileVersion>& version) {
  if (version) {
    schema_header_ = version->header;
  } else {
    schema_header_.reset();
  }
}

bool SqliteStorage::SchemaStillCurrent() {
  if (!schema_ || !schema_header_ || in_change_ || sqlite3_get_autocommit(db_) == 0) return false;
  // Read without the lock: a commit of any connection or process moves the
  // change counter, and a writer part-way through a commit either has not
  // written it yet (its change is not committed, our copy still holds) or
  // has (it differs, and the schema is read under the lock).
  const std::optional<HeaderVersion> now = ReadHeaderVersion();
  return now && *now == *schema_header_;
}

std::optional<SqliteStorage::HeaderVersion> SqliteStorage::ReadHeaderVersion() {
  // SQLite's own handle: a descriptor of our own, once closed, would drop
  // the locks SQLite holds on the file.
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
      file == nullptr || file->pMethods == nullptr) {
    return std::nullopt;
  }
  std::array<unsigned char, 100> header{};
  if (file->pMethods->xRead(file, header.data(), header.size(), 0) != SQLITE_OK) {
    return std::nullopt;
  }
  // In WAL mode (bytes 18 and 19 are 2) a commit does not move the counter.
  constexpr unsigned char kRollbackJournal = 1;
  if (header[18] != kRollbackJournal || header[19] != kRollbackJournal) return std::nullopt;
  HeaderVersion version{};
  std::copy(header.begin() + 24, header.end(), version.begin());
  return version;
}

std::optional<FileVersion> SqliteStorage::CurrentFileVersion() {
  if (!identity_) return std::nullopt;
  const std::optional<FileStat> file_stat = StatFile(host_path_);
  // Another file at the path since we opened ours: its state is not ours.
  if (!file_stat || file_stat->identity != *identity_) return std::nullopt;
  const std::optional<HeaderVersion> header = ReadHeaderVersion();
  if (!header) return std::nullopt;
  FileVersion version;
  version.identity = file_stat->identity;
  version.header = *header;
  version.size = file_stat->size;
  version.change_time_ns = file_stat->change_time_ns;
  return version;
}

void SqliteStorage::EnsureEngineTables() {
  const auto schema = Describe();
  for (const char* table : kEngineTables) {
    if (!HasTable(*schema, table)) {
      MakeEngineTables();
      schema_.reset();
      return;
    }
  }
}

void SqliteStorage::MakeEngineTables() { Execute(kEngineTablesSql, In("the engine's tables")); }

void SqliteStorage::NoteTableChanged(const std::string& table) {
  changed_tables_.insert(FoldCase(table));
}

void SqliteStorage::NoteTablePatch(const std::string& table, TablePatch patch) {
  patches_.emplace_back(table, std::move(patch));
}

std::shared_ptr<Schema> SqliteStorage::PatchedSchema(bool spare) {
  for (const auto& [table, patch] : patches_) {
    if (schema_->FindTable(table) == nullptr) return nullptr;
  }
  // Made by make_shared as a Schema and only handed out as const: a spare
  // one may give up its parts.
  auto schema = spare ? std::make_shared<Schema>(std::move(const_cast<Schema&>(*schema_)))
                      : std::make_shared<Schema>(*schema_);
  for (const auto& [table, patch] : patches_) {
    patch(const_cast<TableInfo&>(*schema->FindTable(table)), index_names_);
  }
  if (relations_changed_) {
    schema->relations.clear();
    ReadRelations(*schema);
  }
  if (queries_changed_) {
    schema->queries.clear();
    ReadQueries(*schema);
  }
  return schema;
}

std::shared_ptr<const Schema> SqliteStorage::SchemaAfterOwnChange() {
  const bool spare = schema_.use_count() == 1;
  if (changed_tables_.empty()) {
    if (std::shared_ptr<Schema> patched = PatchedSchema(spare)) {
#ifndef NDEBUG
      // Debug builds read the file again and require the same description.
      const IndexNames patched_names = index_names_;
      const std::shared_ptr<const Schema> read = LoadSchema(nullptr);
      assert(*read == *patched && index_names_ == patched_names &&
             "a patched schema copy differs from the file");
#endif
      return patched;
    }
  }
  for (const auto& [table, patch] : patches_) NoteTableChanged(table);
  return LoadSchema(schema_.get(), spare);
}

void SqliteStorage::RefreshAfterChange() {
  if (!schema_) return;  // dropped during the change: the next Describe reads it whole
  if (group_open_) {
    // Still uncommitted: ours alone, never shared, and no other writer can
    // have come between (the group holds the write lock).
    schema_header_.reset();
    schema_ = SchemaAfterOwnChange();
    return;
  }
  ReadTransaction read(*this);
  if (DataVersion() != schema_data_version_) {
    // Another connection committed after our change: our copy plus what we
    // changed would not be the file's state.
    schema_.reset();
    return;
  }
  schema_ = SchemaAfterOwnChange();
  const auto file_version = CurrentFileVersion();
  if (file_version) SqliteState(session_).schemas.Publish(*file_version, {schema_, index_names_});
  NoteSchemaHeader(file_version);
  read.End();
}

std::shared_ptr<const Schema> SqliteStorage::LoadSchema(const Schema* before,
                                                        bool before_is_spare) {
  // Made by make_shared as a Schema and only handed out as const: a spare
  // one may give up its parts.
  Schema* spare = before_is_spare ? const_cast<Schema*>(before) : nullptr;
  auto schema = std::make_shared<Schema>();
  const std::string where = In("the database");
  std::vector<std::string> names;
  std::vector<std::pair<std::string, std::string>> triggers;  // name, SQL
  {
    // Every object of the file, so that one the engine does not make is
    // refused before any of the file's data is read.
    auto stmt = Prepare(
        "SELECT type, name, rootpage, CASE WHEN type = 'trigger' THEN sql END, "
        "name LIKE 'sqlite\\_%' ESCAPE '\\' FROM sqlite_master ORDER BY rowid",
        where);
    while (stmt.Step()) {
      const std::string_view type = stmt.TextView(0);
      if (type == "index") continue;
      if (type == "table" && stmt.Int(2) != 0) {
        if (stmt.Int(4) == 0) names.push_back(stmt.Text(1));
      } else if (type == "trigger") {
        triggers.emplace_back(stmt.Text(1), stmt.Text(3));
      } else {
        RefuseObject(type == "table" ? "virtual table" : std::string(type), stmt.Text(1));
      }
    }
  }
  bool engine_tables = true;
  for (const char* table : kEngineTables) {
    bool found = false;
    for (const auto& name : names) found = found || name == table;
    engine_tables = engine_tables && found;
  }

  // Tables this connection did not change keep their description; the rest
  // (all of them when there is nothing to start from) are read from the file.
  std::map<std::string, const TableInfo*> kept;
  if (before != nullptr) {
    for (const auto& t : before->tables) {
      const std::string folded = FoldCase(t.name);
      if (!changed_tables_.contains(folded)) kept[folded] = &t;
    }
    std::erase_if(index_names_,
                  [&](const auto& entry) { return !kept.contains(entry.first.first); });
  } else {
    index_names_.clear();
  }
  // After our own change only the tables read again need their flags.
  std::set<std::string> reread;
  if (before != nullptr) {
    for (const auto& name : names) {
      auto k = kept.find(FoldCase(name));
      if (k == kept.end() || k->second->name != name) reread.insert(FoldCase(name));
    }
  }
  const EngineRows rows =
      engine_tables ? ReadEngineRows(before == nullptr ? nullptr : &reread) : EngineRows{};
  if (before == nullptr) {
    schema->tables = ReadTables(nullptr, rows);
  } else {
    for (const auto& name : names) {
      auto k = kept.find(FoldCase(name));
      if (k != kept.end() && k->second->name == name) {
        if (spare != nullptr) {
          schema->tables.push_back(std::move(*const_cast<TableInfo*>(k->second)));
        } else {
          schema->tables.push_back(*k->second);
        }
      } else {
        for (auto& table : ReadTables(&name, rows)) schema->tables.push_back(std::move(table));
      }
    }
  }

  // After our own change the relations and the queries it did not touch
  // are as they were (a dropped table may take relations with it).
  const bool relations_kept = before != nullptr && !relations_changed_;
  const bool queries_kept = before != nullptr && !queries_changed_;
  if (relations_kept) {
    schema->relations = spare != nullptr ? std::move(spare->relations) : before->relations;
  }
  if (queries_kept)
    schema->queries = spare != nullptr ? std::move(spare->queries) : before->queries;
  if (engine_tables && !relations_kept) ReadRelations(*schema);
  if (engine_tables && !queries_kept) ReadQueries(*schema);
  // The triggers are checked when the file is read whole; after our own
  // change they are the ones the engine wrote.
  if (!triggers.empty() && before == nullptr) CheckTriggers(triggers, schema->relations);
  return schema;
}

void SqliteStorage::ReadRelations(Schema& schema) {
  auto relations = Prepare(
      "SELECT \"szRelationship\", \"szReferencedObject\", \"szObject\", \"grbit\", "
      "\"szReferencedColumn\", \"szColumn\" FROM \"MSysRelationships\" ORDER BY rowid",
      In("the database"));
  std::map<std::string, size_t> position;
  while (relations.Step()) {
    const std::string name = relations.Text(0);
    auto [it, added] = position.try_emplace(FoldCase(name), schema.relations.size());
    if (added) {
      schema.relations.push_back(RelationInfo{name,
                                              relations.Text(1),
                                              relations.Text(2),
                                              static_cast<std::int32_t>(relations.Int(3)),
                                              {}});
    }
    schema.relations[it->second].fields.emplace_back(relations.Text(4), relations.Text(5));
  }
}

void SqliteStorage::ReadQueries(Schema& schema) {
  auto queries =
      Prepare("SELECT \"Name\", \"SQL\" FROM \"MSysQueries\" ORDER BY rowid", In("the database"));
  while (queries.Step()) schema.queries.push_back(QueryInfo{queries.Text(0), queries.Text(1)});
}

void SqliteStorage::RefuseObject(const std::string& kind, const std::string& object) const {
  throw Error(err::kUnrecognizedFormat,
              ErrorText(err::kUnrecognizedFormat, {name_}) + " It holds " + kind + " '" + object +
                  "', which this program does not make; the file is not used.",
              "'" + name_ + "'");
}

void SqliteStorage::CheckTriggers(const std::vector<std::pair<std::string, std::string>>& triggers,
                                  const std::vector<RelationInfo>& relations) const {
  // The triggers of the enforced relations, in the words the engine writes
  // them. A trigger of any other name, or of a relation's name with other
  // words, could change data behind the engine's back.
  std::map<std::string, std::string> expected;
  for (const auto& relation : relations) {
    if (relation.attributes & dbRelationDontEnforce) continue;
    for (auto& [name, sql] : RelationTriggers(relation)) expected.emplace(name, std::move(sql));
  }
  for (const auto& [name, sql] : triggers) {
    auto it = expected.find(name);
    if (it == expected.end() || it->second != sql) RefuseObject("trigger", name);
  }
}

SqliteStorage::EngineRows SqliteStorage::ReadEngineRows(const std::set<std::string>* tables) {
  const std::string where = In("the database");
  EngineRows rows;
  // NOCASE folds A-Z alone, as FoldCase does: the rows of one table under
  // any spelling of its name, read by SQLite without a string made per row.
  auto columns = Prepare(
      "SELECT \"TableName\", \"ColumnName\", \"AllowZeroLength\", \"Required\" FROM "
      "\"MSysColumns\" WHERE ?1 IS NULL OR \"TableName\" = ?1 COLLATE NOCASE",
      where);
  auto read_rows = [&] {
    while (columns.Step()) {
      rows.columns[FoldCase(columns.TextView(0))].push_back(
          ColumnFlags{columns.Text(1), columns.Int(2) != 0, columns.Int(3) != 0});
    }
  };
  if (tables == nullptr) {
    read_rows();
  } else {
    for (const std::string& table : *tables) {
      columns.Reset();
      columns.Bind(1, table);
      read_rows();
    }
  }
  auto indexes =
      Prepare("SELECT \"SqliteName\", \"IndexName\", \"IsPrimary\" FROM \"MSysIndexes\"", where);
  while (indexes.Step()) {
    rows.indexes[FoldCase(indexes.Text(0))] = {indexes.Text(1), indexes.Int(2) != 0};
  }
  return rows;
}

std::vector<TableInfo> SqliteStorage::ReadTables(const std::string* only, const EngineRows& rows) {
  const std::string where = In("the database");
  // The same two queries serve the whole file (?1 null) and one table.
  std::vector<TableInfo> tables;
  {
    auto stmt = Prepare(
        "SELECT m.name, p.name, p.type, p.\"notnull\" FROM sqlite_master m "
        "LEFT JOIN pragma_table_info(m.name) p WHERE m.type = 'table' "
        "AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND (?1 IS NULL OR m.name = ?1) "
        "ORDER BY m.rowid, p.cid",
        where);
    if (only != nullptr) stmt.Bind(1, *only);
    while (stmt.Step()) {
      const std::string table = stmt.Text(0);
      if (tables.empty() || tables.back().name != table) {
        tables.push_back(TableInfo{table, {}, {}});
      }
      if (stmt.IsNull(1)) continue;
      const DeclaredField type = TypeFromDeclared(stmt.Text(2));
      tables.back().columns.push_back(
          ColumnInfo{stmt.Text(1), type.type, type.size, false, stmt.Int(3) != 0});
    }
  }
  std::map<std::string, TableInfo*> by_name;
  for (auto& t : tables) {
    by_name[FoldCase(t.name)] = &t;
    auto flags = rows.columns.find(FoldCase(t.name));
    if (flags == rows.columns.end()) continue;
    for (const auto& row : flags->second) {
      for (auto& c : t.columns) {
        if (!SameNameIgnoringCase(c.name, row.column)) continue;
        c.allow_zero_length = row.allow_zero_length;
        c.required = c.required || row.required;
      }
    }
  }
  auto stmt = Prepare(
      "SELECT m.name, i.name, l.\"unique\", l.origin, c.name FROM sqlite_master m "
      "JOIN pragma_index_list(m.name) l JOIN sqlite_master i ON i.name = l.name "
      "JOIN pragma_index_info(l.name) c WHERE m.type = 'table' "
      "AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND (?1 IS NULL OR m.name = ?1) "
      "ORDER BY m.rowid, i.rowid, c.seqno",
      where);
  if (only != nullptr) stmt.Bind(1, *only);
  std::string last_table, last_index;
  while (stmt.Step()) {
    auto t = by_name.find(FoldCase(stmt.Text(0)));
    if (t == by_name.end()) continue;
    const std::string sqlite_name = stmt.Text(1);
    if (stmt.Text(0) != last_table || sqlite_name != last_index) {
      IndexInfo index{sqlite_name, stmt.Int(2) != 0, false, {}};
      if (auto j = rows.indexes.find(FoldCase(sqlite_name)); j != rows.indexes.end()) {
        index.name = j->second.first;
        index.primary = j->second.second;
      } else if (stmt.Text(3) == "pk") {
        index.name = "PrimaryKey";
        index.primary = true;
      }
      t->second->indexes.push_back(index);
      index_names_[{FoldCase(t->second->name), FoldCase(index.name)}] = sqlite_name;
      last_table = stmt.Text(0);
      last_index = sqlite_name;
    }
    t->second->indexes.back().fields.push_back(stmt.Text(4));
  }
  return tables;
}

// ---- tables and columns ----

void SqliteStorage::CreateTable(const TableInfo& table) {
  RequireChange();
  NoteTableChanged(table.name);
  const std::string where = In("table '" + table.name + "'");
  std::string sql = "CREATE TABLE " + QuoteIdentifier(table.name) + " (";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (i > 0) sql += ", ";
    sql += ColumnDefinition(table.columns[i]);
  }
  Execute(sql + ")", where);
  auto insert = Prepare(
      "INSERT OR REPLACE INTO \"MSysColumns\" (\"TableName\", \"ColumnName\", "
      "\"AllowZeroLength\", \"Required\") VALUES (?, ?, ?, ?)",
      where);
  for (const auto& column : table.columns) {
    insert.Bind(1, table.name);
    insert.Bind(2, column.name);
    insert.Bind(3, std::int64_t{column.allow_zero_length});
    insert.Bind(4, std::int64_t{column.required});
    insert.Step();
    insert.Reset();
  }
  for (const auto& index : table.indexes) CreateIndex(table.name, index);
}

void SqliteStorage::DropTable(const std::string& table) {
  RequireChange();
  NoteTableChanged(table);
  relations_changed_ = true;  // read them again, whatever the engine's rows say now
  const std::string where = In("table '" + table + "'");
  Execute("DROP TABLE " + QuoteIdentifier(table), where);
  for (const char* sql : {"DELETE FROM \"MSysColumns\" WHERE \"TableName\" = ?",
                          "DELETE FROM \"MSysIndexes\" WHERE \"TableName\" = ?"}) {
    auto stmt = Prepare(sql, where);
    stmt.Bind(1, table);
    stmt.Step();
  }
}

void SqliteStorage::AddColumn(const std::string& table, const ColumnInfo& column) {
  RequireChange();
  // Read back, the field has the type its declaration maps to and the
  // flags of its row in MSysColumns (its only row: the key ignores case).
  NoteTablePatch(table, [column](TableInfo& t, IndexNames&) {
    const DeclaredField declared = TypeFromDeclared(DeclaredType(column.type, column.size));
    t.columns.push_back(ColumnInfo{column.name, declared.type, declared.size,
                                   column.allow_zero_length, column.required});
  });
  const std::string where = In("field '" + column.name + "' of table '" + table + "'");
  Execute("ALTER TABLE " + QuoteIdentifier(table) + " ADD COLUMN " + ColumnDefinition(column),
          where);
  auto insert = Prepare(
      "INSERT OR REPLACE INTO \"MSysColumns\" (\"TableName\", \"ColumnName\", "
      "\"AllowZeroLength\", \"Required\") VALUES (?, ?, ?, ?)",
      where);
  insert.Bind(1, table);
  insert.Bind(2, column.name);
  insert.Bind(3, std::int64_t{column.allow_zero_length});
  insert.Bind(4, std::int64_t{column.required});
  insert.Step();
}

void SqliteStorage::DropColumn(const std::string& table, const std::string& column) {
  RequireChange();
  NoteTableChanged(table);
  const std::string where = In("field '" + column + "' of table '" + table + "'");
  Execute("ALTER TABLE " + QuoteIdentifier(table) + " DROP COLUMN " + QuoteIdentifier(column),
          where);
  auto stmt =
      Prepare("DELETE FROM \"MSysColumns\" WHERE \"TableName\" = ? AND \"ColumnName\" = ?", where);
  stmt.Bind(1, table);
  stmt.Bind(2, column);
  stmt.Step();
}

// ---- indexes ----

void SqliteStorage::CreateIndex(const std::string& table, const IndexInfo& index) {
  RequireChange();
  const std::string where = In("index '" + index.name + "' of table '" + table + "'");
  // A SQLite name no other object of the file has (SQLite compares them
  // without regard to ASCII case).
  std::string sqlite_name = table + "_" + index.name;
  for (int n = 2;; ++n) {
    auto taken = Prepare("SELECT 1 FROM sqlite_master WHERE name = ? COLLATE NOCASE", where);
    taken.Bind(1, sqlite_name);
    if (!taken.Step()) break;
    sqlite_name = table + "_" + index.name + "_" + std::to_string(n);
  }
  std::string sql =
      std::string(index.unique || index.primary ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
      QuoteIdentifier(sqlite_name) + " ON " + QuoteIdentifier(table) + " (";
  for (size_t i = 0; i < index.fields.size(); ++i) {
    if (i > 0) sql += ", ";
    sql += QuoteIdentifier(index.fields[i]);
  }
  Execute(sql + ")", where);
  auto insert = Prepare(
      "INSERT INTO \"MSysIndexes\" (\"TableName\", \"IndexName\", \"SqliteName\", "
      "\"IsPrimary\") VALUES (?, ?, ?, ?)",
      where);
  insert.Bind(1, table);
  insert.Bind(2, index.name);
  insert.Bind(3, sqlite_name);
  insert.Bind(4, std::int64_t{index.primary});
  insert.Step();
  // Read back, the index comes last in its table (the newest in the file),
  // unique when primary, over the fields as the table spells them.
  NoteTablePatch(table, [index, sqlite_name](TableInfo& t, IndexNames& names) {
    IndexInfo stored{index.name, index.unique || index.primary, index.primary, {}};
    for (const std::string& field : index.fields) {
      const ColumnInfo* column = t.FindColumn(field);
      stored.fields.push_back(column != nullptr ? column->name : field);
    }
    t.indexes.push_back(std::move(stored));
    names[{FoldCase(t.name), FoldCase(index.name)}] = sqlite_name;
  });
}

std::string SqliteStorage::StoredIndexName(const std::string& table, const std::string& index) {
  Describe();
  auto it = index_names_.find({FoldCase(table), FoldCase(index)});
  return it == index_names_.end() ? index : it->second;
}

void SqliteStorage::DropIndex(const std::string& table, const std::string& index) {
  RequireChange();
  NoteTablePatch(table, [index](TableInfo& t, IndexNames& names) {
    std::erase_if(t.indexes,
                  [&](const IndexInfo& i) { return SameNameIgnoringCase(i.name, index); });
    names.erase({FoldCase(t.name), FoldCase(index)});
  });
  const std::string where = In("index '" + index + "' of table '" + table + "'");
  const std::string sqlite_name = StoredIndexName(table, index);
  Execute("DROP INDEX " + QuoteIdentifier(sqlite_name), where);
  auto stmt = Prepare("DELETE FROM \"MSysIndexes\" WHERE \"SqliteName\" = ?", where);
  stmt.Bind(1, sqlite_name);
  stmt.Step();
}

// ---- stored queries ----

void SqliteStorage::CreateQuery(const QueryInfo& query) {
  RequireChange();
  queries_changed_ = true;
  auto insert = Prepare("INSERT INTO \"MSysQueries\" (\"Name\", \"SQL\") VALUES (?, ?)",
                        In("query '" + query.name + "'"));
  insert.Bind(1, query.name);
  insert.Bind(2, query.sql);
  insert.Step();
}

void SqliteStorage::DropQuery(const std::string& query) {
  RequireChange();
  queries_changed_ = true;
  auto stmt =
      Prepare("DELETE FROM \"MSysQueries\" WHERE \"Name\" = ?", In("query '" + query + "'"));
  stmt.Bind(1, query);
  stmt.Step();
}

}  // namespace actualiz::engine
