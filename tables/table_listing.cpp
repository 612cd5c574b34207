// "Lista de Tablas" (Command6_Click) and "Crear Tabla" (Command9_Click).
//
// The table listing fills List2 with the model's user tables and List3 with
// the target's, in the engine's order, and empties List4 for the
// equalisation that follows it. It has no failure rule of its own: when the
// model cannot be opened nothing changes; when the target cannot be opened
// List2 and Text2 already describe the new model while List3 and List4 are
// empty.
#include "app/actualiz.h"
#include "base/names.h"

namespace actualiz::app {

namespace {

void AddUserTables(engine::Database& database, ListBox& list) {
  for (const engine::TableDefPtr& table : database.TableDefs().Items()) {
    const std::string name = table->Name();
    if (!IsSystemName(name)) list.AddItem(name);
  }
}

}  // namespace

void Actualiz::Command6_Click() {
  HandlerScope scope(*this, "Command6_Click");
  engine::DatabasePtr database = OpenDatabase(Text3.Text());
  List2.Clear();
  List3.Clear();
  List4.Clear();
  // The count includes the engine's own tables, which are not listed.
  Text2.SetText(std::to_string(database->TableDefs().Count()) + " en " + database->Name());
  AddUserTables(*database, List2);
  database = OpenDatabase(Text4.Text());
  AddUserTables(*database, List3);
}

void Actualiz::Command9_Click() { HandlerScope scope(*this, "Command9_Click"); }

}  // namespace actualiz::app
