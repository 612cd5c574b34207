#include "app/run_classification.h"

#include <algorithm>

namespace actualiz::app {

namespace {

// The three kinds of object the chains replace: dropped from the target,
// then created from the model.
struct Replaced {
  const char* title;
  ChangeKind dropped;
  ChangeKind created;
};
constexpr Replaced kReplaced[] = {
    {"indexes", ChangeKind::kIndexDropped, ChangeKind::kIndexCreated},
    {"relations", ChangeKind::kRelationDropped, ChangeKind::kRelationCreated},
    {"queries", ChangeKind::kQueryDropped, ChangeKind::kQueryCreated},
};

bool Any(const std::vector<Change>& changes, ChangeKind kind) {
  return std::any_of(changes.begin(), changes.end(),
                     [&](const Change& change) { return change.kind == kind; });
}

std::vector<const Change*> Of(const std::vector<Change>& changes, ChangeKind kind) {
  std::vector<const Change*> out;
  for (const Change& change : changes) {
    if (change.kind == kind) out.push_back(&change);
  }
  return out;
}

std::vector<std::string> TextsOf(const std::vector<Change>& changes, ChangeKind kind) {
  std::vector<std::string> out;
  for (const Change* change : Of(changes, kind)) out.push_back(change->ObjectText());
  return out;
}

// Whether `changes`, once the objects created again unchanged are taken
// out, change the database: any addition, and any index, relation or query
// dropped or created (replaced by another definition included).
bool ChangesStructure(const std::vector<Change>& changes) {
  for (ChangeKind kind :
       {ChangeKind::kTableCreated, ChangeKind::kFieldAdded, ChangeKind::kTableMigrated}) {
    if (Any(changes, kind)) return true;
  }
  return std::any_of(std::begin(kReplaced), std::end(kReplaced), [&](const Replaced& kind) {
    return Any(changes, kind.dropped) || Any(changes, kind.created);
  });
}

// Removes from `changes` each drop of `kind` whose object a later creation
// made again with the same recorded definition, and that creation. Returns
// how many pairs it removed.
int RemoveRecreatedUnchanged(std::vector<Change>& changes, const Replaced& kind) {
  int removed = 0;
  for (size_t i = 0; i < changes.size(); ++i) {
    const Change& dropped = changes[i];
    if (dropped.kind != kind.dropped || dropped.definition.empty()) continue;
    const auto created = std::find_if(
        changes.begin() + static_cast<std::ptrdiff_t>(i) + 1, changes.end(),
        [&](const Change& c) { return c.kind == kind.created && c.object == dropped.object; });
    if (created == changes.end() || created->definition != dropped.definition) continue;
    changes.erase(created);
    changes.erase(changes.begin() + static_cast<std::ptrdiff_t>(i));
    --i;
    ++removed;
  }
  return removed;
}

// Pairs each drop with the first creation left of the same object; what is
// left on either side was only dropped or only created.
ReplacedObjects SplitReplaced(const std::vector<Change>& changes, const Replaced& kind) {
  ReplacedObjects out{kind.title, {}, {}, {}};
  std::vector<const Change*> created = Of(changes, kind.created);
  for (const Change* dropped : Of(changes, kind.dropped)) {
    const auto match = std::find_if(created.begin(), created.end(),
                                    [&](const Change* c) { return c->object == dropped->object; });
    if (match == created.end()) {
      out.dropped.push_back(dropped->ObjectText());
      continue;
    }
    out.replaced.push_back(dropped->ObjectText());
    created.erase(match);
  }
  for (const Change* change : created) out.created.push_back(change->ObjectText());
  return out;
}

bool IsKept(const Change& change) {
  return change.kind == ChangeKind::kRelationKept || change.kind == ChangeKind::kQueryKept;
}

// Moves the objects kept in place out of `database.changes` into `kept`.
void SetKeptApart(DatabaseReport& database) {
  std::vector<Change>& changes = database.changes;
  const auto kept = std::stable_partition(changes.begin(), changes.end(),
                                          [](const Change& c) { return !IsKept(c); });
  database.kept.insert(database.kept.end(), kept, changes.end());
  changes.erase(kept, changes.end());
}

// A pair whose changes could not be stored kept none of them: they are not
// listed as made, and the failure says why.
void DropUnstoredChanges(DatabaseReport& database) {
  const bool lost = std::any_of(
      database.failures.begin(), database.failures.end(),
      [](const Failure& failure) { return failure.statement.starts_with(kStoreChangesOf); });
  if (lost) database.changes.clear();
}

}  // namespace

void ClassifyDatabase(DatabaseReport& database) {
  DropUnstoredChanges(database);
  SetKeptApart(database);
  for (const Replaced& kind : kReplaced) {
    database.recreated_unchanged += RemoveRecreatedUnchanged(database.changes, kind);
  }
  if (!database.failures.empty()) {
    database.state = "failed";
  } else if (database.copied) {
    if (Any(database.changes, ChangeKind::kDatabaseCopied)) {
      database.state = "copied";
    } else {
      database.state = database.reached ? "failed" : "not reached";
    }
  } else if (!database.reached) {
    database.state = "not reached";
  } else {
    database.state = ChangesStructure(database.changes) ? "updated" : "up to date";
  }
}

void ReportTotals::Add(const DatabaseReport& database) {
  if (!database.copied) ++pairs;
  ++states[database.state];
  failures += static_cast<int>(database.failures.size());
  recreated_unchanged += database.recreated_unchanged;
  kept += static_cast<int>(database.kept.size());
  for (const Change& change : database.changes) ++changes[change.kind];
}

int ReportTotals::State(const std::string& state) const {
  const auto it = states.find(state);
  return it == states.end() ? 0 : it->second;
}

int ReportTotals::Changes(ChangeKind kind) const {
  const auto it = changes.find(kind);
  return it == changes.end() ? 0 : it->second;
}

ChangeSummary SummariseChanges(const std::vector<Change>& changes) {
  ChangeSummary summary;
  summary.tables_created = TextsOf(changes, ChangeKind::kTableCreated);
  summary.fields_added = TextsOf(changes, ChangeKind::kFieldAdded);
  summary.tables_migrated = TextsOf(changes, ChangeKind::kTableMigrated);
  for (const Replaced& kind : kReplaced) summary.replaced.push_back(SplitReplaced(changes, kind));
  summary.not_carried = TextsOf(changes, ChangeKind::kNotCarried);
  return summary;
}

}  // namespace actualiz::app
