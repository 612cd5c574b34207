// Database files whose changes are held until a commit.
//
// While a GroupChangesUntilCommit (session.h) of the session is alive, the
// first open of a file for writing (a hand-off file excepted) makes one
// connection that every later open of the same path in the session shares,
// for reading or for writing, until the commit: closing the database
// commits nothing, the next open carries on in the same transaction and
// sees what the earlier ones changed, and the changes of all of them reach
// the disk in one durable commit. A batch pair changes its target through
// some thirty opens; each commit of its own waited for the disk four times.
//
// A change that fails is still undone alone (its savepoint). A failure that
// ends the whole transaction (an I/O error, a full disk) undoes every change
// held since the last commit; the file's later changes in the session then
// fail until the commit, which reports the loss, so that no later change is
// kept without the earlier ones. A process killed before the commit leaves
// the journal, and the next opener undoes everything held: the file is as it
// was before the first held change.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"

namespace actualiz::engine {

class Session;
class SqliteStorage;
class Storage;

// One held connection, shared by the databases open on it.
struct HeldConnection {
  ~HeldConnection();
  std::unique_ptr<SqliteStorage> storage;
};

// The held connections of one session.
class HeldConnections {
 public:
  bool Holding() const { return holding_; }
  void StartHolding() { holding_ = true; }

  // The held connection of `host_path`, when there is one.
  std::shared_ptr<HeldConnection> Find(const std::string& host_path) const;
  // Holds `storage` (open for writing) for the rest of the hold.
  std::shared_ptr<HeldConnection> Hold(const std::string& host_path,
                                       std::unique_ptr<SqliteStorage> storage);

  // Commits what every held connection holds and lets them go; the
  // failures, one per file that kept none of its changes.
  std::vector<Error> Commit();
  // Ends the hold, undoing what was not committed.
  void RollBack();

 private:
  bool holding_ = false;
  std::map<std::string, std::shared_ptr<HeldConnection>> held_;
};

// A storage over the file at `host_path` for `session`: the held connection
// while changes are held (made on the first open for writing), a connection
// of its own otherwise. A read-only open of a held file reads through the
// held connection, so it sees the changes held there.
std::unique_ptr<Storage> OpenSqliteStorage(Session& session, const std::string& host_path,
                                           const std::string& name, bool read_only);

// Whether `session` holds a connection to the file at `host_path`: the file
// was found whole and writable at the hold's first open and is open since,
// so a later open need not look at it again.
bool HeldInSession(const Session& session, const std::string& host_path);

}  // namespace actualiz::engine
