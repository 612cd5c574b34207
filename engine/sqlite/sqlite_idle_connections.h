// Connections closed while a batch runs, kept for the next open of the same
// file.
//
// The batch opens each model and customer database a few hundred times a
// pair, and every fresh SQLite connection parses the whole schema again (the
// tables, their indexes and the relations' triggers): half of a pair's work.
// While a KeepClosedConnections (session.h) of the session is alive, a SQLite
// database of the session that is closed leaves its connection in the
// session instead, and the next open of the same path in the same mode in
// that session takes it back with its parsed schema, its prepared
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

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "engine/sqlite/sqlite_shared_schema.h"

namespace actualiz::engine {

class SqliteStorage;

// The kept connections of one session.
class IdleConnections {
 public:
  IdleConnections();
  ~IdleConnections();
  IdleConnections(const IdleConnections&) = delete;
  IdleConnections& operator=(const IdleConnections&) = delete;

  // A KeepClosedConnections begins or ends; the end of the last one closes
  // every kept connection.
  void StartKeeping() { ++keeping_; }
  void StopKeeping();

  // Keeps `storage` when keeping is on and the connection is idle and tied
  // to a known file; otherwise closes it.
  void Keep(std::unique_ptr<SqliteStorage> storage);

  // The kept connection of `host_path` opened in the same mode, when the
  // file is still as it was left; nothing otherwise (a kept connection of a
  // file that changed is closed).
  std::unique_ptr<SqliteStorage> Take(const std::string& host_path, bool read_only);

  // How many connections are kept now.
  int Count() const { return static_cast<int>(kept_.size()); }

 private:
  struct KeptConnection {
    std::unique_ptr<SqliteStorage> storage;
    FileStat file;  // the file as it was when the connection was kept
  };
  static bool StillFits(const KeptConnection& kept);

  int keeping_ = 0;                   // live KeepClosedConnections
  std::vector<KeptConnection> kept_;  // least recently kept first
};

}  // namespace actualiz::engine
