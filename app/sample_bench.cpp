// The sample-database bench: three buttons that point Data2 at the sample
// database "C:\Neptuno.mdb" and append or delete three fields of its table
// "Empleados". None of them has a failure rule: an engine error ends the
// button's handler, and what was done before it stays done. A table that
// cannot be changed is not an error: each field call shows a message instead.
#include "app/actualiz.h"

namespace actualiz::app {

namespace {

const char* const kSampleDatabase = "C:\\Neptuno.mdb";
const char* const kSampleTable = "Empleados";

}  // namespace

// "Llenar DBGRID"
void Actualiz::Command3_Click() {
  HandlerScope scope(*this, "Command3_Click");
  Data2.SetDatabaseName(kSampleDatabase);
  Data2.Refresh();
}

// "Añadir Campo"
void Actualiz::Command4_Click() {
  HandlerScope scope(*this, "Command4_Click");
  AppendX();
}

void Actualiz::AppendX() {
  engine::DatabasePtr database = OpenDatabase(kSampleDatabase);
  engine::TableDefPtr table = database->TableDefs().Item(kSampleTable);
  AnexarEliminarCampo(table, "APPEND", "Correo", engine::dbText, 50);
  AnexarEliminarCampo(table, "APPEND", "Http", engine::dbText, 80);
  AnexarEliminarCampo(table, "APPEND", "Cuota", engine::dbInteger, 5);
  Data2.SetDatabaseName(kSampleDatabase);
  Data2.Refresh();
  database->Close();
}

// "Borrar Campos"
void Actualiz::Command5_Click() {
  HandlerScope scope(*this, "Command5_Click");
  engine::DatabasePtr database = OpenDatabase(kSampleDatabase);
  engine::TableDefPtr table = database->TableDefs().Item(kSampleTable);
  AnexarEliminarCampo(table, "DELETE", "Correo", 0, 0);
  AnexarEliminarCampo(table, "DELETE", "Http", 0, 0);
  AnexarEliminarCampo(table, "DELETE", "Cuota", 0, 0);
  database->Close();
}

void Actualiz::AnexarEliminarCampo(const engine::TableDefPtr& tdfTemp,
                                   const std::string& strComando, const std::string& strNombre,
                                   std::int16_t TIPO, std::int16_t size) {
  if (!tdfTemp->Updatable()) {
    MsgBox("¡TableDef no se puede actualizar! No se puede terminar la tarea.");
    return;
  }
  const ObjectRef changed{tdfTemp->Name(), strNombre};
  if (strComando == "APPEND") {
    engine::FieldPtr field = tdfTemp->CreateField(strNombre, TIPO, size);
    if (TIPO == engine::dbText || TIPO == engine::dbMemo) field->SetAllowZeroLength(true);
    tdfTemp->Fields().Append(field);
    RecordChange(ChangeKind::kFieldAdded, changed, kSampleDatabase);
  } else if (strComando == "DELETE") {
    tdfTemp->Fields().Delete(strNombre);
    RecordChange(ChangeKind::kFieldDropped, changed, kSampleDatabase);
  }
}

}  // namespace actualiz::app
