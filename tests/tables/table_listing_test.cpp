// The table listing (Command6_Click) and the field listings (Command10_Click,
// Command11_Click, Command2_Click) on real model and target databases.
#include <gtest/gtest.h>

#include "base/names.h"
#include "engine/engine.h"
#include "tests/support/own_session.h"
#include "tests/tables/tables_support.h"

namespace actualiz::testing {
namespace {

using Items = std::vector<std::string>;

const char* const kModel = "c:\\prog\\modelos\\ventas.mdb";
const char* const kTarget = "c:\\datos\\ventas.mdb";

class Listings : public ::testing::Test {
 protected:
  void SetUp() override {
    Build(site, kModel,
          {Table("Clientes", {{"Codigo", 4, 4}, {"Nombre", 10, 50}, {"Notas", 12, 0}}),
           Table("Lineas de pedido", {{"Linea", 3, 2}, {"Articulo", 10, 20}}),
           Table("Pedidos", {{"Numero", 4, 4}, {"Fecha", 8, 8}})});
    Build(site, kTarget, {Table("Clientes", {{"Codigo", 4, 4}, {"Telefono", 10, 15}})});
    window = StartedWindow(site);
    window->Text3.SetText(kModel);
    window->Text4.SetText(kTarget);
  }

  int TableDefCount(const std::string& windows_path) {
    return testing::OpenInOwnSession(site.Host(windows_path))->TableDefs().Count();
  }

  TestSite site;
  std::unique_ptr<app::Actualiz> window;
};

// ---- 1. The table listing ----

TEST_F(Listings, TableListingListsUserTablesAndCountsEverythingInText2) {
  window->List4.AddItem("left over");
  ASSERT_TRUE(window->Click("Command6_Click"));

  EXPECT_EQ(window->List2.Items(), (Items{"Clientes", "Lineas de pedido", "Pedidos"}));
  EXPECT_EQ(window->List3.Items(), (Items{"Clientes"}));
  EXPECT_TRUE(window->List4.Items().empty());
  const int count = TableDefCount(kModel);
  EXPECT_GT(count, 3) << "the engine's own tables count too";
  EXPECT_EQ(window->Text2.Text(), std::to_string(count) + " en " + kModel);
}

TEST_F(Listings, ModelWithOnlySystemTablesGivesEmptyListButNonZeroCount) {
  const char* const empty = "c:\\prog\\modelos\\vacia.mdb";
  Build(site, empty, {});
  window->Text3.SetText(empty);
  ASSERT_TRUE(window->Click("Command6_Click"));
  EXPECT_TRUE(window->List2.Items().empty());
  EXPECT_NE(window->Text2.Text().rfind("0 en ", 0), 0u) << window->Text2.Text();
}

TEST_F(Listings, ListingTwiceGivesTheSameListsAndSamePathGivesEqualLists) {
  window->Text4.SetText(kModel);
  ASSERT_TRUE(window->Click("Command6_Click"));
  ASSERT_TRUE(window->Click("Command6_Click"));
  EXPECT_EQ(window->List2.Items(), (Items{"Clientes", "Lineas de pedido", "Pedidos"}));
  EXPECT_EQ(window->List3.Items(), window->List2.Items());
}

TEST_F(Listings, MissingTargetLeavesTheNewModelListedAndTheTargetListsEmpty) {
  window->Text4.SetText("c:\\datos\\ninguna.mdb");
  window->List3.AddItem("old");
  EXPECT_FALSE(window->Click("Command6_Click"));
  EXPECT_EQ(window->List2.Items(), (Items{"Clientes", "Lineas de pedido", "Pedidos"}));
  EXPECT_TRUE(window->List3.Items().empty());
  EXPECT_EQ(window->Text2.Text().substr(window->Text2.Text().find(" en ")),
            std::string(" en ") + kModel);
}

TEST_F(Listings, MissingModelChangesNothing) {
  ASSERT_TRUE(window->Click("Command6_Click"));
  const std::string text2 = window->Text2.Text();
  window->Text3.SetText("c:\\prog\\modelos\\ninguna.mdb");
  EXPECT_FALSE(window->Click("Command6_Click"));
  EXPECT_EQ(window->List2.Items(), (Items{"Clientes", "Lineas de pedido", "Pedidos"}));
  EXPECT_EQ(window->List3.Items(), (Items{"Clientes"}));
  EXPECT_EQ(window->Text2.Text(), text2);
}

// ---- 2. The field listings ----

TEST_F(Listings, ModelFieldListingGivesNamesTypeCodesAndSizesInTableOrder) {
  window->List2.AddItem("Clientes");
  window->List2.SetListIndex(0);
  ASSERT_TRUE(window->Click("Command10_Click"));
  EXPECT_EQ(window->List1(0).Items(), (Items{"Codigo", "Nombre", "Notas"}));
  EXPECT_EQ(window->List1(1).Items(), (Items{"4", "10", "12"}));
  EXPECT_EQ(window->List1(2).Items(), (Items{"4", "50", "0"}));
  ASSERT_TRUE(window->Click("Command10_Click"));
  EXPECT_EQ(window->List1(0).ListCount(), 3) << "listing twice must not double the triple";
}

TEST_F(Listings, TableNamesWithASpaceAreListedByEveryFieldListing) {
  window->Text4.SetText(kModel);
  for (app::ListBox* list : {&window->List2, &window->List3, &window->List4}) {
    list->AddItem("Lineas de pedido");
    list->SetListIndex(0);
  }
  ASSERT_TRUE(window->Click("Command11_Click"));
  EXPECT_EQ(window->List5(0).Items(), (Items{"Linea", "Articulo"}));
  ASSERT_TRUE(window->Click("Command10_Click"));
  EXPECT_EQ(window->List1(0).Items(), (Items{"Linea", "Articulo"}));
  window->List1(0).Clear();
  ASSERT_TRUE(window->Click("Command2_Click"));
  EXPECT_EQ(window->List1(0).Items(), (Items{"Linea", "Articulo"}));
  EXPECT_EQ(window->List1(1).Items(), (Items{"3", "10"}));
  EXPECT_TRUE(window->Log().Failures().empty());
}

TEST_F(Listings, ATableNameCannotCarryAConditionIntoTheStatement) {
  // Placed bare into the statement, this name would open Pedidos and list
  // its fields; as one bracketed name it names no table at all.
  window->List2.AddItem("Pedidos where 1=1");
  window->List2.SetListIndex(0);
  ASSERT_TRUE(window->Click("Command10_Click"));
  EXPECT_TRUE(window->List1(0).Items().empty());
  ASSERT_EQ(window->Log().Failures().size(), 1u);

  window->List3.AddItem("Clientes where 1=1");
  window->List3.SetListIndex(0);
  EXPECT_FALSE(window->Click("Command11_Click"));
  EXPECT_TRUE(window->List5(0).Items().empty());
}

TEST_F(Listings, ModelListingPassesOverAMissingTableAndLeavesTheTripleEmpty) {
  window->List1(0).AddItem("stale");
  ASSERT_TRUE(window->Click("Command10_Click")) << "no table selected";
  EXPECT_TRUE(window->List1(0).Items().empty());
  EXPECT_TRUE(window->List1(1).Items().empty());
  ASSERT_EQ(window->Log().Failures().size(), 1u);
  const app::Failure& failure = window->Log().Failures()[0];
  EXPECT_EQ(failure.handler, "Command10_Click");
  EXPECT_TRUE(failure.passed_over);
}

TEST_F(Listings, TargetListingLetsAFailureTravel) {
  window->List5(0).AddItem("stale");
  window->List3.AddItem("Ninguna");
  window->List3.SetListIndex(0);
  EXPECT_FALSE(window->Click("Command11_Click"));
  EXPECT_TRUE(window->List5(0).Items().empty());
  ASSERT_EQ(window->Log().Failures().size(), 1u);
  EXPECT_FALSE(window->Log().Failures()[0].passed_over);
}

TEST_F(Listings, AfterTargetThenModelListingData1ShowsTheModelTable) {
  window->List2.AddItem("Clientes");
  window->List2.SetListIndex(0);
  window->List3.AddItem("Clientes");
  window->List3.SetListIndex(0);
  ASSERT_TRUE(window->Click("Command11_Click"));
  ASSERT_TRUE(window->Click("Command10_Click"));
  EXPECT_EQ(window->Data1.DatabaseName(), kModel);
  EXPECT_EQ(window->Data1.Recordset().Fields().Count(), 3);
  EXPECT_EQ(window->List5(0).Items(), (Items{"Codigo", "Telefono"}));
}

TEST_F(Listings, NewTableListingKeepsThePreviousTripleWhenTheTableCannotBeRead) {
  window->List4.AddItem("Pedidos");
  window->List4.SetListIndex(0);
  ASSERT_TRUE(window->Click("Command2_Click"));
  EXPECT_EQ(window->List1(0).Items(), (Items{"Numero", "Fecha"}));
  window->List4.SetListIndex(-1);
  EXPECT_FALSE(window->Click("Command2_Click"));
  EXPECT_EQ(window->List1(0).Items(), (Items{"Numero", "Fecha"}));
  EXPECT_EQ(window->List1(2).Items(), (Items{"4", "8"}));
}

}  // namespace
}  // namespace actualiz::testing
