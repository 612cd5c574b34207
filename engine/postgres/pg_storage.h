// Storage over one schema of a PostgreSQL database: a customer database on
// a server (base/server_address.h tells how it is named).
//
// One connection per open database. Every change is one transaction; while
// the session groups changes (change_groups.h) the database's changes and
// row writes share one transaction committed at Finish, each inside a
// savepoint so that a failing one is undone alone (the server ends a whole
// transaction on any failed statement otherwise). While the session holds
// server changes until a commit (GroupChangesUntilCommit), every
// open of the schema shares one connection and its transaction, which only
// that commit ends (pg_connection.h). A lost connection loses the open
// transaction on the server: the schema stays as it was. A lock
// held by another session is waited for as long as a file lock, then the
// call fails with 3045.
//
// Jet's objects map onto the schema (docs/server.md):
//   table     a table with a hidden bigint identity column "actualiz.key"
//             (a name no Jet field can take: the row key, never described)
//   field     a column of the type pg_types.cpp picks; text columns use
//             the schema's case-insensitive collation "actualiz.nocase"
//   index     an index with a generated name; MSysIndexes keeps the Jet
//             name; a primary key is a PRIMARY KEY constraint
//   relation  rows of MSysRelationships as in the engine's files, and a
//             FOREIGN KEY constraint with the relation's cascades unless
//             the relation is not enforced
//   query     a row of MSysQueries
// A schema holding anything else (a view, a function, a trigger, a table
// without the row key, ...) is not ours: 3343.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/server_address.h"
#include "engine/storage.h"

struct pg_conn;
struct pg_result;

namespace actualiz::engine {

struct SessionState;
struct PgConnection;
class Session;

// A result of the server, freed when it goes.
class PgResult {
 public:
  explicit PgResult(pg_result* result) : result_(result) {}
  ~PgResult();
  PgResult(PgResult&& other) noexcept : result_(other.result_) { other.result_ = nullptr; }
  PgResult(const PgResult&) = delete;
  PgResult& operator=(const PgResult&) = delete;
  int Rows() const;
  bool IsNull(int row, int column) const;
  std::string Text(int row, int column) const;
  std::int64_t Int(int row, int column) const;
  bool Bool(int row, int column) const;
  pg_result* Raw() const { return result_; }

 private:
  pg_result* result_;
};

// A parameter of a statement: text, or bytes sent as they are; null when absent.
struct PgParam {
  std::optional<std::string> value;
  bool binary = false;
};

class PgStorage final : public Storage {
 public:
  // Opens the customer database `address` names, in `session`. Fails with
  // 3151 when the server cannot be reached, refuses the user or has no
  // such database (the context tells which, in the server's words), 3024
  // when the schema does not exist, 3343 when it holds objects the engine
  // does not make.
  static std::unique_ptr<PgStorage> Open(Session& session, const ServerAddress& address,
                                         const std::string& name);
  // Makes the schema with the engine's tables; 3204 when it exists.
  static std::unique_ptr<PgStorage> Create(Session& session, const ServerAddress& address,
                                           const std::string& name);
  // Drops the schema `address` names with everything in it: undoing a
  // create that could not be finished. Fails with 3151 when the server
  // cannot be reached.
  static void DropSchema(const ServerAddress& address);
  // The schemas of the server database `location` names that can be
  // customer databases: all but the server's own and an empty "public".
  // 3151 when the server cannot be reached.
  static std::vector<std::string> ListSchemas(const ServerAddress& location);
  ~PgStorage() override;

  bool ReadOnly() const override { return false; }
  std::shared_ptr<const Schema> Describe() override;
  void Change(const std::function<void(const Schema&)>& change) override;
  // Commits the group of changes made since the open, if any; on failure
  // none of it is kept and the Error says so.
  void Finish() override;

  void CreateTable(const TableInfo& table) override;
  void DropTable(const std::string& table) override;
  void AddColumn(const std::string& table, const ColumnInfo& column) override;
  void DropColumn(const std::string& table, const std::string& column) override;
  void CreateIndex(const std::string& table, const IndexInfo& index) override;
  void DropIndex(const std::string& table, const std::string& index) override;
  void CreateRelation(const RelationInfo& relation) override;
  void DropRelation(const std::string& relation) override;
  void CreateQuery(const QueryInfo& query) override;
  void DropQuery(const std::string& query) override;
  void CheckQuery(const std::string& sql) override;

  std::vector<std::int64_t> SelectKeys(const std::string& table, const std::string& tail) override;
  std::optional<Row> ReadRow(const std::string& table, const std::vector<ColumnInfo>& columns,
                             std::int64_t key) override;
  std::int64_t InsertRow(const std::string& table, const std::vector<std::string>& columns,
                         const Row& values) override;
  void UpdateRow(const std::string& table, std::int64_t key,
                 const std::vector<std::string>& columns, const Row& values) override;
  void DeleteRow(const std::string& table, std::int64_t key) override;

 private:
  PgStorage(SessionState& session, std::shared_ptr<PgConnection> connection, ServerAddress address,
            std::string name);
  // A new connection to the database of `address`, with the engine's
  // settings; 3151 when the server cannot be reached.
  static std::shared_ptr<PgConnection> Connect(const ServerAddress& address,
                                               const std::string& name);
  // Runs `sql` with `params` ($1, ...). Fails with the Error the server's
  // failure means, `context` naming the object; `op` tells a write of rows
  // apart for the relation numbers (3200 deleting or re-keying a primary
  // row, 3201 writing a referencing row).
  enum class Op { kOther, kInsert, kUpdate, kDelete, kRelation };
  PgResult Exec(const std::string& sql, const std::vector<PgParam>& params = {},
                const std::string& context = {}, Op op = Op::kOther);
  [[noreturn]] void Fail(pg_result* result, const std::string& context, Op op);
  // Runs a row write: in a savepoint while a transaction is open.
  PgResult Write(const std::string& sql, const std::vector<PgParam>& params,
                 const std::string& context, Op op);
  bool InTransaction() const;
  // "\"schema\".\"name\"".
  std::string Qualified(const std::string& name) const;
  std::string In(const std::string& what) const;
  std::string SchemaOid();
  // The engine's tables and collation, each made unless it is there.
  void MakeEngineTables();
  // The foreign key of an enforced relation.
  void AddRelationConstraint(const RelationInfo& relation, const std::string& where);
  // Gives back their constraints to the enforced relations whose primary
  // table is `table` and that lost theirs with an index they referenced,
  // where a unique index now covers their fields.
  void RestoreRelationConstraints(const std::string& table);
  void RecordColumn(const std::string& table, const ColumnInfo& column, const std::string& where);
  std::shared_ptr<const Schema> LoadSchema();
  [[noreturn]] void RefuseObject(const std::string& kind, const std::string& object) const;
  void RequireChange() const;
  // An index name free in the schema, made from the table's and index's.
  std::string NewIndexName(const std::string& table, const std::string& index);
  std::string StoredIndexName(const std::string& table, const std::string& index);
  // The Jet types of the columns of `table`, by stored name.
  const TableInfo& TableOf(const std::string& table);

  // Begins the held group's transaction before a row write outside any
  // change, so that the write is kept or undone with the group.
  void JoinHeldGroup(const std::string& context);
  // What a lost transaction took with it, as errors say it.
  std::string Undone() const;

  SessionState& session_;
  // Shared with the other opens of the schema while the session holds it
  // for a commit (pg_connection.h); it carries the transaction's state and
  // the schema as last read.
  std::shared_ptr<PgConnection> connection_;
  pg_conn* conn_ = nullptr;  // connection_->conn
  ServerAddress address_;
  std::string name_;
  bool in_change_ = false;
  std::string write_table_;  // the table of the row being updated, for Fail
};

// "\"name\"" with inner double quotes doubled: an identifier for the server.
std::string PgIdentifier(std::string_view name);

}  // namespace actualiz::engine
