// The relation listing, "Lista Relaciones": carries the relations of the
// model database (Text3) over to the target database (Text4).
//
// 1. Open the model.
// 2. Point Data4 at the whole catalogue and empty it. The creation leaves the
//    view narrowed to the last relation it built; emptying only that view
//    would leave the other rows of an earlier model behind, and the next
//    creation would read them again beside the new rows of the same name.
// 3. Write one catalogue row per field pair of every model relation and list
//    the relation's name in List9(0).
// 4. List the target's relation names in List9(1).
// 5. Find the target's relations the chain would build again exactly as
//    they stand, in their place (app/kept_in_place.h): those stay.
// 6. Delete the others of List9(1) from the target (Command20_Click), then
//    build the model's from the catalogue (Command21_Click), recording each
//    relation that stayed as kept. The end state is the one deleting and
//    building them all gives, without checking every row again for the
//    relations that stayed.
//
// Relations whose names begin with "MSys" are the engine's own: they are
// neither listed nor recorded. A failure before step 6 ends the listing with
// what stands at that point; neither removal nor creation runs.
//
// Steps 1 to 6 run pressed as the button or from the batch; the removal and
// the creation pressed on their own keep nothing.
#include <set>
#include <string>

#include "app/actualiz.h"
#include "app/kept_in_place.h"
#include "base/names.h"
#include "relations/relation_catalogue.h"

namespace actualiz::app {
namespace {

// Stores one catalogue row per field pair of `relation`, in its field order.
void RecordRelationRows(Actualiz& window, engine::Relation& relation) {
  engine::Recordset& rows = window.Data4.Recordset();
  for (const engine::FieldPtr& pair : relation.Fields().Items()) {
    rows.AddNew();
    window.Text6(0).SetText(relation.Name());
    window.Text6(1).SetText(relation.Table());
    window.Text6(2).SetText(relation.ForeignTable());
    window.Text6(3).SetText(std::to_string(relation.Attributes()));
    window.Text6(4).SetText(pair->Name());
    window.Text6(5).SetText(pair->ForeignName());
    window.Data4.UpdateRecord();
  }
}

// Appends the names of the relations of `database` that are not the
// engine's own to `list`, in the engine's order.
void ListRelationNames(engine::Database& database, ListBox& list) {
  for (const engine::RelationPtr& relation : database.Relations().Items()) {
    if (!IsSystemName(relation->Name())) list.AddItem(relation->Name());
  }
}

}  // namespace

void Actualiz::Command22_Click() {
  HandlerScope scope(*this, "Command22_Click");
  engine::DatabasePtr model = OpenDatabase(Text3.Text());

  Data4.SetRecordSource(relations::kWholeCatalogue);
  Data4.Refresh();
  relations::EmptyView(Data4);

  List9(0).Clear();
  List9(1).Clear();
  for (const engine::RelationPtr& relation : model->Relations().Items()) {
    if (IsSystemName(relation->Name())) continue;
    List9(0).AddItem(relation->Name());
    RecordRelationRows(*this, *relation);
  }
  Data4.Refresh();

  engine::DatabasePtr target = OpenDatabase(Text4.Text());
  ListRelationNames(*target, List9(1));
  const std::set<std::string> kept = RelationsToKeep(*model, *target);
  model.reset();
  target.reset();

  RemoveRelations(kept);
  CreateRelations(kept);
}

}  // namespace actualiz::app
