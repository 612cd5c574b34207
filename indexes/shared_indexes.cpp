#include "indexes/shared_indexes.h"

#include <algorithm>
#include <cassert>

#include "base/names.h"

namespace actualiz::indexes {

namespace {

// The index as the copy would build it from the rows the capture writes for
// it; none when it has no field (the capture writes no row for it).
std::vector<IndexPlan> AsTheCopyBuildsIt(engine::Index& index) {
  const std::string name = index.Name();
  const std::string unique = index.Unique() ? kUniqueText : kNotUniqueText;
  std::vector<CatalogueRow> rows;
  for (const engine::FieldPtr& field : index.Fields().Items()) {
    rows.push_back({name, field->Name(), unique});
  }
  return GroupIntoIndexes(rows);
}

bool BuildsTheSame(engine::Index& target, const ModelIndex& model) {
  if (target.Name() != model.plan.name) return false;
  if (target.Unique() != model.plan.unique || target.Primary() != model.primary) return false;
  engine::Collection<engine::Field>& fields = target.Fields();
  if (fields.Count() != static_cast<int>(model.plan.fields.size())) return false;
  for (int i = 0; i < fields.Count(); ++i) {
    if (!SameNameIgnoringCase(fields.Item(i)->Name(), model.plan.fields[static_cast<size_t>(i)])) {
      return false;
    }
  }
  return true;
}

bool SameFields(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  return std::equal(
      a.begin(), a.end(), b.begin(), b.end(),
      [](const std::string& x, const std::string& y) { return SameNameIgnoringCase(x, y); });
}

}  // namespace

ModelIndexes ReadModelIndexes(app::Actualiz& window, const std::string& path) {
  engine::DatabasePtr model = window.OpenDatabase(path);
  ModelIndexes indexes;
  for (const engine::TableDefPtr& table : model->TableDefs().Items()) {
    const std::string name = table->Name();
    if (IsSystemName(name)) continue;
    std::vector<ModelIndex>& of_table = indexes[FoldCase(name)];
    for (const engine::IndexPtr& index : table->Indexes().Items()) {
      for (IndexPlan& plan : AsTheCopyBuildsIt(*index)) {
        of_table.push_back({std::move(plan), index->Primary()});
      }
    }
  }
  model->Close();
  return indexes;
}

bool IsModelPrimaryKey(const ModelIndexes& model, const std::string& table, const IndexPlan& plan) {
  auto found = model.find(FoldCase(table));
  if (found == model.end()) return false;
  for (const ModelIndex& index : found->second) {
    if (SameNameIgnoringCase(index.plan.name, plan.name)) {
      return index.primary && SameFields(index.plan.fields, plan.fields);
    }
  }
  return false;
}

std::set<std::string> IndexesToKeep(const std::vector<engine::IndexPtr>& target,
                                    const std::set<std::string>& dropped,
                                    const std::vector<ModelIndex>* model) {
  std::set<std::string> kept;
  if (model == nullptr) return kept;

  // A kept index must come after every index that stays in any case.
  int last_in_place = -1;
  for (size_t i = 0; i < target.size(); ++i) {
    if (!dropped.contains(FoldCase(target[i]->Name()))) last_in_place = static_cast<int>(i);
  }

  for (const ModelIndex& wanted : *model) {
    int found = -1;
    for (size_t i = 0; i < target.size(); ++i) {
      if (SameNameIgnoringCase(target[i]->Name(), wanted.plan.name)) found = static_cast<int>(i);
    }
    if (found <= last_in_place) break;
    engine::Index& index = *target[static_cast<size_t>(found)];
    if (!BuildsTheSame(index, wanted)) break;
    const std::string folded = FoldCase(index.Name());
    assert(dropped.contains(folded));
    kept.insert(folded);
    last_in_place = found;
  }
  return kept;
}

}  // namespace actualiz::indexes
