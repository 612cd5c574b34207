// A small model description the plan and check tests share: customers with
// a primary key and a unique name index, their orders, a relation between
// them and one stored query.
#pragma once

namespace actualiz::testing {

inline constexpr const char* kSampleModel = R"({"tables": [
  {"name": "Clientes", "fields": [{"name": "Id", "type": 4}, {"name": "Nombre", "type": 10},
                                  {"name": "Email", "type": 10}],
   "indexes": [{"name": "PrimaryKey", "fields": ["Id"], "primary": true, "unique": true},
               {"name": "idxNombre", "fields": ["Nombre"], "unique": true}]},
  {"name": "Pedidos", "fields": [{"name": "Num", "type": 4}, {"name": "Cliente", "type": 4}],
   "indexes": [{"name": "PrimaryKey", "fields": ["Num"], "primary": true, "unique": true}]}],
 "relations": [{"name": "relClientePedidos", "table": "Clientes", "foreignTable": "Pedidos",
                "fields": [{"name": "Id", "foreignName": "Cliente"}]}],
 "queries": [{"name": "qTodos", "sql": "SELECT * FROM Clientes"}]})";

}  // namespace actualiz::testing
