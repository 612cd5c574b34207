// The relation listing: what it writes into the catalogue, what it lists,
// and that the chain it starts leaves the target with the model's relations.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "tests/relations/relation_site.h"
#include "tests/support/own_session.h"

namespace actualiz::testing {
namespace {

using nlohmann::json;
using Strings = std::vector<std::string>;

const json kOrderLines = RelationJson("PedidosLineas", "Pedidos", "Lineas", 0,
                                      {{"Serie", "Serie"}, {"Numero", "Pedido"}, {"Anio", "Anio"}});
const json kInvoices =
    RelationJson("ClientesFacturas", "Clientes", "Facturas", 0, {{"Codigo", "Cliente"}});

using RelationListing = RelationChainTest;

TEST_F(RelationListing, ThreeFieldPairsGiveThreeRowsAndComeBackInOrder) {
  MakePair("tienda.mdb", ShopDatabase({kOrderLines}), ShopDatabase({}));
  PointAt("tienda.mdb");

  ASSERT_TRUE(Window().Click("Command22_Click"));

  const std::vector<CatalogueRow> expected = {
      {"PedidosLineas", "Pedidos", "Lineas", "0", "Serie", "Serie"},
      {"PedidosLineas", "Pedidos", "Lineas", "0", "Numero", "Pedido"},
      {"PedidosLineas", "Pedidos", "Lineas", "0", "Anio", "Anio"}};
  EXPECT_EQ(CatalogueRows(site), expected);
  EXPECT_EQ(Window().List9(0).Items(), Strings{"PedidosLineas"});
  EXPECT_TRUE(Window().List9(1).Items().empty());
  EXPECT_EQ(RelationsOf(HostTarget("tienda.mdb")), RelationsOf(HostModel("tienda.mdb")));
  EXPECT_EQ(Window().Bar5.Max(), 3.0f);
  EXPECT_EQ(Window().Bar5.Value(), 3.0f);
  EXPECT_EQ(ChangesOf(Window()), Strings{"relation created PedidosLineas"});
  EXPECT_TRUE(Window().Log().Failures().empty());
}

TEST_F(RelationListing, AttributesTravelAsDecimalTextAndComeBackToTheEngine) {
  const int cascades = engine::dbRelationUpdateCascade | engine::dbRelationDeleteCascade;
  const int loose_right_join = engine::dbRelationDontEnforce | engine::dbRelationRight;
  json invoices = kInvoices;
  invoices["attributes"] = cascades;
  json lines = kOrderLines;
  lines["attributes"] = loose_right_join;
  MakePair("tienda.mdb", ShopDatabase({invoices, lines}), ShopDatabase({}));
  PointAt("tienda.mdb");

  ASSERT_TRUE(Window().Click("Command22_Click"));

  Strings attributes;
  for (const CatalogueRow& row : CatalogueRows(site)) attributes.push_back(row[3]);
  EXPECT_EQ(attributes, (Strings{"4352", "33554434", "33554434", "33554434"}));
  const json relations = RelationsOf(HostTarget("tienda.mdb"));
  ASSERT_EQ(relations.size(), 2u);
  EXPECT_EQ(relations[0].at("attributes"), cascades);
  EXPECT_EQ(relations[1].at("attributes"), loose_right_join);
}

TEST_F(RelationListing, TheEnginesOwnRelationsAreNeitherListedNorTouched) {
  // "msys" in other capitals and names shorter than four letters are the
  // operator's own.
  MakePair("tienda.mdb",
           ShopDatabase(
               {RelationJson("msysEnlace", "Clientes", "Facturas", 0, {{"Codigo", "Cliente"}})}),
           ShopDatabase({}));
  AppendRelation(HostModel("tienda.mdb"), "MSysOculta", "Pedidos", "Lineas",
                 {{"Numero", "Pedido"}});
  AppendRelation(HostModel("tienda.mdb"), "MSy", "Pedidos", "Lineas", {{"Anio", "Anio"}});
  AppendRelation(HostTarget("tienda.mdb"), "MSysPropia", "Pedidos", "Lineas", {{"Serie", "Serie"}});
  PointAt("tienda.mdb");

  ASSERT_TRUE(Window().Click("Command22_Click"));

  EXPECT_EQ(Window().List9(0).Items(), (Strings{"msysEnlace", "MSy"}));
  EXPECT_TRUE(Window().List9(1).Items().empty());
  for (const CatalogueRow& row : CatalogueRows(site)) EXPECT_NE(row[0], "MSysOculta");
  Strings target;
  engine::DatabasePtr database = testing::OpenInOwnSession(HostTarget("tienda.mdb"));
  for (const auto& relation : database->Relations().Items()) target.push_back(relation->Name());
  database->Close();
  EXPECT_EQ(target, (Strings{"MSysPropia", "msysEnlace", "MSy"}));
}

// An earlier model's rows used to stay in the catalogue when the creation
// had narrowed the view to its last name; the next model's relation of the
// same name was then read with its pair twice and not created at all.
TEST_F(RelationListing, RowsOfAnEarlierModelAreNotReadAgain) {
  MakePair("a.mdb", ShopDatabase({kInvoices, kOrderLines}), ShopDatabase({}));
  const json old = RelationJson("Viejo", "Clientes", "Facturas", 2, {{"Codigo", "Cliente"}});
  MakePair("b.mdb", ShopDatabase({kInvoices}), ShopDatabase({old}));

  PointAt("a.mdb");
  ASSERT_TRUE(Window().Click("Command22_Click"));
  PointAt("b.mdb");
  ASSERT_TRUE(Window().Click("Command22_Click"));

  const std::vector<CatalogueRow> expected = {
      {"ClientesFacturas", "Clientes", "Facturas", "0", "Codigo", "Cliente"}};
  EXPECT_EQ(CatalogueRows(site), expected);
  EXPECT_EQ(RelationsOf(HostTarget("b.mdb")), RelationsOf(HostModel("b.mdb")));
  EXPECT_TRUE(Window().Log().Failures().empty());
}

TEST_F(RelationListing, AModelThatCannotBeOpenedChangesNothing) {
  MakePair("tienda.mdb", ShopDatabase({kInvoices, kOrderLines}), ShopDatabase({}));
  PointAt("tienda.mdb");
  ASSERT_TRUE(Window().Click("Command22_Click"));
  const std::vector<CatalogueRow> rows = CatalogueRows(site);
  const std::string source = Window().Data4.RecordSource();

  Window().Text3.SetText(ModelPath("falta.mdb"));
  EXPECT_FALSE(Window().Click("Command22_Click"));

  EXPECT_EQ(CatalogueRows(site), rows);
  EXPECT_EQ(Window().Data4.RecordSource(), source);
  EXPECT_EQ(Window().List9(0).Items(), (Strings{"ClientesFacturas", "PedidosLineas"}));
}

TEST_F(RelationListing, ATargetThatCannotBeOpenedStopsBeforeTheRemoval) {
  MakePair("tienda.mdb", ShopDatabase({kInvoices}), ShopDatabase({}));
  PointAt("tienda.mdb");
  Window().Text4.SetText(TargetPath("falta.mdb"));

  EXPECT_FALSE(Window().Click("Command22_Click"));

  EXPECT_EQ(CatalogueRows(site).size(), 1u);
  EXPECT_EQ(Window().List9(0).Items(), Strings{"ClientesFacturas"});
  EXPECT_TRUE(Window().List9(1).Items().empty());
  EXPECT_TRUE(Window().Log().Changes().empty());
}

}  // namespace
}  // namespace actualiz::testing
