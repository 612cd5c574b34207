// The storage a session makes for a file: its own factory's when it has
// one, the standard one otherwise (SQLite, the reader of Access files, or a
// schema on a PostgreSQL server).
#include "base/server_address.h"
#include "engine/accessfile/jet_storage.h"
#include "engine/postgres/pg_storage.h"
#include "engine/session.h"
#include "engine/session_state.h"
#include "engine/sqlite/sqlite_held_connections.h"
#include "engine/sqlite/sqlite_storage.h"

namespace actualiz::engine {

std::unique_ptr<Storage> Session::MakeStorage(const StorageRequest& request) {
  if (state_->factory) return state_->factory(*this, request);
  return MakeStandardStorage(request);
}

std::unique_ptr<Storage> Session::MakeStandardStorage(const StorageRequest& request) {
  if (request.format == StorageFormat::kServer) {
    const std::optional<ServerAddress> address = ParseServerAddress(request.host_path);
    if (!address) throw MakeError(err::kInvalidPath, {request.name}, "'" + request.name + "'");
    if (request.create) return PgStorage::Create(*this, *address, request.name);
    return PgStorage::Open(*this, *address, request.name);
  }
  if (request.create) return SqliteStorage::Create(*this, request.host_path, request.name);
  if (request.format == StorageFormat::kAccess) {
    return JetStorage::Open(*this, request.host_path, request.name, request.read_only);
  }
  return OpenSqliteStorage(*this, request.host_path, request.name, request.read_only);
}

}  // namespace actualiz::engine
