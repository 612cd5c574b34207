// What an engine session (session.h) holds, for the engine's own files.
#pragma once

#include <map>
#include <memory>
#include <typeindex>

#include "engine/change_groups.h"
#include "engine/hand_off.h"
#include "engine/session.h"

namespace actualiz::engine {

// What one kind of storage keeps per session (the SQLite storage: its kept
// connections and shared schema snapshots). The engine's core knows it only
// by this base, so a storage kind brings its own state without the core
// depending on it.
class SessionExtension {
 public:
  virtual ~SessionExtension() = default;
};

struct SessionState {
  StorageFactory factory;  // empty: the standard one
  ChangeGroups groups;
  HandOffPaths hand_off;

  // The state of storage kind T in this session, made on its first use.
  template <class T>
  T& Extension() {
    std::unique_ptr<SessionExtension>& slot = extensions[std::type_index(typeid(T))];
    if (!slot) slot = std::make_unique<T>();
    return static_cast<T&>(*slot);
  }

  // Last: the storage kinds' state (kept connections) goes first, while the
  // rest is whole.
  std::map<std::type_index, std::unique_ptr<SessionExtension>> extensions;
};

}  // namespace actualiz::engine
