#include "bench/pair_shape.h"

#include <algorithm>

#include <fmt/format.h>

namespace actualiz::bench {

namespace {

constexpr int kTables = 40;
constexpr int kRelations = 20;
constexpr int kQueries = 30;

// Type codes: Boolean 1, Byte 2, Integer 3, Long 4, Currency 5, Single 6,
// Double 7, Date/Time 8, Text 10, Memo 12.
constexpr int kAmountTypes[] = {3, 4, 6, 7, 2};

std::string TableName(int t) { return fmt::format("Tabla{:02}", t); }

TableShape ModelTable(int t, bool for_server) {
  TableShape table{TableName(t), {}, {}};
  table.fields = {{"Id", 4, 4},          {"Codigo", 10, 10}, {"RefId", 4, 4},
                  {"RefCodigo", 10, 10}, {"Nombre", 10, 50}, {"Cantidad", kAmountTypes[t % 5], 0},
                  {"Precio", 5, 8},      {"Alta", 8, 8},     {"Notas", 12, 0},
                  {"Activo", 1, 1}};
  table.indexes.push_back({"Clave", {"Id"}, true});
  // A server's foreign key needs a unique index over exactly the fields it
  // references: relations over two field pairs reference Id and Codigo.
  // Second in the list, so that a customer that has it keeps it in place.
  if (for_server && t < kRelations && t % 3 == 0) {
    table.indexes.push_back({"ClaveDoble", {"Id", "Codigo"}, true});
  }
  if (t < 10) table.indexes.push_back({"CodNom", {"Codigo", "Nombre"}, false});
  if (t >= 10 && t < 15) table.indexes.push_back({"CodUnico", {"Codigo"}, true});
  if (t >= 15 && t < 20) table.indexes.push_back({"PorAlta", {"Alta", "Cantidad"}, false});
  return table;
}

RelationShape ModelRelation(int k) {
  static constexpr std::int32_t kAttributes[] = {4096, 256 | 4096, 256, 0};
  RelationShape relation{fmt::format("Rel{:02}", k),
                         TableName(k),
                         TableName(k + 20),
                         kAttributes[k % 4],
                         {{"Id", "RefId"}}};
  if (k % 3 == 0) relation.fields.emplace_back("Codigo", "RefCodigo");
  return relation;
}

QueryShape ModelQuery(int q) {
  const std::string a = TableName(q % kRelations);
  const std::string b = TableName(q % kRelations + 20);
  switch (q % 3) {
    case 0:
      return {fmt::format("Consulta{:02}", q),
              fmt::format("SELECT * FROM {} WHERE Cantidad > {}", a, q)};
    case 1:
      return {fmt::format("Consulta{:02}", q),
              fmt::format("SELECT {0}.Id, {0}.Nombre, {1}.Precio\r\nFROM {0} INNER JOIN {1} "
                          "ON {0}.Id = {1}.RefId\r\nORDER BY {0}.Nombre",
                          a, b)};
    default:
      return {fmt::format("Consulta{:02}", q),
              fmt::format("SELECT Codigo, Count(*) AS Veces FROM {} GROUP BY Codigo", b)};
  }
}

}  // namespace

DatabaseShape ModelShape(bool for_server) {
  DatabaseShape shape;
  for (int t = 0; t < kTables; ++t) shape.tables.push_back(ModelTable(t, for_server));
  for (int k = 0; k < kRelations; ++k) shape.relations.push_back(ModelRelation(k));
  for (int q = 0; q < kQueries; ++q) shape.queries.push_back(ModelQuery(q));
  return shape;
}

DatabaseShape CustomerShape(bool for_server) {
  DatabaseShape shape = ModelShape(for_server);
  shape.tables.resize(kTables - 4);
  for (int t = 0; t < 20; ++t) shape.tables[t].fields.resize(8);  // no Notas, Activo
  for (int t = 0; t < 3; ++t) {
    std::erase_if(shape.tables[t].indexes, [](const IndexShape& i) { return i.name == "CodNom"; });
  }
  shape.tables[5].indexes.push_back({"Sobra", {"Cantidad"}, false});
  // Relations 16 to 19 name the missing tables; 15 is missing as well.
  shape.relations.resize(15);
  shape.queries.resize(25);
  shape.queries[3].sql = "SELECT * FROM Tabla03";
  return shape;
}

}  // namespace actualiz::bench
