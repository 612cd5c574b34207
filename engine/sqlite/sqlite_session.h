// What the SQLite storage keeps per engine session.
#pragma once

#include <memory>

#include "engine/session_state.h"
#include "engine/sqlite/sqlite_held_connections.h"
#include "engine/sqlite/sqlite_idle_connections.h"
#include "engine/sqlite/sqlite_shared_schema.h"

namespace actualiz::engine {

struct SqliteSessionState final : SessionExtension {
  SharedSchemas schemas;
  // The kept connections are closed after the held ones, which go to them,
  // and before the snapshots.
  IdleConnections idle;
  HeldConnections held;
};

inline SqliteSessionState& SqliteState(SessionState& session) {
  return session.Extension<SqliteSessionState>();
}

}  // namespace actualiz::engine
