// The connection of the server storage, and what a session keeps of them.
//
// Each open schema has a connection of its own, unless a
// GroupChangesUntilCommit (session.h) of the session is alive: then
// every open of one schema in the session shares one connection, held by
// the session until Commit, and so one transaction. The storages sharing it
// also share what it knows of the schema, read again after each change.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/server_address.h"
#include "engine/session_state.h"
#include "engine/storage.h"

struct pg_conn;

namespace actualiz::engine {

struct PgConnection {
  PgConnection(pg_conn* connection, std::string database_name, std::string location_name)
      : conn(connection), name(std::move(database_name)), location(std::move(location_name)) {}
  ~PgConnection();
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;

  // Records that the transaction of the held group ended without a commit
  // (the connection was lost, or the group had to be rolled back whole), so
  // that nothing more is changed through this schema until Commit says so.
  void Break(const std::string& why);
  // Commits the group's open transaction; raises 3151 when it was broken or
  // the commit fails (then none of the group is kept).
  void CommitGroup();
  // Undoes the group's open transaction, if any.
  void RollBackGroup();

  pg_conn* conn;
  std::string name;      // the customer database as errors name it
  std::string location;  // the server location as messages name it
  std::string schema_oid;
  bool group_open = false;            // a transaction of grouped changes is open
  bool until_commit = false;          // held by a GroupChangesUntilCommit
  std::optional<std::string> broken;  // why the held group's changes were lost
  // The held transaction creates the schema: any failure ends the whole
  // create, so a row write needs no savepoint of its own.
  bool creating = false;
  // The schema was checked for objects the engine does not make within the
  // open transaction of grouped changes.
  bool objects_checked = false;
  // The schema as last read through this connection, and where its
  // indexes lie: (folded table, folded Jet index) -> the server's name.
  std::shared_ptr<const Schema> schema;
  std::map<std::pair<std::string, std::string>, std::string> index_names;
};

// What the server storage keeps per engine session.
struct PgSessionState final : SessionExtension {
  // A GroupChangesUntilCommit of the session is alive.
  bool committing = false;
  // The connections held for the group, by connection string and schema.
  std::map<std::string, std::shared_ptr<PgConnection>> held;

  // The held connection of `address`, when a group is alive and holds one;
  // raises 3151 when its group was broken (nothing more may change there
  // until Commit).
  std::shared_ptr<PgConnection> Held(const ServerAddress& address);
  // Holds `connection` for the group, when one is alive.
  void Hold(const ServerAddress& address, const std::shared_ptr<PgConnection>& connection);
  // Commits every held connection's changes and lets them go; the
  // failures, one per schema that kept none of its changes.
  std::vector<Error> CommitHeld();
  // Ends the hold, undoing what was not committed.
  void RollBackHeld();
};

// The first line of a message of the server or of libpq (the lines after it
// are hints for a terminal: "This probably means ...").
std::string PgMessageLine(const char* message);

inline PgSessionState& PgState(SessionState& session) {
  return session.Extension<PgSessionState>();
}

}  // namespace actualiz::engine
