// "Transformar" (the visible one): the customer auxiliary table "pomerd".
#include "engine/engine.h"
#include "migrations/fixed_table_migration.h"

namespace actualiz::app {

namespace {

const FixedTable& Pomerd() {
  using namespace engine;
  static const FixedTable table{
      "pomerd",
      {
          {"CLICOD", dbDouble},
          {"productos", dbMemo, 0, true},
          {"tratamientos", dbMemo, 0, true},
      },
      {{"CLICOD", "CLICOD"}},
      "La tabla pomerd ya existe",
  };
  return table;
}

}  // namespace

void Actualiz::Command26_Click() {
  HandlerScope scope(*this, "Command26_Click");
  RunFixedTableMigration(*this, Pomerd());
}

}  // namespace actualiz::app
