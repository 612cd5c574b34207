// The relation chain inside the batch, over several database pairs.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/error.h"
#include "engine/engine.h"
#include "tests/relations/relation_site.h"

namespace actualiz::testing {
namespace {

using nlohmann::json;
using Strings = std::vector<std::string>;

using RelationBatch = RelationChainTest;

// Whether adding the row is refused because it needs a related row.
bool RowRefused(const std::string& host_path, const std::string& table,
                const std::vector<std::pair<std::string, engine::Value>>& values) {
  try {
    AddRow(host_path, table, values);
    return false;
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::kRelatedRecordRequired);
    return true;
  }
}

TEST_F(RelationBatch, EveryTargetEndsWithItsModelsRelationsEnforcedAsTheySay) {
  const int cascades = engine::dbRelationUpdateCascade | engine::dbRelationDeleteCascade;
  const json invoices_cascading =
      RelationJson("ClientesFacturas", "Clientes", "Facturas", cascades, {{"Codigo", "Cliente"}});
  const json invoices =
      RelationJson("ClientesFacturas", "Clientes", "Facturas", 0, {{"Codigo", "Cliente"}});
  const json lines = RelationJson("PedidosLineas", "Pedidos", "Lineas", 0,
                                  {{"Serie", "Serie"}, {"Numero", "Pedido"}, {"Anio", "Anio"}});
  const json loose_lines = RelationJson("PedidosLineas", "Pedidos", "Lineas",
                                        engine::dbRelationDontEnforce, {{"Numero", "Pedido"}});
  const json old = RelationJson("Viejo", "Pedidos", "Lineas", 0, {{"Anio", "Anio"}});
  MakePair("a.mdb", ShopDatabase({invoices_cascading, lines}), ShopDatabase({old}));
  MakePair("b.mdb", ShopDatabase({loose_lines}), ShopDatabase({invoices}));
  MakePair("c.mdb", ShopDatabase({invoices}), ShopDatabase({}));

  ASSERT_TRUE(Window().Click("Command13_Click"));

  for (const char* file : {"a.mdb", "b.mdb", "c.mdb"}) {
    EXPECT_EQ(RelationsOf(HostTarget(file)), RelationsOf(HostModel(file))) << file;
  }
  for (const char* handler : {"Command20_Click", "Command21_Click", "Command22_Click"}) {
    EXPECT_TRUE(FailuresOf(Window(), handler).empty()) << handler;
  }

  // a: invoices need their customer, and follow a deleted customer away.
  const std::string a = HostTarget("a.mdb");
  EXPECT_TRUE(RowRefused(a, "Facturas", {{"Numero", 1}, {"Cliente", 7}}));
  AddRow(a, "Clientes", {{"Codigo", 7}, {"Nombre", "Eva"}});
  AddRow(a, "Facturas", {{"Numero", 1}, {"Cliente", 7}});
  DeleteRows(a, "Clientes", "Codigo", 7);
  EXPECT_TRUE(ColumnOf(a, "Facturas", "Numero").empty());
  // b: order lines without an order are let in.
  EXPECT_FALSE(RowRefused(HostTarget("b.mdb"), "Lineas", {{"Serie", "X"}, {"Pedido", 5}}));
  // c: invoices need their customer.
  EXPECT_TRUE(RowRefused(HostTarget("c.mdb"), "Facturas", {{"Numero", 1}, {"Cliente", 7}}));

  // The catalogue holds the last model's rows and nothing else.
  const std::string last = Window().List6.Items().back();
  std::vector<CatalogueRow> expected;
  for (const json& relation : RelationsOf(HostModel(last))) {
    for (const json& pair : relation.at("fields")) {
      expected.push_back({relation.at("name"), relation.at("table"), relation.at("foreignTable"),
                          std::to_string(relation.at("attributes").get<int>()), pair.at("name"),
                          pair.at("foreignName")});
    }
  }
  EXPECT_EQ(CatalogueRows(site), expected);
}

}  // namespace
}  // namespace actualiz::testing
