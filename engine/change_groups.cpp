#include "engine/change_groups.h"

#include <utility>

#include "engine/session.h"
#include "engine/session_state.h"

namespace actualiz::engine {

std::vector<Error> ChangeGroups::TakeUnreported() { return std::exchange(unreported_, {}); }

GroupChangesUntilClose::GroupChangesUntilClose(Session& session) : state_(session.SharedState()) {
  state_->groups.Begin();
}

GroupChangesUntilClose::~GroupChangesUntilClose() { state_->groups.End(); }

void GroupChangesUntilClose::RaiseUnreported() {
  std::vector<Error> failures = state_->groups.TakeUnreported();
  if (!failures.empty()) throw FirstOfFailures(failures);
}

Error FirstOfFailures(const std::vector<Error>& failures) {
  const Error& first = failures.front();
  std::string context = first.Context();
  if (failures.size() > 1) {
    context += " (and " + std::to_string(failures.size() - 1) + " more databases)";
  }
  return Error(first.Number(), first.Text(), context);
}

}  // namespace actualiz::engine
