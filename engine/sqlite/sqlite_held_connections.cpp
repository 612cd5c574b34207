#include "engine/sqlite/sqlite_held_connections.h"

#include "engine/session.h"
#include "engine/sqlite/sqlite_session.h"
#include "engine/sqlite/sqlite_storage.h"

namespace actualiz::engine {

namespace {

// One open database on a held connection. Closing it stores nothing (the
// commit does); a read-only open refuses to write as a connection of its
// own would.
class HeldSqliteStorage final : public Storage {
 public:
  HeldSqliteStorage(std::shared_ptr<HeldConnection> held, bool read_only)
      : held_(std::move(held)), read_only_(read_only) {}

  bool ReadOnly() const override { return read_only_ || Core().ReadOnly(); }
  // After the commit a database still open on the connection stores its
  // changes at its close, as a connection of its own does.
  void Finish() override { Core().Finish(); }
  std::shared_ptr<const Schema> Describe() override { return Core().Describe(); }
  void Change(const std::function<void(const Schema&)>& change) override {
    Writable(Core().In("the database"));
    Core().Change(change);
  }
  void CreateTable(const TableInfo& table) override { Core().CreateTable(table); }
  void DropTable(const std::string& table) override { Core().DropTable(table); }
  void AddColumn(const std::string& table, const ColumnInfo& column) override {
    Core().AddColumn(table, column);
  }
  void DropColumn(const std::string& table, const std::string& column) override {
    Core().DropColumn(table, column);
  }
  void CreateIndex(const std::string& table, const IndexInfo& index) override {
    Core().CreateIndex(table, index);
  }
  void DropIndex(const std::string& table, const std::string& index) override {
    Core().DropIndex(table, index);
  }
  void CreateRelation(const RelationInfo& relation) override { Core().CreateRelation(relation); }
  void DropRelation(const std::string& relation) override { Core().DropRelation(relation); }
  void CreateQuery(const QueryInfo& query) override { Core().CreateQuery(query); }
  void DropQuery(const std::string& query) override { Core().DropQuery(query); }
  void CheckQuery(const std::string& sql) override { Core().CheckQuery(sql); }
  std::vector<std::int64_t> SelectKeys(const std::string& table, const std::string& tail) override {
    return Core().SelectKeys(table, tail);
  }
  std::optional<Row> ReadRow(const std::string& table, const std::vector<ColumnInfo>& columns,
                             std::int64_t key) override {
    return Core().ReadRow(table, columns, key);
  }
  std::int64_t InsertRow(const std::string& table, const std::vector<std::string>& columns,
                         const Row& values) override {
    Writable(Core().In("table '" + table + "'"));
    return Core().InsertRow(table, columns, values);
  }
  void UpdateRow(const std::string& table, std::int64_t key,
                 const std::vector<std::string>& columns, const Row& values) override {
    Writable(Core().In("table '" + table + "'"));
    Core().UpdateRow(table, key, columns, values);
  }
  void DeleteRow(const std::string& table, std::int64_t key) override {
    Writable(Core().In("table '" + table + "'"));
    Core().DeleteRow(table, key);
  }

 private:
  SqliteStorage& Core() const { return *held_->storage; }
  void Writable(const std::string& where) const {
    if (read_only_) throw MakeError(err::kReadOnly, where);
  }

  std::shared_ptr<HeldConnection> held_;
  bool read_only_;
};

}  // namespace

HeldConnection::~HeldConnection() {
  // The connection goes where a closed database's goes: kept for the next
  // open while the session keeps connections, closed otherwise.
  if (storage) {
    SqliteStorage* retiring = storage.get();
    retiring->Retire(std::move(storage));
  }
}

std::shared_ptr<HeldConnection> HeldConnections::Find(const std::string& host_path) const {
  const auto it = held_.find(host_path);
  return it == held_.end() ? nullptr : it->second;
}

std::shared_ptr<HeldConnection> HeldConnections::Hold(const std::string& host_path,
                                                      std::unique_ptr<SqliteStorage> storage) {
  storage->HoldUntilCommit();
  auto held = std::make_shared<HeldConnection>();
  held->storage = std::move(storage);
  held_[host_path] = held;
  return held;
}

std::vector<Error> HeldConnections::Commit() {
  std::vector<Error> failures;
  // The databases still open on a connection keep it until they close.
  for (auto& [path, held] : std::exchange(held_, {})) {
    try {
      held->storage->CommitHeld();
    } catch (const Error& e) {
      failures.push_back(e);
    }
  }
  return failures;
}

void HeldConnections::RollBack() {
  holding_ = false;
  for (auto& [path, held] : std::exchange(held_, {})) held->storage->RollBackHeld();
}

std::unique_ptr<Storage> OpenSqliteStorage(Session& session, const std::string& host_path,
                                           const std::string& name, bool read_only) {
  HeldConnections& held = SqliteState(session.State()).held;
  if (!held.Holding()) return SqliteStorage::Open(session, host_path, name, read_only);
  if (auto connection = held.Find(host_path)) {
    return std::make_unique<HeldSqliteStorage>(std::move(connection), read_only);
  }
  // Hand-off files are emptied and written again at every use: their
  // changes are not worth holding.
  if (read_only || session.IsHandOff(host_path)) {
    return SqliteStorage::Open(session, host_path, name, read_only);
  }
  std::unique_ptr<SqliteStorage> storage = SqliteStorage::Open(session, host_path, name, false);
  if (storage->ReadOnly()) return storage;  // a file we may not write
  return std::make_unique<HeldSqliteStorage>(held.Hold(host_path, std::move(storage)), false);
}

bool HeldInSession(const Session& session, const std::string& host_path) {
  const HeldConnections& held = SqliteState(session.State()).held;
  return held.Holding() && held.Find(host_path) != nullptr;
}

}  // namespace actualiz::engine
