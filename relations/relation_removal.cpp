// The relation removal, "Borrar Relacion": deletes from the target database
// (Text4) every relation named in List9(1), leaving the list as it is with its
// last entry selected.
//
// A name the target does not hold (the list came from another database, or
// the relation is gone already) is passed over and recorded, and the removal
// goes on with the next one: the listing runs the creation after it, and a
// removal that stopped half-way would leave the target with neither its own
// relations nor the model's. Pressed on its own, the removal shows the names
// it passed over when it ends; under the listing or the batch they are
// recorded only. Under the listing, the relations it keeps in place
// (app/kept_in_place.h) are not deleted.
#include <set>
#include <string>

#include "app/actualiz.h"
#include "engine/description/description.h"

namespace actualiz::app {

void Actualiz::Command20_Click() { RemoveRelations({}); }

void Actualiz::RemoveRelations(const std::set<std::string>& kept) {
  HandlerScope scope(*this, "Command20_Click");
  PassedOverShownAlone shown(*this);
  engine::DatabasePtr target = OpenDatabase(Text4.Text());

  const int count = List9(1).ListCount();
  for (int i = 0; i < count; ++i) {
    List9(1).SetListIndex(i);
    const std::string name = List9(1).Text();
    if (kept.contains(name)) continue;
    PassOver("Relations.Delete " + name, [&] {
      const std::string definition =
          engine::DescribeRelation(*target->Relations().Item(name)).dump();
      target->Relations().Delete(name);
      RecordChange(ChangeKind::kRelationDropped, {{}, name}, {}, definition);
    });
  }

  target->Close();
  shown.Show();
}

}  // namespace actualiz::app
