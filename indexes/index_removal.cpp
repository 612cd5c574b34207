// "Borra los indices": deletes from the target the indexes that the index
// catalogue records for each table of List10, then starts the model index
// capture (and with it the copy).
//
// The catalogue holds one row per index field, so an index over two fields
// is named by two rows: the first row deletes it, the second is expected to
// find it gone and is skipped. A delete that really fails (an index already
// gone, one the engine refuses to delete because a relation uses it, a table
// the target lacks) is passed over and recorded, so that the chain still
// reaches the copy and the target does not stay without its indexes.
//
// Opening the target and reading the catalogue are not passed over: when
// either fails the removal ends there and the failure travels to its caller,
// as the rest of the chain could do nothing sound without them.
#include <set>
#include <string>

#include "app/actualiz.h"
#include "base/names.h"
#include "indexes/index_catalogue.h"

namespace actualiz::app {

namespace {

// Deletes the indexes named by the rows of Data3's view from `table`, each
// name once.
void DropCataloguedIndexes(Actualiz& window, engine::Database& target, const std::string& table) {
  engine::TableDefPtr definition;
  if (!window.PassOver("TableDefs(" + table + ")",
                       [&] { definition = target.TableDefs().Item(table); })) {
    return;
  }
  std::set<std::string> handled;  // folded names, as the engine compares them
  engine::Recordset& view = window.Data3.Recordset();
  view.MoveFirst();
  while (!view.Eof()) {
    const std::string index = window.Text1(0).Text();
    if (handled.insert(FoldCase(index)).second) {
      const std::string object = indexes::IndexOnTable(index, table);
      if (window.PassOver("Indexes.Delete " + object,
                          [&] { definition->Indexes().Delete(index); })) {
        window.RecordChange("index dropped", object);
      }
    }
    view.MoveNext();
  }
}

}  // namespace

void Actualiz::Command18_Click() {
  HandlerScope scope(*this, "Command18_Click");
  engine::DatabasePtr target = OpenDatabase(Text4.Text());

  const int tables = List10.ListCount();
  for (int i = 0; i < tables; ++i) {
    List10.SetListIndex(i);
    const std::string table = List10.Text();
    indexes::PointView(Data3, indexes::RowsOfTable(table));
    if (indexes::ViewIsEmpty(Data3.Recordset())) continue;
    DropCataloguedIndexes(*this, *target, table);
  }

  target->Close();
  Command19_Click();
}

}  // namespace actualiz::app
