#include "tests/support/failing_storage.h"

#include <utility>

#include "engine/session_state.h"

namespace actualiz::testing {
namespace {

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class FailingStorage final : public engine::Storage {
 public:
  FailingStorage(std::unique_ptr<engine::Storage> inner, std::shared_ptr<FaultPlan> plan,
                 bool counted, std::shared_ptr<engine::SessionState> session, std::string name)
      : inner_(std::move(inner)),
        plan_(std::move(plan)),
        counted_(counted),
        session_(std::move(session)),
        name_(std::move(name)) {}

  bool ReadOnly() const override { return inner_->ReadOnly(); }
  void Finish() override {
    if (grouped_ && Hit(Fault::kCommit)) {
      grouped_ = false;
      Raise();  // the database is let go with the group uncommitted: SQLite undoes it
    }
    inner_->Finish();
  }
  std::shared_ptr<const engine::Schema> Describe() override { return inner_->Describe(); }
  void Change(const std::function<void(const engine::Schema&)>& change) override {
    if (Hit(Fault::kChange)) Raise();
    inner_->Change([&](const engine::Schema& schema) {
      change(schema);
      // Inside a group the commit comes with the close; otherwise the
      // change commits on its own when this returns.
      if (!InGroup() && Hit(Fault::kCommit)) Raise();
    });
    if (InGroup()) grouped_ = true;
  }
  void CreateTable(const engine::TableInfo& table) override { inner_->CreateTable(table); }
  void DropTable(const std::string& table) override { inner_->DropTable(table); }
  void AddColumn(const std::string& table, const engine::ColumnInfo& column) override {
    inner_->AddColumn(table, column);
  }
  void DropColumn(const std::string& table, const std::string& column) override {
    inner_->DropColumn(table, column);
  }
  void CreateIndex(const std::string& table, const engine::IndexInfo& index) override {
    inner_->CreateIndex(table, index);
  }
  void DropIndex(const std::string& table, const std::string& index) override {
    inner_->DropIndex(table, index);
  }
  void CreateRelation(const engine::RelationInfo& relation) override {
    inner_->CreateRelation(relation);
  }
  void DropRelation(const std::string& relation) override { inner_->DropRelation(relation); }
  void CreateQuery(const engine::QueryInfo& query) override { inner_->CreateQuery(query); }
  void DropQuery(const std::string& query) override { inner_->DropQuery(query); }
  void CheckQuery(const std::string& sql) override { inner_->CheckQuery(sql); }
  std::vector<std::int64_t> SelectKeys(const std::string& table, const std::string& tail) override {
    return inner_->SelectKeys(table, tail);
  }
  std::optional<engine::Row> ReadRow(const std::string& table,
                                     const std::vector<engine::ColumnInfo>& columns,
                                     std::int64_t key) override {
    return inner_->ReadRow(table, columns, key);
  }
  std::int64_t InsertRow(const std::string& table, const std::vector<std::string>& columns,
                         const engine::Row& values) override {
    if (Hit(Fault::kInsert)) Raise();
    return inner_->InsertRow(table, columns, values);
  }
  void UpdateRow(const std::string& table, std::int64_t key,
                 const std::vector<std::string>& columns, const engine::Row& values) override {
    inner_->UpdateRow(table, key, columns, values);
  }
  void DeleteRow(const std::string& table, std::int64_t key) override {
    inner_->DeleteRow(table, key);
  }

 private:
  // Whether the changes of this database wait for its close. The standard
  // storage groups them while a GroupChangesUntilClose is alive; a change
  // made after its first grouped one joins the same group.
  bool InGroup() const { return grouped_ || session_->groups.Active(); }

  bool Hit(Fault fault) {
    if (!counted_ || plan_->fault != fault || plan_->nth <= 0) return false;
    ++plan_->seen;
    if (plan_->seen == plan_->nth || (plan_->every && plan_->seen > plan_->nth)) {
      ++plan_->injected;
      return true;
    }
    return false;
  }
  void Raise() const {
    if (plan_->instead) return plan_->instead();
    throw Error(plan_->number, plan_->text, "'" + name_ + "'");
  }

  std::unique_ptr<engine::Storage> inner_;
  std::shared_ptr<FaultPlan> plan_;
  bool counted_;
  std::shared_ptr<engine::SessionState> session_;
  std::string name_;
  bool grouped_ = false;
};

}  // namespace

std::shared_ptr<FaultPlan> InstallFailingStorage(engine::Session& session, FaultPlan plan) {
  auto shared = std::make_shared<FaultPlan>(std::move(plan));
  session.SetStorageFactory([shared](engine::Session& s, const engine::StorageRequest& request) {
    const std::string path = request.host_path.substr(0, request.host_path.find('?'));
    const bool counted = EndsWith(path, shared->file);
    return std::make_unique<FailingStorage>(s.MakeStandardStorage(request), shared, counted,
                                            s.SharedState(), request.name);
  });
  return shared;
}

}  // namespace actualiz::testing
