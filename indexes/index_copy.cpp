// "Copia los indices": creates in the target the indexes that the index
// catalogue records for each table of List10.
//
// For each table the catalogue rows are read first and gathered into
// indexes: the rows that share a name on that table make one index over all
// their fields, in row order, unique when the first row says "Verdadero".
// Bar4 counts the rows of the table in hand; it moves by an index's rows as
// that index is created.
//
// Every failure is passed over and recorded, and the copy always returns
// normally:
//  - an index the target table already has under the same name is left
//    alone without a record: within the chain that is an index the removal
//    could not delete (its failure is already recorded), and from the button
//    it is the target's own index;
//  - an index the engine refuses (a field the table lacks, a unique index
//    meeting duplicate data) is recorded and the copy goes on;
//  - a target that cannot be opened, or a catalogue that cannot be read,
//    ends the copy at once: nothing could be created, and walking on would
//    only repeat the same failure for every row.
#include <string>
#include <vector>

#include "app/actualiz.h"
#include "base/names.h"
#include "engine/description.h"
#include "indexes/index_catalogue.h"

namespace actualiz::app {

namespace {

bool TableHasIndex(engine::TableDef& table, const std::string& name) {
  for (const engine::IndexPtr& index : table.Indexes().Items()) {
    if (SameNameIgnoringCase(index->Name(), name)) return true;
  }
  return false;
}

void AppendIndex(engine::TableDef& table, const indexes::IndexPlan& plan) {
  engine::IndexPtr index = table.CreateIndex(plan.name);
  for (const std::string& field : plan.fields) index->Fields().Append(index->CreateField(field));
  index->SetUnique(plan.unique);
  table.Indexes().Append(index);
}

// Points Data3 at the rows of `table`, sets Bar4 to their count and returns
// them gathered into indexes (none when the table has no row).
std::vector<indexes::IndexPlan> ReadTablePlans(Actualiz& window, const std::string& table) {
  indexes::PointView(window.Data3, indexes::RowsOfTable(table));
  engine::Recordset& view = window.Data3.Recordset();
  if (indexes::ViewIsEmpty(view)) return {};
  view.MoveFirst();
  view.MoveLast();
  view.MoveFirst();
  window.Bar4.SetMax(static_cast<float>(view.RecordCount()));
  window.Bar4.SetValue(0);
  window.Frame13.Refresh();
  return indexes::GroupIntoIndexes(indexes::ReadShownRows(window));
}

void CreateTableIndexes(Actualiz& window, engine::Database& target, const std::string& table,
                        const std::vector<indexes::IndexPlan>& plans) {
  engine::TableDefPtr definition;
  window.PassOver("TableDefs(" + table + ")", [&] { definition = target.TableDefs().Item(table); });
  for (const indexes::IndexPlan& plan : plans) {
    for (int row = 0; row < plan.rows; ++row) {
      window.Bar4.SetValue(window.Bar4.Value() + 1);
      window.Frame13.Refresh();
    }
    if (!definition) continue;
    const std::string object = indexes::IndexOnTable(plan.name, table);
    bool present = false;
    if (!window.PassOver("Indexes " + object,
                         [&] { present = TableHasIndex(*definition, plan.name); })) {
      continue;
    }
    if (present) continue;
    std::string created;
    if (window.PassOver("Indexes.Append " + object, [&] {
          AppendIndex(*definition, plan);
          created = engine::DescribeIndex(*definition->Indexes().Item(plan.name)).dump();
        })) {
      window.RecordChange("index created", object, {}, created);
    }
  }
}

}  // namespace

void Actualiz::Command16_Click() {
  HandlerScope scope(*this, "Command16_Click");
  engine::DatabasePtr target;
  if (!PassOver("OpenDatabase " + Text4.Text(), [&] { target = OpenDatabase(Text4.Text()); })) {
    return;
  }

  const int tables = List10.ListCount();
  for (int i = 0; i < tables; ++i) {
    List10.SetListIndex(i);
    const std::string table = List10.Text();
    std::vector<indexes::IndexPlan> plans;
    if (!PassOver("Data3 rows of " + table, [&] { plans = ReadTablePlans(*this, table); })) {
      break;
    }
    CreateTableIndexes(*this, *target, table, plans);
  }

  PassOver("Close " + Text4.Text(), [&] { target->Close(); });
}

}  // namespace actualiz::app
