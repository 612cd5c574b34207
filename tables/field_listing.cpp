// "Lista Campos Origen" (Command10_Click) and "Lista Campos Destino"
// (Command11_Click): the fields of one table as a field triple.
//
// Both read through Data1, which is left open on the table listed last. The
// table name is bracketed in the statement so that every legal name, one
// with a space included, opens its own table and nothing else.
//
// The model listing passes over its failures: its triple then holds the
// fields it could read, none when the table cannot be opened. The target
// listing has no rule of its own; its first failure travels to the caller.
#include "app/actualiz.h"
#include "base/names.h"

namespace actualiz::app {

namespace {

std::string SelectAllFrom(const std::string& table) { return "Select * from " + Bracketed(table); }

void ClearTriple(ControlArray<ListBox>& lists, int first) {
  for (int i = first; i < first + 3; ++i) lists(i).Clear();
}

// Appends one field's name, type code and size to the triple starting at
// `first`. All three are read before any is appended, so the three lists
// always stay the same length.
void AddFieldToTriple(engine::Field& field, ControlArray<ListBox>& lists, int first) {
  const std::string name = field.Name();
  const std::string type = std::to_string(field.Type());
  const std::string size = std::to_string(field.Size());
  lists(first).AddItem(name);
  lists(first + 1).AddItem(type);
  lists(first + 2).AddItem(size);
}

}  // namespace

void Actualiz::Command10_Click() {
  HandlerScope scope(*this, "Command10_Click");
  ClearTriple(List1, 0);
  PassOver("Data1.DatabaseName", [&] { Data1.SetDatabaseName(Text3.Text()); });
  PassOver("Data1.RecordSource", [&] { Data1.SetRecordSource(SelectAllFrom(List2.Text())); });
  // Without a record set there is nothing to read; one failure says why.
  if (!PassOver("Data1.Refresh " + Data1.RecordSource(), [&] { Data1.Refresh(); })) return;
  int count = 0;
  if (!PassOver("Fields.Count", [&] { count = Data1.Recordset().Fields().Count(); })) return;
  for (int k = 0; k < count; ++k) {
    PassOver("Fields(" + std::to_string(k) + ")",
             [&] { AddFieldToTriple(*Data1.Recordset().Fields().Item(k), List1, 0); });
  }
}

void Actualiz::Command11_Click() {
  HandlerScope scope(*this, "Command11_Click");
  ClearTriple(List5, 0);
  Data1.SetDatabaseName(Text4.Text());
  Data1.SetRecordSource(SelectAllFrom(List3.Text()));
  Data1.Refresh();
  engine::Collection<engine::Field>& fields = Data1.Recordset().Fields();
  const int count = fields.Count();
  for (int k = 0; k < count; ++k) AddFieldToTriple(*fields.Item(k), List5, 0);
}

}  // namespace actualiz::app
