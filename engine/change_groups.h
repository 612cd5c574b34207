// Changes grouped until the database is closed.
//
// Every change to a database's structure is whole on its own: it either
// happens entirely or not at all. Outside a batch each one is also its own
// transaction, on disk when its call returns. While a GroupChangesUntilClose
// (session.h) of the session is alive, the changes made through one open
// database share one transaction instead, each inside a savepoint of its
// own: a change that fails is undone alone and the others stand, and all of
// them reach the disk together when the database is closed. A batch stage
// makes tens of changes through one open target; each commit waits for the
// disk several times.
//
// A process killed before the close leaves the journal, and the next opener
// undoes the whole group: every change is still whole, and a rerun makes
// them again. While a group is open other connections read the file as it
// was before it and cannot write to it.
//
// A database dropped without Close cannot report a failed commit; such
// failures wait in its session until the batch asks for them.
#pragma once

#include <vector>

#include "base/error.h"

namespace actualiz::engine {

// The grouping state of one session.
class ChangeGroups {
 public:
  // True while a GroupChangesUntilClose of the session is alive.
  bool Active() const { return active_ > 0; }
  void Begin() { ++active_; }
  void End() { --active_; }

  // Keeps the failure of a group that could not be reported when it happened.
  void KeepUnreported(const Error& error) { unreported_.push_back(error); }

  // The failures kept since the last call, oldest first.
  std::vector<Error> TakeUnreported();

 private:
  int active_ = 0;
  std::vector<Error> unreported_;
};

// The first of `failures` (not empty), its context naming how many more
// databases failed alike.
Error FirstOfFailures(const std::vector<Error>& failures);

}  // namespace actualiz::engine
