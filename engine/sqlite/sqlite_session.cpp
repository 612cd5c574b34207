// The session's counts of what the SQLite storage keeps in it.
#include "engine/sqlite/sqlite_session.h"
#include "engine/session.h"

namespace actualiz::engine {

int Session::KeptConnectionCount() const { return SqliteState(State()).idle.Count(); }

std::size_t Session::SharedSchemaCount() const { return SqliteState(State()).schemas.Size(); }

}  // namespace actualiz::engine
