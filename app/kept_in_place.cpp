#include "app/kept_in_place.h"

#include "base/names.h"

namespace actualiz::app {

namespace {

// The relation as the chain's creation builds it from the catalogue rows
// the listing writes for `model`: every value carried as it is.
bool SameRelation(engine::Relation& target, engine::Relation& model) {
  if (target.Name() != model.Name() || target.Table() != model.Table() ||
      target.ForeignTable() != model.ForeignTable() || target.Attributes() != model.Attributes()) {
    return false;
  }
  const std::vector<engine::FieldPtr> ours = target.Fields().Items();
  const std::vector<engine::FieldPtr> theirs = model.Fields().Items();
  if (ours.size() != theirs.size()) return false;
  for (size_t i = 0; i < ours.size(); ++i) {
    if (ours[i]->Name() != theirs[i]->Name() ||
        ours[i]->ForeignName() != theirs[i]->ForeignName()) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::set<std::string> KeptInPlace(const std::vector<std::string>& target,
                                  const std::function<bool(size_t)>& stays,
                                  const std::vector<std::string>& created,
                                  const std::function<bool(size_t, size_t)>& same) {
  // A kept object must come after every object that stays in any case.
  int last_in_place = -1;
  for (size_t i = 0; i < target.size(); ++i) {
    if (stays(i)) last_in_place = static_cast<int>(i);
  }

  std::set<std::string> kept;
  for (size_t j = 0; j < created.size(); ++j) {
    int found = -1;
    for (size_t i = 0; i < target.size() && found < 0; ++i) {
      if (SameNameIgnoringCase(target[i], created[j])) found = static_cast<int>(i);
    }
    if (found <= last_in_place) break;
    const auto at = static_cast<size_t>(found);
    if (target[at] != created[j] || !same(at, j)) break;
    kept.insert(target[at]);
    last_in_place = found;
  }
  return kept;
}

std::set<std::string> RelationsToKeep(engine::Database& model, engine::Database& target) {
  const std::vector<engine::RelationPtr> ours = target.Relations().Items();
  std::vector<engine::RelationPtr> theirs;
  for (const engine::RelationPtr& relation : model.Relations().Items()) {
    if (!IsSystemName(relation->Name())) theirs.push_back(relation);
  }
  std::vector<std::string> target_names;
  for (const engine::RelationPtr& relation : ours) target_names.push_back(relation->Name());
  std::vector<std::string> created;
  for (const engine::RelationPtr& relation : theirs) created.push_back(relation->Name());
  return KeptInPlace(
      target_names, [&](size_t i) { return IsSystemName(target_names[i]); }, created,
      [&](size_t i, size_t j) { return SameRelation(*ours[i], *theirs[j]); });
}

std::set<std::string> QueriesToKeep(engine::Database& target,
                                    const std::vector<QueryToCreate>& created) {
  const std::vector<engine::QueryDefPtr> ours = target.QueryDefs().Items();
  std::vector<std::string> target_names;
  for (const engine::QueryDefPtr& query : ours) target_names.push_back(query->Name());
  std::vector<std::string> created_names;
  for (const QueryToCreate& query : created) created_names.push_back(query.name);
  return KeptInPlace(
      target_names, [&](size_t i) { return IsSystemName(target_names[i]); }, created_names,
      [&](size_t i, size_t j) { return ours[i]->SQL() == created[j].statement; });
}

}  // namespace actualiz::app
