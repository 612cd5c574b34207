// "Copia los indices": creates in the target the indexes that the index
// catalogue records for each table of List10.
//
// For each table the catalogue rows are read first and gathered into
// indexes: the rows that share a name on that table make one index over all
// their fields, in row order, unique when the first row says "Verdadero".
// Bar4 counts the rows of the table in hand; it moves by an index's rows as
// that index is created.
//
// The catalogue cannot say which index is the primary key, so the copy asks
// the model (Text3) for it: a unique index that is the model's primary key
// on that table, over the very same fields, is built primary, and a target
// keeps its primary key from one batch to the next. The model is read once,
// when the first unique index is about to be built; a model that cannot be
// read is recorded and every index is then built from the catalogue alone.
// A primary key refused because the target table still has another one
// (one the removal could not delete) is recorded and built unique instead,
// so the index itself is not lost.
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
#include "engine/description/description.h"
#include "engine/jet_errors.h"
#include "indexes/index_catalogue.h"
#include "indexes/shared_indexes.h"

namespace actualiz::app {

namespace {

bool TableHasIndex(engine::TableDef& table, const std::string& name) {
  for (const engine::IndexPtr& index : table.Indexes().Items()) {
    if (SameNameIgnoringCase(index->Name(), name)) return true;
  }
  return false;
}

void AppendIndex(engine::TableDef& table, const indexes::IndexPlan& plan, bool primary) {
  engine::IndexPtr index = table.CreateIndex(plan.name);
  for (const std::string& field : plan.fields) index->Fields().Append(index->CreateField(field));
  index->SetUnique(plan.unique);
  if (primary) index->SetPrimary(true);
  table.Indexes().Append(index);
}

// The model's indexes, read on first use; empty when the model cannot be
// read (the failure recorded once).
class ModelPrimaryKeys {
 public:
  explicit ModelPrimaryKeys(Actualiz& window) : window_(window) {}

  bool IsPrimary(const std::string& table, const indexes::IndexPlan& plan) {
    if (!plan.unique) return false;
    if (!read_) {
      read_ = true;
      window_.PassOver("model indexes of " + window_.Text3.Text(),
                       [&] { model_ = indexes::ReadModelIndexes(window_, window_.Text3.Text()); });
    }
    return indexes::IsModelPrimaryKey(model_, table, plan);
  }

 private:
  Actualiz& window_;
  bool read_ = false;
  indexes::ModelIndexes model_;
};

// Builds the index of `plan`, primary when `primary`; a primary key the
// table refuses because it has one already is built unique. Returns whether
// an index was created; every failure is recorded.
bool CreateIndex(Actualiz& window, engine::TableDef& table, const indexes::IndexPlan& plan,
                 bool primary, const std::string& object) {
  const std::string statement = "Indexes.Append " + object;
  try {
    AppendIndex(table, plan, primary);
    return true;
  } catch (const Error& e) {
    window.RecordFailure(statement, e, true);
    if (!primary || e.Number() != err::kPrimaryKeyExists) return false;
  }
  return window.PassOver(statement + " as unique", [&] { AppendIndex(table, plan, false); });
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
                        const std::vector<indexes::IndexPlan>& plans, ModelPrimaryKeys& model) {
  engine::TableDefPtr definition;
  std::string target_table;  // the target's own spelling, as the run log names its objects
  window.PassOver("TableDefs(" + table + ")", [&] {
    definition = target.TableDefs().Item(table);
    target_table = definition->Name();
  });
  for (const indexes::IndexPlan& plan : plans) {
    for (int row = 0; row < plan.rows; ++row) {
      window.Bar4.SetValue(window.Bar4.Value() + 1);
      window.Frame13.Refresh();
    }
    if (!definition) continue;
    const std::string object = IndexOnTable(plan.name, target_table);
    bool present = false;
    if (!window.PassOver("Indexes " + object,
                         [&] { present = TableHasIndex(*definition, plan.name); })) {
      continue;
    }
    if (present) continue;
    if (CreateIndex(window, *definition, plan, model.IsPrimary(table, plan), object)) {
      // The definition as built, so that an index re-created exactly as it
      // was counts as no change.
      std::string created;
      window.PassOver("Indexes(" + object + ")", [&] {
        created = engine::DescribeIndex(*definition->Indexes().Item(plan.name)).dump();
      });
      window.RecordChange(ChangeKind::kIndexCreated, {target_table, plan.name}, {}, created);
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

  ModelPrimaryKeys model(*this);
  const int tables = List10.ListCount();
  for (int i = 0; i < tables; ++i) {
    List10.SetListIndex(i);
    const std::string table = List10.Text();
    std::vector<indexes::IndexPlan> plans;
    if (!PassOver("Data3 rows of " + table, [&] { plans = ReadTablePlans(*this, table); })) {
      break;
    }
    CreateTableIndexes(*this, *target, table, plans, model);
  }

  PassOver("Close " + Text4.Text(), [&] { target->Close(); });
}

}  // namespace actualiz::app
