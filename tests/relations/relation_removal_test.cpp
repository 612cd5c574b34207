// The relation removal from its button.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/error.h"
#include "tests/relations/relation_site.h"

namespace actualiz::testing {
namespace {

using Strings = std::vector<std::string>;

using RelationRemoval = RelationChainTest;

// A name the target lacks used to end the removal, so the names after it
// stayed and the creation never ran.
TEST_F(RelationRemoval, PassesOverNamesTheTargetLacksAndDeletesTheRest) {
  site.Database(
      TargetPath("tienda.mdb"),
      ShopDatabase({RelationJson("Alfa", "Clientes", "Facturas", 0, {{"Codigo", "Cliente"}}),
                    RelationJson("Beta", "Pedidos", "Lineas", 0, {{"Numero", "Pedido"}})}));
  PointAt("tienda.mdb");
  for (const char* name : {"Alfa", "Fantasma", "Beta"}) Window().List9(1).AddItem(name);

  ASSERT_TRUE(Window().Click("Command20_Click"));

  EXPECT_TRUE(RelationNames(HostTarget("tienda.mdb")).empty());
  EXPECT_EQ(ChangesOf(Window()), (Strings{"relation dropped Alfa", "relation dropped Beta"}));
  ASSERT_EQ(Window().Log().Failures().size(), 1u);
  EXPECT_NE(Window().Log().Failures()[0].statement.find("Fantasma"), std::string::npos);
}

TEST_F(RelationRemoval, TheSecondRunInARowRecordsEveryNameAndDeletesNothing) {
  site.Database(
      TargetPath("tienda.mdb"),
      ShopDatabase({RelationJson("Alfa", "Clientes", "Facturas", 0, {{"Codigo", "Cliente"}}),
                    RelationJson("Beta", "Pedidos", "Lineas", 0, {{"Numero", "Pedido"}})}));
  PointAt("tienda.mdb");
  Window().List9(1).AddItem("Alfa");
  Window().List9(1).AddItem("Beta");
  ASSERT_TRUE(Window().Click("Command20_Click"));
  // A relation made again by hand after the first run survives the second.
  AppendRelation(HostTarget("tienda.mdb"), "Nueva", "Clientes", "Facturas",
                 {{"Codigo", "Cliente"}});

  ASSERT_TRUE(Window().Click("Command20_Click"));

  const std::vector<app::Failure> failures = Window().Log().Failures();
  ASSERT_EQ(failures.size(), 2u);
  for (size_t i = 0; i < failures.size(); ++i) {
    EXPECT_EQ(failures[i].handler, "Command20_Click");
    EXPECT_EQ(failures[i].number, err::kItemNotFound);
    EXPECT_NE(failures[i].statement.find(i == 0 ? "Alfa" : "Beta"), std::string::npos);
  }
  EXPECT_EQ(RelationNames(HostTarget("tienda.mdb")), Strings{"Nueva"});
  EXPECT_EQ(Window().Log().Changes().size(), 2u);
  EXPECT_EQ(Window().List9(1).Items(), (Strings{"Alfa", "Beta"}));
  EXPECT_EQ(Window().List9(1).ListIndex(), 1);
}

}  // namespace
}  // namespace actualiz::testing
