// Connections closed while a batch runs, kept for the next open of the same
// file.
//
// The batch opens each model and customer database a few hundred times a
// pair, and every fresh SQLite connection parses the whole schema again (the
// tables, their indexes and the relations' triggers): half of a pair's work.
// While a KeepClosedConnections (engine.h) is alive, a SQLite database that
// is closed leaves its connection here instead, and the next open of the same
// path in the same mode takes it back with its parsed schema, its prepared
// statements and its page cache.
//
// A kept connection holds no lock (no statement is open, no transaction
// runs), so other programs see the file as closed. It is handed back only
// when the file at the path is the very one it has open (same identity),
// with the size and change time it had when it was kept: a file copied or
// renamed over the path, changed by another program or connection, or given
// other permissions since is opened afresh instead. A connection keeps the
// durability it was opened with. SQLite itself checks the
// file's change counter whenever a kept connection reads again.
#pragma once

#include <memory>
#include <string>

namespace actualiz::engine {

class SqliteStorage;

namespace idle_connections {

// Keeps `storage` when keeping is on and the connection is idle and tied to
// a known file; otherwise closes it.
void Keep(std::unique_ptr<SqliteStorage> storage);

// The kept connection of `host_path` opened in the same mode, when the file
// is still as it was left; nothing otherwise (a kept connection of a file
// that changed is closed).
std::unique_ptr<SqliteStorage> Take(const std::string& host_path, bool read_only);

// How many connections are kept now (for tests).
int Count();

}  // namespace idle_connections

}  // namespace actualiz::engine
