#include "engine/change_groups.h"

#include <mutex>
#include <utility>

#include "engine/engine.h"

namespace actualiz::engine {

namespace {

struct Groups {
  std::mutex mutex;
  int active = 0;
  std::vector<Error> unreported;
};

Groups& TheGroups() {
  static Groups groups;
  return groups;
}

}  // namespace

namespace change_groups {

bool Active() {
  Groups& groups = TheGroups();
  std::lock_guard lock(groups.mutex);
  return groups.active > 0;
}

void KeepUnreported(const Error& error) {
  Groups& groups = TheGroups();
  std::lock_guard lock(groups.mutex);
  groups.unreported.push_back(error);
}

std::vector<Error> TakeUnreported() {
  Groups& groups = TheGroups();
  std::lock_guard lock(groups.mutex);
  return std::exchange(groups.unreported, {});
}

}  // namespace change_groups

GroupChangesUntilClose::GroupChangesUntilClose() {
  Groups& groups = TheGroups();
  std::lock_guard lock(groups.mutex);
  ++groups.active;
}

GroupChangesUntilClose::~GroupChangesUntilClose() {
  Groups& groups = TheGroups();
  std::lock_guard lock(groups.mutex);
  --groups.active;
}

void GroupChangesUntilClose::RaiseUnreported() {
  std::vector<Error> failures = change_groups::TakeUnreported();
  if (failures.empty()) return;
  const Error& first = failures.front();
  std::string context = first.Context();
  if (failures.size() > 1) {
    context += " (and " + std::to_string(failures.size() - 1) + " more databases)";
  }
  throw Error(first.Number(), first.Text(), context);
}

}  // namespace actualiz::engine
