// The small customer databases the backup tests save and put back, as
// descriptions: the same on files and on a server.
#pragma once

namespace actualiz::testing {

// Table Clientes (Id primary, Nombre) with two rows and a stored query.
inline constexpr const char* kBackupClientes = R"({"tables": [{"name": "Clientes",
  "fields": [{"name": "Id", "type": 4}, {"name": "Nombre", "type": 10, "size": 50}],
  "indexes": [{"name": "PrimaryKey", "fields": ["Id"], "primary": true, "unique": true}],
  "rows": [{"Id": 1, "Nombre": "Ana"}, {"Id": 2, "Nombre": "Luis"}]}],
  "queries": [{"name": "qTodos", "sql": "SELECT * FROM Clientes"}]})";

// One table with one row.
inline constexpr const char* kBackupOther = R"({"tables": [{"name": "Otra",
  "fields": [{"name": "X", "type": 4}], "rows": [{"X": 7}]}]})";

}  // namespace actualiz::testing
