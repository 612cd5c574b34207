// What the SQLite storage keeps per engine session.
#pragma once

#include <memory>

#include "engine/session_state.h"
#include "engine/sqlite/sqlite_idle_connections.h"
#include "engine/sqlite/sqlite_shared_schema.h"

namespace actualiz::engine {

struct SqliteSessionState final : SessionExtension {
  SharedSchemas schemas;
  // Last: the kept connections are closed first, while the snapshots are whole.
  IdleConnections idle;
};

inline SqliteSessionState& SqliteState(SessionState& session) {
  return session.Extension<SqliteSessionState>();
}

}  // namespace actualiz::engine
