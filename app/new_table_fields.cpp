// "Lista de Campos" (Command2_Click): the fields of the model table selected
// in List4, as a field triple in List1(0) to List1(2).
//
// The database equalisation calls it for each table it is about to create.
// The triple is cleared only once the table's record set is open, so a table
// that cannot be read leaves the previous triple in place. The table name is
// bracketed in the statement so that every legal name, one with a space
// included, opens its own table and nothing else. No failure rule: the
// first failure travels to the caller.
#include "app/actualiz.h"
#include "base/names.h"

namespace actualiz::app {

void Actualiz::Command2_Click() {
  HandlerScope scope(*this, "Command2_Click");
  Data1.SetDatabaseName(Text3.Text());
  Data1.SetRecordSource("Select * from " + Bracketed(List4.Text()));
  Data1.Refresh();
  for (int i = 0; i < 3; ++i) List1(i).Clear();
  engine::Collection<engine::Field>& fields = Data1.Recordset().Fields();
  const int count = fields.Count();
  for (int i = 0; i < count; ++i) {
    const engine::FieldPtr field = fields.Item(i);
    List1(0).AddItem(field->Name());
    List1(1).AddItem(std::to_string(field->Type()));
    List1(2).AddItem(std::to_string(field->Size()));
  }
}

}  // namespace actualiz::app
