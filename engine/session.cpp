#include "engine/session.h"

#include <utility>

#include "engine/accessfile/jet_storage.h"
#include "engine/session_state.h"
#include "engine/sqlite/sqlite_storage.h"

namespace actualiz::engine {

Session::Session() : state_(std::make_shared<SessionState>()) {}

Session::~Session() = default;

void Session::SetStorageFactory(StorageFactory factory) { state_->factory = std::move(factory); }

std::unique_ptr<Storage> Session::MakeStorage(const StorageRequest& request) {
  if (state_->factory) return state_->factory(*this, request);
  return MakeStandardStorage(request);
}

std::unique_ptr<Storage> Session::MakeStandardStorage(const StorageRequest& request) {
  if (request.create) return SqliteStorage::Create(*this, request.host_path, request.name);
  if (request.format == StorageFormat::kAccess) {
    return JetStorage::Open(request.host_path, request.name);
  }
  return SqliteStorage::Open(*this, request.host_path, request.name, request.read_only);
}

void Session::SetHandOff(const std::string& host_path) { state_->hand_off.Mark(host_path); }

bool Session::IsHandOff(const std::string& host_path) const {
  return state_->hand_off.Contains(host_path);
}

int Session::KeptConnectionCount() const { return state_->idle.Count(); }

std::size_t Session::SharedSchemaCount() const { return state_->schemas.Size(); }

}  // namespace actualiz::engine
