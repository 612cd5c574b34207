// What an engine session (session.h) holds, for the engine's own files.
#pragma once

#include "engine/change_groups.h"
#include "engine/hand_off.h"
#include "engine/session.h"
#include "engine/sqlite/sqlite_idle_connections.h"
#include "engine/sqlite/sqlite_shared_schema.h"

namespace actualiz::engine {

struct SessionState {
  StorageFactory factory;  // empty: the standard one
  ChangeGroups groups;
  HandOffPaths hand_off;
  SharedSchemas schemas;
  // Last: the kept connections are closed first, while the rest is whole.
  IdleConnections idle;
};

}  // namespace actualiz::engine
