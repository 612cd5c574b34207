// "Igualar BBDD" (Command8_Click): the database equalisation.
//
// Creates in the target every model table that the target lacks, with the
// model table's fields (name, type, size; zero-length strings allowed in
// text and memo fields). It works from the lists the table listing has just
// filled: each List2 entry without an exactly equal List3 entry (upper and
// lower case distinct) is appended to List4, and for each List4 entry the
// new-table field listing (Command2_Click) reads the model's fields into
// List1(0) to List1(2), from which the table is built and stored.
//
// Every missing table is created whatever the two lists' lengths: a target
// with as many tables as its model, or more, can still lack one of them.
//
// Failures: a target that cannot be opened ends the equalisation and
// travels to the caller. A table that cannot be created (its model table
// cannot be read, the engine refuses a field or the table) is recorded in
// the run log and passed over, so it does not hold back the tables after
// it; tables stored stay in the target. A model table "T1" beside a target
// table "t1" is one such: the engine, whose names ignore case, refuses to
// create it, and the table walk, which pairs names exactly, leaves "t1" alone.
#include "app/actualiz.h"
#include "tables/field_triple.h"

namespace actualiz::app {

namespace {

// Appends to List4 the List2 entries that have no exactly equal entry in
// List3, in List2's order. Each search runs to the end of List3.
void ListMissingTables(ListBox& model_tables, ListBox& target_tables, ListBox& missing) {
  const int model_count = model_tables.ListCount();
  for (int i = 0; i < model_count; ++i) {
    model_tables.SetListIndex(i);
    bool found = false;
    const int target_count = target_tables.ListCount();
    for (int j = 0; j < target_count; ++j) {
      target_tables.SetListIndex(j);
      if (target_tables.Text() == model_tables.Text()) found = true;
    }
    if (!found) missing.AddItem(model_tables.Text());
  }
}

}  // namespace

void Actualiz::Command8_Click() {
  HandlerScope scope(*this, "Command8_Click");
  Text5.SetText(Text3.Text());
  ListMissingTables(List2, List3, List4);
  if (List4.ListCount() == 0) return;

  engine::DatabasePtr database = OpenDatabase(Text4.Text());
  const int missing = List4.ListCount();
  for (int k = 0; k < missing; ++k) {
    List4.SetListIndex(k);
    // The table in hand is shown selected while it is built: the window
    // keeps up with a long equalisation.
    List4.Refresh();
    const std::string name = List4.Text();
    PassOver("create table " + name, [&] {
      Command2_Click();
      engine::TableDefPtr table = database->CreateTableDef(name);
      const int fields = List1(0).ListCount();
      for (int m = 0; m < fields; ++m) {
        for (int b = 0; b < 3; ++b) List1(b).SetListIndex(m);
        table->Fields().Append(
            CreateFieldFromTriple(*table, List1(0).Text(), List1(1).Text(), List1(2).Text()));
      }
      database->TableDefs().Append(table);
      RecordChange(ChangeKind::kTableCreated, {{}, name});
    });
  }
  database->Close();
}

}  // namespace actualiz::app
