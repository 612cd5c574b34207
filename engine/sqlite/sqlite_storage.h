// Storage over a SQLite file.
//
// One connection per open database; no statement stays open between calls
// (every statement is reset when its call returns), so a handle never holds
// a lock that would block another handle or process. Writes run in
// BEGIN IMMEDIATE ... COMMIT with a rollback journal and synchronous FULL:
// a change is whole and on disk when its call returns, and a process killed
// in the middle leaves a journal that the next opener rolls back. While
// changes are grouped (change_groups.h) each change is a savepoint of one
// transaction that reaches the disk when the database is closed. Hand-off
// files (hand_off.h) keep the journal but not the wait for the disk. A file
// locked by another process is waited for about three seconds, then the
// call fails with 3045.
//
// The engine's metadata lives in four tables of the file itself:
//   MSysColumns        AllowZeroLength and Required per column
//   MSysIndexes        Jet index name per table -> SQLite index name, primary flag
//   MSysRelationships  one row per field pair, with Jet's column names
//   MSysQueries        stored query name and text, in stored order
// They are made by CreateDatabase, and by the first change of a plain
// SQLite file that lacks them. docs/engine.md tells the whole mapping.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/error.h"
#include "engine/sqlite/sqlite_shared_schema.h"
#include "engine/storage.h"

struct sqlite3;
struct sqlite3_stmt;

namespace actualiz::engine {

class Session;
class SqliteStatement;
struct SessionState;

class SqliteStorage final : public Storage {
 public:
  // Opens an existing SQLite file (the caller has checked that it is one)
  // in `session`, which must outlive the storage, taking back a connection
  // the session kept when there is one. `name` is the file as errors name
  // it. Fails with 3343 when SQLite cannot read it, 3045 when another
  // process keeps it locked.
  static std::unique_ptr<SqliteStorage> Open(Session& session, const std::string& host_path,
                                             const std::string& name, bool read_only);
  // Creates a new file with the engine's tables. The caller has checked that
  // nothing exists at `host_path`; on failure no file is left behind.
  static std::unique_ptr<SqliteStorage> Create(Session& session, const std::string& host_path,
                                               const std::string& name);
  ~SqliteStorage() override;

  bool ReadOnly() const override { return read_only_; }
  std::shared_ptr<const Schema> Describe() override;
  // Makes the change in a transaction of its own, or, while changes are
  // grouped (change_groups.h), in a savepoint of the connection's group.
  void Change(const std::function<void(const Schema&)>& change) override;
  // Stores the group of changes made since the database was opened, if any.
  // On failure the whole group is undone and the Error says so.
  // Nothing while the connection is held until a commit.
  void CommitGroup();
  void Finish() override { CommitGroup(); }
  // Holds the changes made from now on until CommitHeld or RollBackHeld
  // (sqlite_held_connections.h): closing the database commits nothing.
  // Its reads share the held transaction too, so the file is locked once
  // for the hold instead of at every statement.
  void HoldUntilCommit();
  // Commits what is held, durably, and ends the hold. Raises the failure
  // that undid the held changes, when one did, or the commit's own.
  void CommitHeld();
  // Undoes what is held and ends the hold.
  void RollBackHeld();
  // Kept by the session for the next open of the same file while keeping is
  // on (sqlite_idle_connections.h); closed otherwise.
  void Retire(std::unique_ptr<Storage> self) override;

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

  // Internal to the SQLite storage's own files.
  sqlite3* Handle() const { return db_; }
  const std::string& HostPath() const { return host_path_; }
  // The file the connection has open, when that is certain.
  const std::optional<FileIdentity>& Identity() const { return identity_; }
  // Opened read-only by the caller's choice (the file may still have been
  // opened read-only by SQLite when the caller asked to write).
  bool RequestedReadOnly() const { return requested_read_only_; }
  // No change or statement running and the file known: the connection holds
  // no lock and may be kept for a later open (sqlite_idle_connections.h).
  bool Idle() const;
  // A cached prepared statement for `sql`, reset when the result goes.
  SqliteStatement Prepare(const std::string& sql, std::string context = {});
  // Runs statements that return no rows, uncached. Fails as Prepare/Step do.
  void Execute(const std::string& sql, const std::string& context = {});
  // Raises the Error for SQLite's result code `rc` on this connection.
  [[noreturn]] void Fail(int rc, const std::string& context) const;
  // "<what> in '<file>'".
  std::string In(const std::string& what) const;

 private:
  SqliteStorage(SessionState& session, sqlite3* db, std::string name, bool read_only);
  // A connection `session` kept of `host_path` made ready for the caller
  // naming the file `name`; nothing when there is none or it no longer
  // reads the file.
  static std::unique_ptr<SqliteStorage> Reuse(SessionState& session, const std::string& host_path,
                                              const std::string& name, bool read_only);
  // Records which file (device, inode) the connection has open, when that
  // is certain; without it the connection never shares its schema.
  void NoteIdentity(const std::string& host_path, std::optional<FileIdentity> identity);
  void Configure();
  // PRAGMA data_version: moves when another connection or process commits.
  std::int64_t DataVersion();
  // The version under which the file's current state is shared, or nothing
  // when it cannot be shared (WAL mode, the path names another file now,
  // identity unknown). Only while this connection holds the read lock.
  std::optional<FileVersion> CurrentFileVersion();
  // Database header bytes 24..99 (the change counter first), read through
  // SQLite's own handle; nothing in WAL mode or when it cannot be read.
  using HeaderVersion = std::array<unsigned char, 76>;
  std::optional<HeaderVersion> ReadHeaderVersion();
  // True when our schema copy was read (or checked) under the read lock with
  // the header the file still has: no commit since, so no lock is needed.
  bool SchemaStillCurrent();
  void NoteSchemaHeader(const std::optional<FileVersion>& version);
  void EnsureEngineTables();
  void MakeEngineTables();
  // What the engine's tables say about columns and indexes.
  struct ColumnFlags {
    std::string column;
    bool allow_zero_length = false;
    bool required = false;
  };
  struct EngineRows {
    std::map<std::string, std::vector<ColumnFlags>> columns;  // by folded table name
    // folded SQLite index name -> (Jet name, primary)
    std::map<std::string, std::pair<std::string, bool>> indexes;
  };
  // Reads the schema from the file. With `before` (the schema just before
  // this connection's change, nobody else having written since), the
  // tables the change did not touch, and its relations and queries when it
  // did not change those, are taken from it instead of read: moved out of
  // it when `before_is_spare` (nobody else holds it), copied otherwise.
  std::shared_ptr<const Schema> LoadSchema(const Schema* before, bool before_is_spare = false);
  // The engine's rows: the column flags of the tables in `tables` (folded
  // names; of every table when null) and every index row.
  EngineRows ReadEngineRows(const std::set<std::string>* tables);
  // The tables with their columns and indexes, in the file's order: all of
  // them, or only the one named `only` (none when it is not there). Records
  // their indexes' SQLite names.
  std::vector<TableInfo> ReadTables(const std::string* only, const EngineRows& rows);
  // Marks `table` as changed by the running change: read again after it.
  void NoteTableChanged(const std::string& table);
  // A change to one table's description that the engine knows exactly (a
  // field or an index added, an index removed), applied to the schema copy
  // after the change instead of reading the table again.
  using TablePatch = std::function<void(TableInfo&, IndexNames&)>;
  void NoteTablePatch(const std::string& table, TablePatch patch);
  // The schema after this connection's change, nobody else having written
  // since: the copy before it patched when every change was a patch, read
  // (in part) from the file otherwise.
  std::shared_ptr<const Schema> SchemaAfterOwnChange();
  // The copy `schema_` with the running change's patches applied (moved out
  // of it when `spare`); nothing when a table to patch is not in it.
  std::shared_ptr<Schema> PatchedSchema(bool spare);
  // Relations and stored queries as the engine's tables hold them.
  void ReadRelations(Schema& schema);
  void ReadQueries(Schema& schema);
  // Brings the cached schema up to date after a committed change of ours.
  void RefreshAfterChange();
  // Fails with 3343 naming `object`, an object of the file the engine does
  // not make (`kind`: "view", "trigger", ...).
  [[noreturn]] void RefuseObject(const std::string& kind, const std::string& object) const;
  // Fails unless every trigger in `triggers` (name, SQL) is one that the
  // engine writes for an enforced relation of `relations`, word for word.
  void CheckTriggers(const std::vector<std::pair<std::string, std::string>>& triggers,
                     const std::vector<RelationInfo>& relations) const;
  void CreateTriggers(const RelationInfo& relation);
  void DropTriggers(const std::string& relation);
  void CheckRelationData(const RelationInfo& relation);
  std::string StoredIndexName(const std::string& table, const std::string& index);
  void RequireChange() const;
  // While changes are grouped (the batch), a row written to a hand-off file
  // joins the transaction the database's other rows were written in since
  // it was opened, started here and stored at the close: a catalogue filled
  // row by row pays one journal, not one per row.
  void GroupHandOffRows();
  // Likewise for reads: the first read of a hand-off file opens the group
  // (deferred, so it takes only the read lock until a row is written), and
  // every read after it shares that lock instead of taking and dropping it,
  // with SQLite's check for a journal left by a killed process, at each
  // statement. The catalogues are read row by row as their view moves.
  void GroupHandOffReads();
  // Undoes a change that failed: its own transaction, or within a group its
  // savepoint alone. True when a group was lost with it (SQLite ended the
  // whole transaction).
  bool AbandonChange(bool grouped);
  // `failure` saying that the group's earlier changes were undone too; a
  // held connection remembers it and refuses further changes until the
  // commit.
  Error GroupLost(const Error& failure);

  SessionState& session_;
  sqlite3* db_ = nullptr;
  std::string name_;
  bool read_only_ = false;
  bool requested_read_only_ = false;
  bool in_change_ = false;
  bool group_open_ = false;  // a transaction holds the changes since the open
  bool held_ = false;        // the transaction lasts until CommitHeld
  bool hand_off_ = false;    // a hand-off file (hand_off.h)
  // Why the held changes were undone, when a failure ended the transaction.
  std::optional<Error> held_lost_;
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
  std::shared_ptr<const Schema> schema_;
  std::int64_t schema_data_version_ = -1;
  // The header the file had when schema_ was last known to match it outside
  // a transaction; nothing when that is not known.
  std::optional<HeaderVersion> schema_header_;
  // Folded names of the tables the running change created, dropped or altered.
  std::set<std::string> changed_tables_;
  // The running change stored or removed a relation, or a query.
  bool relations_changed_ = false;
  bool queries_changed_ = false;
  // The running change's patches, in order, by table.
  std::vector<std::pair<std::string, TablePatch>> patches_;
  IndexNames index_names_;
  std::string host_path_;
  std::optional<FileIdentity> identity_;
};

// A prepared statement borrowed from the connection's cache. Resets the
// statement (releasing any lock it took) when it goes.
class SqliteStatement {
 public:
  SqliteStatement(SqliteStorage& storage, sqlite3_stmt* stmt, std::string context);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  // Binds parameter `index` (from 1).
  void Bind(int index, const Value& value);
  void Bind(int index, const std::string& text);
  void Bind(int index, std::int64_t number);
  // Makes the statement ready to run again with new bindings.
  void Reset();
  // True while a row is available; false when done. Fails with the Error
  // the result code means.
  bool Step();
  std::int64_t Int(int column) const;
  std::string Text(int column) const;
  // The column's text, valid until the next Step or Reset.
  std::string_view TextView(int column) const;
  bool IsNull(int column) const;
  // The column's value as a field of Jet type `type` reports it.
  Value Get(int column, int type) const;

 private:
  SqliteStorage& storage_;
  sqlite3_stmt* stmt_;
  std::string context_;
};

// "\"name\"" with inner double quotes doubled: an identifier for SQLite.
std::string QuoteIdentifier(std::string_view name);
// "'text'" with inner apostrophes doubled: a literal for SQLite.
std::string QuoteLiteral(std::string_view text);
// The triggers that keep relation `relation` enforced, as (name, CREATE
// TRIGGER statement) in the words the engine writes them; SQLite keeps
// that text in the file as it was given.
std::vector<std::pair<std::string, std::string>> RelationTriggers(const RelationInfo& relation);

}  // namespace actualiz::engine
