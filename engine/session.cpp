#include "engine/session.h"

#include <utility>

#include "engine/session_state.h"

namespace actualiz::engine {

Session::Session() : state_(std::make_shared<SessionState>()) {}

Session::~Session() = default;

void Session::SetStorageFactory(StorageFactory factory) { state_->factory = std::move(factory); }

void Session::SetHandOff(const std::string& host_path) { state_->hand_off.Mark(host_path); }

bool Session::IsHandOff(const std::string& host_path) const {
  return state_->hand_off.Contains(host_path);
}

}  // namespace actualiz::engine
