// Opens a record set over arbitrary source text on a small database. Text
// the engine does not accept must be refused with its error; text it accepts
// must give rows that can be read. Whatever the text, the data stays as it
// was: a record source only reads.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/error.h"
#include "engine/description/description.h"
#include "fuzz/fuzz_files.h"

using namespace actualiz;

namespace {

constexpr char kDatabase[] = R"({
  "tables": [
    {"name": "Clientes",
     "fields": [{"name": "Id", "type": 4}, {"name": "Nombre", "type": 10, "size": 50},
                {"name": "Alta", "type": 8}, {"name": "Saldo", "type": 5},
                {"name": "Notas", "type": 12}],
     "indexes": [{"name": "PrimaryKey", "fields": ["Id"], "primary": true, "unique": true}],
     "rows": [{"Id": 1, "Nombre": "Ana", "Saldo": 10.5},
              {"Id": 2, "Nombre": "O'Brien", "Notas": "x"},
              {"Id": 3}]},
    {"name": "Pedidos", "fields": [{"name": "Id", "type": 4}, {"name": "Cliente", "type": 4}],
     "rows": [{"Id": 1, "Cliente": 1}]}
  ],
  "queries": [{"name": "Deudores", "sql": "SELECT * FROM Clientes WHERE Saldo > 0"}]
})";

engine::Database& SharedDatabase(nlohmann::json* rows_before) {
  static engine::DatabasePtr database;
  static nlohmann::json rows;
  if (!database) {
    const std::string path = fuzz::FreshPath("records.mdb");
    engine::CreateFromDescription(path, engine::ParseDescription(kDatabase));
    engine::Session session;  // the database keeps what it needs of it
    database = engine::OpenDatabase(session, path);
    rows = engine::Describe(*database, {.system = true, .rows = true});
  }
  *rows_before = rows;
  return *database;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  nlohmann::json before;
  engine::Database& database = SharedDatabase(&before);
  const std::string source(reinterpret_cast<const char*>(data), size);
  try {
    auto records = database.OpenRecordset(source);
    for (int row = 0; !records->Eof() && row < 1000; ++row) {
      for (const auto& field : records->Fields().Items()) (void)field->GetValue();
      records->MoveNext();
    }
    records->Close();
  } catch (const Error&) {
  }
  if (engine::Describe(database, {.system = true, .rows = true}) != before) std::abort();
  return 0;
}
