// The relation creation, "Crea Relacion": builds in the target database
// (Text4) every relation named in List9(0) from its catalogue rows.
//
// For each name the view of Data4 is narrowed to the name's rows; the first
// row gives the relation's name, tables and attribute bits (as the decimal
// text the catalogue holds), and every row, in the order the view returns
// them, gives one field pair. A name without rows is passed over silently:
// nothing was recorded for it. Bar5 counts the pairs of the relation in hand.
//
// A relation the engine refuses (a missing table or field, a name already
// present, data that breaks it) is passed over and recorded under its name,
// and the creation goes on with the next: the removal has already deleted the
// target's relations, so stopping would lose every later one. Pressed on its
// own, the creation shows the relations it passed over when it ends; under
// the listing or the batch they are recorded only.
//
// Under the listing, a relation it keeps in place (app/kept_in_place.h) is
// not built again: it is recorded as kept, its catalogue rows are not read
// and Bar5 shows its pairs done.
//
// The view stays narrowed to the last name built; the next listing widens
// it again.
#include <set>
#include <string>

#include "app/actualiz.h"
#include "engine/description/description.h"
#include "relations/relation_catalogue.h"

namespace actualiz::app {
namespace {

// Creates the relation the rows of Data4's view describe, starting at its
// current (first) row, and stores it in `target`.
void CreateRelationFromRows(Actualiz& window, engine::Database& target) {
  engine::Recordset& rows = window.Data4.Recordset();
  engine::RelationPtr relation =
      target.CreateRelation(window.Text6(0).Text(), window.Text6(1).Text(), window.Text6(2).Text(),
                            window.Text6(3).Text());
  while (!rows.Eof()) {
    window.Bar5.SetValue(window.Bar5.Value() + 1);
    window.Frame13.Refresh();
    const std::string field_name = window.Text6(4).Text();
    relation->Fields().Append(relation->CreateField(field_name));
    relation->Fields().Item(field_name)->SetForeignName(window.Text6(5).Text());
    rows.MoveNext();
  }
  target.Relations().Append(relation);
}

}  // namespace

void Actualiz::Command21_Click() { CreateRelations({}); }

void Actualiz::CreateRelations(const std::set<std::string>& kept) {
  HandlerScope scope(*this, "Command21_Click");
  PassedOverShownAlone shown(*this);
  engine::DatabasePtr target = OpenDatabase(Text4.Text());

  const int count = List9(0).ListCount();
  for (int i = 0; i < count; ++i) {
    List9(0).SetListIndex(i);
    const std::string name = List9(0).Text();
    if (kept.contains(name)) {
      // Bar5 ends as building it would leave it: every pair done.
      PassOver("Relations(" + name + ")", [&] {
        const auto pairs = static_cast<float>(target->Relations().Item(name)->Fields().Count());
        Bar5.SetMax(pairs);
        Bar5.SetValue(pairs);
        Frame13.Refresh();
        RecordChange(ChangeKind::kRelationKept, {{}, name});
      });
      continue;
    }
    Data4.SetRecordSource(relations::RowsOfRelation(name));
    Data4.Refresh();
    engine::Recordset& rows = Data4.Recordset();
    if (rows.Eof() && rows.Bof()) continue;

    // RecordCount is complete only once the last row has been reached.
    rows.MoveFirst();
    rows.MoveLast();
    rows.MoveFirst();
    Bar5.SetMax(static_cast<float>(rows.RecordCount()));
    Bar5.SetValue(0);

    PassOver("Relations.Append " + name, [&] {
      CreateRelationFromRows(*this, *target);
      RecordChange(ChangeKind::kRelationCreated, {{}, name}, {},
                   engine::DescribeRelation(*target->Relations().Item(name)).dump());
    });
  }

  target->Close();
  shown.Show();
}

}  // namespace actualiz::app
