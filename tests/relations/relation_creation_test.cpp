// The relation creation, on its own and as the end of the chain.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/error.h"
#include "engine/engine.h"
#include "tests/relations/relation_site.h"
#include "tests/support/db_builder.h"

namespace actualiz::testing {
namespace {

using nlohmann::json;
using Strings = std::vector<std::string>;

using RelationCreation = RelationChainTest;

// Writes a catalogue row straight into "C:\Zarade\relacion.mdb".
void AddCatalogueRow(const TestSite& site, const CatalogueRow& row) {
  AddRow(site.Host("c:\\Zarade\\relacion.mdb"), "relacion",
         {{"nombrerel", row[0]},
          {"tabla", row[1]},
          {"tablafor", row[2]},
          {"atributos", row[3]},
          {"campo", row[4]},
          {"campofor", row[5]}});
}

TEST_F(RelationCreation, BuildsFromTheCatalogueRowsOfEachListedName) {
  site.Database(TargetPath("tienda.mdb"), ShopDatabase({}));
  // Only the first row's relation values count.
  AddCatalogueRow(site, {"PL", "Pedidos", "Lineas", "4096", "Numero", "Pedido"});
  AddCatalogueRow(site, {"PL", "Otra", "Otra", "2", "Serie", "Serie"});
  PointAt("tienda.mdb");
  Window().List9(0).AddItem("PL");
  Window().List9(0).AddItem("SinFilas");

  ASSERT_TRUE(Window().Click("Command21_Click"));

  const json relations = RelationsOf(HostTarget("tienda.mdb"));
  const json expected = json::array(
      {RelationJson("PL", "Pedidos", "Lineas", 4096, {{"Numero", "Pedido"}, {"Serie", "Serie"}})});
  EXPECT_EQ(relations, expected);
  EXPECT_EQ(Window().Bar5.Max(), 2.0f);
  EXPECT_EQ(Window().Bar5.Value(), 2.0f);
  // A name without rows is passed over without a failure, and its query
  // stays the view.
  EXPECT_TRUE(Window().Log().Failures().empty());
  EXPECT_EQ(Window().List9(0).ListIndex(), 1);
  EXPECT_EQ(Window().Data4.RecordSource(), "Select * from relacion where nombrerel = 'SinFilas'");
}

TEST_F(RelationCreation, AnEmptyListOpensTheTargetAndChangesNothing) {
  site.Database(
      TargetPath("tienda.mdb"),
      ShopDatabase({RelationJson("Propia", "Clientes", "Facturas", 0, {{"Codigo", "Cliente"}})}));
  PointAt("tienda.mdb");
  const json before = DescribeFile(HostTarget("tienda.mdb"), true);
  const std::string source = Window().Data4.RecordSource();

  ASSERT_TRUE(Window().Click("Command21_Click"));

  EXPECT_EQ(DescribeFile(HostTarget("tienda.mdb"), true), before);
  EXPECT_EQ(Window().Data4.RecordSource(), source);
  EXPECT_TRUE(Window().Log().Changes().empty());

  // The target is opened all the same: a missing one fails.
  Window().Text4.SetText(TargetPath("falta.mdb"));
  EXPECT_FALSE(Window().Click("Command21_Click"));
  ASSERT_EQ(Window().Log().Failures().size(), 1u);
  EXPECT_EQ(Window().Log().Failures()[0].number, err::kFileNotFound);
}

// The creation used to end at the first relation the engine refused, after
// the removal had deleted every relation of the target: every later one was
// lost.
TEST_F(RelationCreation, ARelationTheDataBreaksIsReportedAndTheNextIsCreated) {
  const json invoices =
      RelationJson("ClientesFacturas", "Clientes", "Facturas", 0, {{"Codigo", "Cliente"}});
  const json lines = RelationJson("PedidosLineas", "Pedidos", "Lineas", 0,
                                  {{"Serie", "Serie"}, {"Numero", "Pedido"}});
  json loose = invoices;
  loose["attributes"] = engine::dbRelationDontEnforce;
  // The target keeps an invoice of a customer it does not have.
  MakePair("tienda.mdb", ShopDatabase({invoices, lines}),
           ShopDatabase({loose}, /*orphan_invoice=*/true));
  PointAt("tienda.mdb");

  ASSERT_TRUE(Window().Click("Command22_Click"));

  EXPECT_EQ(RelationNames(HostTarget("tienda.mdb")), Strings{"PedidosLineas"});
  const std::vector<app::Failure> failures = FailuresOf(Window(), "Command21_Click");
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].number, err::kDataBreaksRelation);
  EXPECT_NE(failures[0].statement.find("ClientesFacturas"), std::string::npos);
  EXPECT_TRUE(failures[0].passed_over);
  EXPECT_EQ(ChangesOf(Window()),
            (Strings{"relation dropped ClientesFacturas", "relation created PedidosLineas"}));
  // Under the listing the refusal is recorded only.
  EXPECT_TRUE(Window().Messages().empty());
}

// "Borrar Relacion" and "Crea Relacion" pressed on their own passed over the
// relations they could not delete or create without a word to the operator.
TEST_F(RelationCreation, TheButtonsShowWhatTheyPassedOverWhenPressedOnTheirOwn) {
  site.Database(TargetPath("tienda.mdb"), ShopDatabase({}, /*orphan_invoice=*/true));
  AddCatalogueRow(site, {"ClientesFacturas", "Clientes", "Facturas", "0", "Codigo", "Cliente"});
  PointAt("tienda.mdb");
  Window().List9(0).AddItem("ClientesFacturas");
  Window().List9(1).AddItem("Fantasma");
  struct Case {
    const char* handler;
    int number;
    const char* name;
  };
  for (const Case& c : {Case{"Command20_Click", err::kItemNotFound, "Fantasma"},
                        Case{"Command21_Click", err::kDataBreaksRelation, "ClientesFacturas"}}) {
    SCOPED_TRACE(c.handler);
    const size_t shown = Window().Messages().size();

    ASSERT_TRUE(Window().Click(c.handler));

    ASSERT_EQ(Window().Messages().size(), shown + 1);
    const app::Message& message = Window().Messages().back();
    EXPECT_EQ(message.look, platform::MessageLook::kCritical);
    EXPECT_EQ(message.text.rfind("Error " + std::to_string(c.number) + ": ", 0), 0u)
        << message.text;
    EXPECT_NE(message.text.find(std::string(c.handler) + ": "), std::string::npos) << message.text;
    EXPECT_NE(message.text.find(c.name), std::string::npos) << message.text;
    EXPECT_EQ(FailuresOf(Window(), c.handler).size(), 1u);
  }
}

// A name with an apostrophe used to break the catalogue query.
TEST_F(RelationCreation, ANameWithAnApostropheIsCarriedLikeAnyOther) {
  const json relation =
      RelationJson("Cliente's Facturas", "Clientes", "Facturas", 0, {{"Codigo", "Cliente"}});
  MakePair("tienda.mdb", ShopDatabase({relation}), ShopDatabase({}));
  PointAt("tienda.mdb");

  ASSERT_TRUE(Window().Click("Command22_Click"));

  EXPECT_EQ(RelationsOf(HostTarget("tienda.mdb")), json::array({relation}));
  EXPECT_TRUE(Window().Log().Failures().empty());
}

}  // namespace
}  // namespace actualiz::testing
