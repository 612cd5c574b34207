// GroupChangesUntilCommit: the held changes of every storage: database
// files (sqlite_held_connections.h), schemas on a server (pg_connection.h)
// and Access files (jet_edit.h).
#include <cassert>

#include "engine/accessfile/jet_edit.h"
#include "engine/change_groups.h"
#include "engine/postgres/pg_connection.h"
#include "engine/session.h"
#include "engine/sqlite/sqlite_session.h"

namespace actualiz::engine {

GroupChangesUntilCommit::GroupChangesUntilCommit(Session& session) : state_(session.SharedState()) {
  PgSessionState& pg = PgState(*state_);
  assert(!pg.committing && "one GroupChangesUntilCommit per session at a time");
  pg.committing = true;
  SqliteState(*state_).held.StartHolding();
  jet::HeldEdits(*state_).StartHolding();
}

GroupChangesUntilCommit::~GroupChangesUntilCommit() {
  SqliteState(*state_).held.RollBack();
  PgState(*state_).RollBackHeld();
  jet::HeldEdits(*state_).RollBack();
}

void GroupChangesUntilCommit::Commit() {
  std::vector<Error> failures = SqliteState(*state_).held.Commit();
  for (Error& failure : PgState(*state_).CommitHeld()) failures.push_back(std::move(failure));
  for (Error& failure : jet::HeldEdits(*state_).Commit()) failures.push_back(std::move(failure));
  if (!failures.empty()) throw FirstOfFailures(failures);
}

}  // namespace actualiz::engine
