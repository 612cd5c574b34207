// The seam between the DAO objects and the file underneath.
//
// The DAO objects (dao_*.cpp) keep Jet's rules: names, duplicates, field
// rules, what each collection checks. A Storage keeps the file: it describes
// what is stored (a Schema snapshot), reads and writes rows, and carries out
// schema changes. SqliteStorage is the one storage today; another (a reader
// of other database files, a database server) fits behind the same calls
// without any caller of the engine noticing.
//
// Names passed to a Storage are the stored spelling (the DAO layer resolves
// names without regard to case first). Every failure is an actualiz::Error.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/value.h"

namespace actualiz::engine {

struct ColumnInfo {
  std::string name;
  std::int16_t type = 0;  // Jet type code
  std::int32_t size = 0;  // Jet's reported size
  bool allow_zero_length = false;
  bool required = false;
  bool operator==(const ColumnInfo&) const = default;
};

struct IndexInfo {
  std::string name;  // the Jet name, unique within its table
  bool unique = false;
  bool primary = false;
  std::vector<std::string> fields;  // in key order
  bool operator==(const IndexInfo&) const = default;
};

struct TableInfo {
  std::string name;
  std::vector<ColumnInfo> columns;                              // in column order
  std::vector<IndexInfo> indexes;                               // in stored order
  const ColumnInfo* FindColumn(std::string_view column) const;  // ignoring case; null if none
  const IndexInfo* FindIndex(std::string_view index) const;     // ignoring case; null if none
  bool operator==(const TableInfo&) const = default;
};

struct RelationInfo {
  std::string name;
  std::string table;          // primary (referenced) table
  std::string foreign_table;  // referencing table
  std::int32_t attributes = 0;
  // (field of `table`, field of `foreign_table`), in stored order.
  std::vector<std::pair<std::string, std::string>> fields;
  bool operator==(const RelationInfo&) const = default;
};

struct QueryInfo {
  std::string name;
  std::string sql;
  bool operator==(const QueryInfo&) const = default;
};

// What a database holds, in the engine's order. Immutable once made.
struct Schema {
  std::vector<TableInfo> tables;
  std::vector<RelationInfo> relations;
  std::vector<QueryInfo> queries;
  const TableInfo* FindTable(std::string_view table) const;           // null if none
  const RelationInfo* FindRelation(std::string_view relation) const;  // null if none
  const QueryInfo* FindQuery(std::string_view query) const;           // null if none
  bool operator==(const Schema&) const = default;
};

using Row = std::vector<Value>;

class Storage {
 public:
  virtual ~Storage() = default;

  virtual bool ReadOnly() const = 0;

  // Called when the database is closed: stores what the storage still holds
  // back (the changes grouped since the open), raising the Error when that
  // fails. Nothing by default.
  virtual void Finish() {}
  // Takes the storage's own ownership when its database closes, instead of
  // destroying it. A storage that can serve a later open of the same file
  // (a SQLite connection kept by its session) keeps itself; by default it
  // is destroyed here.
  virtual void Retire(std::unique_ptr<Storage> self) { self.reset(); }

  // The stored schema as it stands now (another handle's changes included).
  virtual std::shared_ptr<const Schema> Describe() = 0;

  // Runs `change` as one atomic change that is durable when Change returns:
  // `change` receives the schema as it stands inside the change and calls
  // the schema operations below; when it throws, nothing of it is stored
  // and the failure goes on to the caller. Fails with 3027 on a storage
  // that can only be read.
  virtual void Change(const std::function<void(const Schema&)>& change) = 0;

  // Schema operations: only inside Change. They trust their arguments (the
  // DAO layer has checked names and duplicates) except where the stored
  // data decides: a unique index over duplicates fails with 3022, an
  // enforced relation over data that breaks it with 3379.
  virtual void CreateTable(const TableInfo& table) = 0;  // with its indexes
  virtual void DropTable(const std::string& table) = 0;
  virtual void AddColumn(const std::string& table, const ColumnInfo& column) = 0;
  virtual void DropColumn(const std::string& table, const std::string& column) = 0;
  virtual void CreateIndex(const std::string& table, const IndexInfo& index) = 0;
  virtual void DropIndex(const std::string& table, const std::string& index) = 0;
  virtual void CreateRelation(const RelationInfo& relation) = 0;
  virtual void DropRelation(const std::string& relation) = 0;
  virtual void CreateQuery(const QueryInfo& query) = 0;
  virtual void DropQuery(const std::string& query) = 0;

  // Fails unless `sql` is a statement the storage can run (3129, 3075, 3078,
  // 3142, ...). Runs nothing.
  virtual void CheckQuery(const std::string& sql) = 0;

  // Rows are addressed by a key fixed for the row's life.
  // Keys of the rows of `table`; `tail` is "" or a "where ..."/"order by ..."
  // clause in the query language. Order: key order unless `tail` orders.
  virtual std::vector<std::int64_t> SelectKeys(const std::string& table,
                                               const std::string& tail) = 0;
  // The row's values for `columns` (converted to their Jet types), or
  // nothing when the row no longer exists.
  virtual std::optional<Row> ReadRow(const std::string& table,
                                     const std::vector<ColumnInfo>& columns, std::int64_t key) = 0;
  // Each an atomic change; values already converted to the columns' types.
  // Unique indexes fail with 3022, enforced relations with 3200 and 3201.
  virtual std::int64_t InsertRow(const std::string& table, const std::vector<std::string>& columns,
                                 const Row& values) = 0;
  virtual void UpdateRow(const std::string& table, std::int64_t key,
                         const std::vector<std::string>& columns, const Row& values) = 0;
  virtual void DeleteRow(const std::string& table, std::int64_t key) = 0;
};

}  // namespace actualiz::engine
