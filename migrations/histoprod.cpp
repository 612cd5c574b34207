// The hidden "Transformar": the treatment history table "histoprod".
#include "engine/engine.h"
#include "migrations/fixed_table_migration.h"

namespace actualiz::app {

namespace {

const FixedTable& Histoprod() {
  using namespace engine;
  static const FixedTable table{
      "histoprod",
      {
          {"codcli", dbDouble},
          {"fechaini", dbDate},
          {"codproducto", dbLong},
          {"tipotra", dbLong},
          {"nompro", dbText, 255, true},
          {"registro", dbText, 255, true},
          {"plazoseg", dbText, 50, true},
          {"dosificacion", dbText, 255, true},
          {"toxicidad", dbText, 50, true},
          {"cantidad", dbDouble},
          {"precio", dbDouble},
          {"materiaactiva", dbText, 50, true},
          {"tipoaplicacion", dbText, 50, true},
          {"zonapli", dbMemo, 0, true},
          {"zonaafec", dbMemo, 0, true},
      },
      {
          {"codcli", "codcli"},
          {"fechaini", "fechaini"},
          {"codproducto", "codproducto"},
          {"nompro", "nompro"},
      },
      "La tabla histoprod ya existe",
  };
  return table;
}

}  // namespace

void Actualiz::Command25_Click() {
  HandlerScope scope(*this, "Command25_Click");
  RunFixedTableMigration(*this, Histoprod());
}

}  // namespace actualiz::app
