// "Borra los indices": deletes from the target the indexes that the index
// catalogue records for each table of List10, then starts the model index
// capture (and with it the copy).
//
// Before the first delete the removal reads the model's indexes (Text3). A
// model that cannot be read ends the removal there, its failure travelling
// to the caller, with the target's indexes untouched: the capture and the
// copy that follow could not build them again. The model's indexes also say
// which of the target's indexes the copy would build exactly as they stand;
// those are left in place, with no record in the run log (see
// indexes/shared_indexes.h).
//
// The catalogue holds one row per index field, so an index over two fields
// is named by two rows: the first decides for it, the second is skipped. A
// delete that really fails (an index already gone, one the engine refuses
// to delete because a relation uses it, a table the target lacks) is passed
// over and recorded, so that the chain still reaches the copy and the
// target does not stay without its indexes.
//
// Opening the target or the model and reading the catalogue are not passed
// over: when one fails the removal ends there and the failure travels to
// its caller, as the rest of the chain could do nothing sound without them.
#include <set>
#include <string>
#include <vector>

#include "app/actualiz.h"
#include "base/names.h"
#include "engine/description/description.h"
#include "indexes/index_catalogue.h"
#include "indexes/shared_indexes.h"

namespace actualiz::app {

namespace {

// The index names of the rows of Data3's view, each once (folded, as the
// engine compares them), in row order.
std::vector<std::string> CataloguedNames(Actualiz& window) {
  std::vector<std::string> names;
  std::set<std::string> seen;
  for (const indexes::CatalogueRow& row : indexes::ReadShownRows(window)) {
    if (seen.insert(FoldCase(row.index)).second) names.push_back(row.index);
  }
  return names;
}

const std::vector<indexes::ModelIndex>* ModelTable(const indexes::ModelIndexes& model,
                                                   const std::string& table) {
  auto found = model.find(FoldCase(table));
  return found == model.end() ? nullptr : &found->second;
}

// Deletes from `table` the indexes named by the rows of Data3's view, but
// those the model's indexes say the copy would build again unchanged.
void DropCataloguedIndexes(Actualiz& window, engine::Database& target, const std::string& table,
                           const indexes::ModelIndexes& model) {
  engine::TableDefPtr definition;
  if (!window.PassOver("TableDefs(" + table + ")",
                       [&] { definition = target.TableDefs().Item(table); })) {
    return;
  }
  const std::vector<std::string> names = CataloguedNames(window);
  std::set<std::string> dropped;
  for (const std::string& name : names) dropped.insert(FoldCase(name));
  std::set<std::string> kept;
  window.PassOver("Indexes of " + table, [&] {
    kept = indexes::IndexesToKeep(definition->Indexes().Items(), dropped, ModelTable(model, table));
  });

  for (const std::string& index : names) {
    if (kept.contains(FoldCase(index))) continue;
    const std::string object = IndexOnTable(index, table);
    std::string dropped_definition;
    if (window.PassOver("Indexes.Delete " + object, [&] {
          dropped_definition = engine::DescribeIndex(*definition->Indexes().Item(index)).dump();
          definition->Indexes().Delete(index);
        })) {
      window.RecordChange(ChangeKind::kIndexDropped, {table, index}, {}, dropped_definition);
    }
  }
}

}  // namespace

void Actualiz::Command18_Click() {
  HandlerScope scope(*this, "Command18_Click");
  engine::DatabasePtr target = OpenDatabase(Text4.Text());
  const indexes::ModelIndexes model = indexes::ReadModelIndexes(*this, Text3.Text());

  const int tables = List10.ListCount();
  for (int i = 0; i < tables; ++i) {
    List10.SetListIndex(i);
    const std::string table = List10.Text();
    indexes::PointView(Data3, indexes::RowsOfTable(table));
    if (indexes::ViewIsEmpty(Data3.Recordset())) continue;
    DropCataloguedIndexes(*this, *target, table, model);
  }

  target->Close();
  Command19_Click();
}

}  // namespace actualiz::app
