#include "engine/accessfile/jet_edit.h"

#include <utility>

namespace actualiz::engine::jet {

JetEdit::JetEdit(std::string host_path, std::string name)
    : host_path_(std::move(host_path)),
      name_(std::move(name)),
      file_(JetFile::Open(host_path_, name_)) {
  Reload();
}

void JetEdit::Reload() {
  if (!working_.empty()) file_ = JetFile::FromBytes(working_, name_);
  catalog_ = ReadCatalog(*file_);
  auto schema = std::make_shared<Schema>();
  for (const JetTable& t : catalog_.tables) schema->tables.push_back(t.info);
  schema->relations = catalog_.relations;
  schema->queries = catalog_.queries;
  schema_ = std::move(schema);
  rows_.clear();
}

const std::vector<JetRow>& JetEdit::Rows(const JetTable& table) {
  auto found = rows_.find(table.def.page);
  if (found == rows_.end()) found = rows_.emplace(table.def.page, file_->ReadRows(table.def)).first;
  return found->second;
}

void JetEdit::Apply(const std::function<void(std::vector<std::uint8_t>& bytes,
                                             std::vector<TableChange>& changes)>& change) {
  if (original_.empty()) {
    // The bytes the file was read from: what it must still hold when the
    // changes replace it.
    original_ = ReadFileBytes(host_path_, name_);
    working_ = original_;
  }
  std::vector<std::uint8_t> bytes = working_;
  std::vector<TableChange> changes = changes_;
  change(bytes, changes);
  working_ = std::move(bytes);
  changes_ = std::move(changes);
  Reload();
}

void JetEdit::Store() {
  if (!Pending()) return;
  try {
    ReplaceChecked(host_path_, name_, original_, working_, changes_);
  } catch (const Error&) {
    // Back to the file as it was read, which the failed replace left.
    working_ = std::exchange(original_, {});
    changes_.clear();
    Reload();
    working_.clear();
    throw;
  }
  original_ = working_;
  changes_.clear();
}

std::shared_ptr<JetEdit> HeldJetEdits::Edit(const std::string& host_path, const std::string& name) {
  std::shared_ptr<JetEdit>& edit = held_[host_path];
  if (!edit) {
    try {
      edit = std::make_shared<JetEdit>(host_path, name);
    } catch (...) {
      held_.erase(host_path);
      throw;
    }
  }
  return edit;
}

std::vector<Error> HeldJetEdits::Commit() {
  std::vector<Error> failures;
  for (auto& [path, edit] : std::exchange(held_, {})) {
    try {
      edit->Store();
    } catch (const Error& e) {
      failures.push_back(e);
    }
  }
  return failures;
}

void HeldJetEdits::RollBack() {
  holding_ = false;
  held_.clear();
}

}  // namespace actualiz::engine::jet
