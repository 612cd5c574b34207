// An engine session: everything that steers how databases are opened and
// kept, owned by the caller and passed to every OpenDatabase and
// CreateDatabase.
//
// A session holds
//   - the storage factory, which makes the Storage for a file once
//     OpenDatabase has checked it (SQLite, or the reader of Access files);
//     a caller may put in its own, for instance one that wraps the standard
//     storage;
//   - the connections kept after Close while a KeepClosedConnections of the
//     session is alive (sqlite_idle_connections.h);
//   - whether changes are grouped until Close (a GroupChangesUntilClose of
//     the session is alive), and the failures of groups no caller could be
//     told of (change_groups.h);
//   - the hand-off files (hand_off.h);
//   - the connections held until a commit (sqlite_held_connections.h,
//     engine/postgres/pg_connection.h);
//   - the schema snapshots its SQLite connections share
//     (sqlite_shared_schema.h).
// Nothing of this is seen by another session: two window models in one
// process each have their own, and a file opened in two sessions shares
// no connection, snapshot or mark between them.
//
// A session is used from one thread at a time (with every database opened
// in it); different sessions may be used on different threads at once.
// Databases, record sets and guards keep what they need of their session
// alive, so they may outlive the Session object itself.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "engine/storage.h"

namespace actualiz::engine {

struct SessionState;
class Session;

// What OpenDatabase found at the path, and so which storage it needs.
// kServer: a schema on a PostgreSQL server, `host_path` its address
// (base/server_address.h).
enum class StorageFormat { kSqlite, kAccess, kServer };

// A request for the Storage of one file. OpenDatabase has already told the
// missing, foreign, damaged and truncated files apart; CreateDatabase has
// checked that nothing exists at the path.
struct StorageRequest {
  StorageFormat format = StorageFormat::kSqlite;
  std::string host_path;
  std::string name;        // the file as errors name it
  bool read_only = false;  // the file may not be written (open only)
  bool create = false;     // a new SQLite file or schema (CreateDatabase)
};

// Makes the Storage for a request; raises an Error as the standard storage
// does when it cannot.
using StorageFactory = std::function<std::unique_ptr<Storage>(Session&, const StorageRequest&)>;

class Session {
 public:
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Puts in the factory used by the opens that follow; an empty one puts
  // the standard factory back.
  void SetStorageFactory(StorageFactory factory);
  // The Storage for `request`, from the session's factory.
  std::unique_ptr<Storage> MakeStorage(const StorageRequest& request);
  // The Storage for `request` as the standard factory makes it (for a
  // factory that wraps it).
  std::unique_ptr<Storage> MakeStandardStorage(const StorageRequest& request);

  // Marks the file at `host_path` (which need not exist yet) as a hand-off
  // file for the rest of the session (hand_off.h). Paths are compared after
  // resolving links, "." and "..".
  void SetHandOff(const std::string& host_path);
  // True when `host_path` names a file marked by SetHandOff.
  bool IsHandOff(const std::string& host_path) const;

  // How many closed connections the session keeps now.
  int KeptConnectionCount() const;
  // How many files have a shared schema snapshot now.
  std::size_t SharedSchemaCount() const;

  // For the engine's own files.
  SessionState& State() const { return *state_; }
  const std::shared_ptr<SessionState>& SharedState() const { return state_; }

 private:
  std::shared_ptr<SessionState> state_;
};

// While one is alive, a database file of `session` that is closed keeps its
// connection for the next OpenDatabase of the same path in the session,
// which then skips reading the file's schema again. A kept connection holds
// no lock; it is used again only while the file is the same, unchanged one,
// and every kept connection is closed when the session's last of these
// goes. For work that opens the same files many times in a row (the batch).
class KeepClosedConnections {
 public:
  explicit KeepClosedConnections(Session& session);
  ~KeepClosedConnections();
  KeepClosedConnections(const KeepClosedConnections&) = delete;
  KeepClosedConnections& operator=(const KeepClosedConnections&) = delete;

 private:
  std::shared_ptr<SessionState> state_;
};

// While one is alive, the changes made through one database open in
// `session` are stored together when it is closed rather than each on its
// own (each still whole: a failing change is undone alone). Until then other
// handles see the file as it was. Close reports a failure to store them; a
// database dropped without Close keeps its failure for RaiseUnreported.
class GroupChangesUntilClose {
 public:
  explicit GroupChangesUntilClose(Session& session);
  ~GroupChangesUntilClose();
  GroupChangesUntilClose(const GroupChangesUntilClose&) = delete;
  GroupChangesUntilClose& operator=(const GroupChangesUntilClose&) = delete;
  // Raises the first failure to store a group of a database of the session
  // dropped without Close since the last call (naming how many more there
  // were); nothing when there was none.
  void RaiseUnreported();

 private:
  std::shared_ptr<SessionState> state_;
};

// While one is alive, the changes made to a customer database through every
// open of it in `session` share one transaction, from the first change or
// row written until Commit: closing the database stores nothing, and the
// next open of the same database in the session goes on in the same
// transaction, seeing its changes. This holds for a database file opened
// for writing (hand-off files excepted; sqlite_held_connections.h) and for
// a schema on a server (pg_connection.h). Each change is still whole on its
// own (a failing one is undone alone, as in a GroupChangesUntilClose). A
// failure that ends the transaction (a lost connection, an I/O error)
// undoes everything since the last Commit; the database's later changes in
// the session then fail until Commit, which reports the loss (3151 on a
// server). What is not committed when it goes is undone. A schema created
// on a server while one is alive is made in the same transaction, so a
// create is whole or absent. One at a time in a session. For the batch:
// each pair's changes to its customer database are kept whole or not at
// all, and reach the disk in one durable commit.
class GroupChangesUntilCommit {
 public:
  explicit GroupChangesUntilCommit(Session& session);
  ~GroupChangesUntilCommit();
  GroupChangesUntilCommit(const GroupChangesUntilCommit&) = delete;
  GroupChangesUntilCommit& operator=(const GroupChangesUntilCommit&) = delete;
  // Commits the changes held for every database and lets their connections
  // go. Raises the first failure (naming how many more there were); a
  // database whose commit failed, or whose transaction was lost, kept none
  // of them.
  void Commit();

 private:
  std::shared_ptr<SessionState> state_;
};

}  // namespace actualiz::engine
