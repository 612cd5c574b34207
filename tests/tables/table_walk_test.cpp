// The table walk (Command12_Click) and the database equalisation
// (Command8_Click), each after a table listing, on real databases.
#include <gtest/gtest.h>

#include "tests/tables/tables_support.h"

namespace actualiz::testing {
namespace {

using Items = std::vector<std::string>;

const char* const kModel = "c:\\prog\\modelos\\ventas.mdb";
const char* const kTarget = "c:\\datos\\ventas.mdb";

class TablesAndFields : public ::testing::Test {
 protected:
  void Prepare(const std::vector<nlohmann::json>& model,
               const std::vector<nlohmann::json>& target) {
    Build(site, kModel, model);
    Build(site, kTarget, target);
    window = StartedWindow(site);
    window->Text3.SetText(kModel);
    window->Text4.SetText(kTarget);
    ASSERT_TRUE(window->Click("Command6_Click"));
  }

  Items Fields(const std::string& table) { return FieldsOf(site, kTarget, table); }
  Items Tables() { return TablesOf(site, kTarget); }
  std::vector<std::string> ChangeObjects() {
    std::vector<std::string> out;
    for (const app::Change& change : window->Log().Changes()) {
      out.push_back(app::KindText(change.kind) + " " + change.ObjectText());
    }
    return out;
  }

  TestSite site;
  std::unique_ptr<app::Actualiz> window;
};

// ---- 1. Fields added by the walk ----

TEST_F(TablesAndFields, WalkAddsMissingFieldsWithTypeSizeAndZeroLengthRule) {
  Prepare({Table("Clientes", {{"Codigo", 4, 4},
                              {"Nombre", 10, 50},
                              {"Telefono", 10, 20},
                              {"Notas", 12, 0},
                              {"Visitas", 4, 4}})},
          {Table("Clientes", {{"Codigo", 10, 8}, {"Nombre", 10, 30}, {"Zona", 10, 10}}),
           Table("Propia", {{"X", 4, 4}})});
  ASSERT_TRUE(window->Click("Command12_Click"));

  // Present fields keep their own type and size; the extra field stays.
  EXPECT_EQ(Fields("Clientes"), (Items{"Codigo 10 8", "Nombre 10 30", "Zona 10 10",
                                       "Telefono 10 20 azl", "Notas 12 0 azl", "Visitas 4 4"}));
  EXPECT_EQ(Fields("Propia"), (Items{"X 4 4"}));
  EXPECT_EQ(window->List1(3).Items(), (Items{"Telefono", "Notas", "Visitas"}));
  EXPECT_EQ(window->List1(4).Items(), (Items{"10", "12", "4"}));
  EXPECT_EQ(window->List5(0).Items(), (Items{"Zona"})) << "the target's extra fields remain";
  EXPECT_EQ(ChangeObjects(), (Items{"field added Clientes.Telefono", "field added Clientes.Notas",
                                    "field added Clientes.Visitas"}));
  EXPECT_EQ(window->Bar2.Max(), 1.0f);
  EXPECT_EQ(window->Bar3.Value(), 5.0f);
}

TEST_F(TablesAndFields, WalkWritesNothingForIdenticalTablesOrTablesFoundOnlyInOtherCase) {
  Prepare(
      {Table("Clientes", {{"Codigo", 4, 4}}), Table("Pedidos", {{"Numero", 4, 4}, {"X", 4, 4}})},
      {Table("Clientes", {{"Codigo", 4, 4}}), Table("pedidos", {{"Numero", 4, 4}})});
  ASSERT_TRUE(window->Click("Command12_Click"));
  EXPECT_EQ(Fields("pedidos"), (Items{"Numero 4 4"}));
  EXPECT_TRUE(window->List1(3).Items().empty());
  EXPECT_TRUE(window->Log().Changes().empty());
  EXPECT_TRUE(window->Log().Failures().empty());
}

TEST_F(TablesAndFields, WalkComparesFieldNamesExactlyAndMatchesEachTargetFieldOnce) {
  // "telefono" is not "Telefono": it is taken as missing, and the engine,
  // whose names ignore case, refuses it. The walk has no rule yet at the
  // first table that receives fields, so the refusal ends it.
  Prepare({Table("Clientes", {{"Telefono", 10, 20}, {"Fax", 10, 20}}),
           Table("Pedidos", {{"Numero", 4, 4}, {"Fecha", 8, 8}})},
          {Table("Clientes", {{"telefono", 10, 20}}), Table("Pedidos", {{"Numero", 4, 4}})});
  EXPECT_FALSE(window->Click("Command12_Click"));
  EXPECT_EQ(Fields("Pedidos"), (Items{"Numero 4 4"})) << "the walk ended before Pedidos";
  EXPECT_EQ(Fields("Clientes"), (Items{"telefono 10 20"})) << "Fax comes after the refused field";
}

TEST_F(TablesAndFields, AfterTheFirstTableReceivedFieldsLaterFailuresArePassedOver) {
  Prepare(
      {Table("A", {{"Uno", 4, 4}, {"Dos", 4, 4}}), Table("B", {{"Tres", 10, 20}, {"Cuatro", 4, 4}}),
       Table("C", {{"Cinco", 4, 4}, {"Seis", 10, 5}})},
      {Table("A", {{"Uno", 4, 4}}), Table("B", {{"tres", 10, 20}}), Table("C", {{"Cinco", 4, 4}})});
  ASSERT_TRUE(window->Click("Command12_Click"));
  EXPECT_EQ(Fields("A"), (Items{"Uno 4 4", "Dos 4 4"}));
  EXPECT_EQ(Fields("B"), (Items{"tres 10 20", "Cuatro 4 4"})) << "the next field is still added";
  EXPECT_EQ(Fields("C"), (Items{"Cinco 4 4", "Seis 10 5 azl"}));
  ASSERT_EQ(window->Log().Failures().size(), 1u);
  const app::Failure& failure = window->Log().Failures()[0];
  EXPECT_EQ(failure.handler, "Command12_Click");
  EXPECT_EQ(failure.database, kTarget);
  EXPECT_NE(failure.statement.find("B.Tres"), std::string::npos) << failure.statement;
}

TEST_F(TablesAndFields, WalkLetsAFailureTravelBeforeAnyTableReceivedFields) {
  Prepare({Table("A", {{"Uno", 4, 4}, {"Dos", 4, 4}})}, {Table("A", {{"Uno", 4, 4}})});
  std::filesystem::remove(site.Host(kTarget));
  EXPECT_FALSE(window->Click("Command12_Click"));
  EXPECT_FALSE(window->Messages().empty());
}

// ---- 2. Tables created by the equalisation ----

TEST_F(TablesAndFields, EqualisationCreatesMissingTablesWithAllTheirFields) {
  Prepare({Table("T1", {{"A", 4, 4}}), Table("T2", {{"B", 4, 4}}),
           Table("T3", {{"Codigo", 10, 10}, {"Texto", 12, 0}, {"Cuenta", 4, 4}, {"Alta", 8, 8}})},
          {Table("T1", {{"A", 4, 4}}), Table("T2", {{"B", 4, 4}})});
  ASSERT_TRUE(window->Click("Command8_Click"));
  EXPECT_EQ(Tables(), (Items{"T1", "T2", "T3"}));
  EXPECT_EQ(Fields("T3"), (Items{"Codigo 10 10 azl", "Texto 12 0 azl", "Cuenta 4 4", "Alta 8 8"}));
  EXPECT_EQ(window->List4.Items(), (Items{"T3"}));
  EXPECT_EQ(window->Text5.Text(), kModel);
  EXPECT_EQ(ChangeObjects(), (Items{"table created T3"}));
}

TEST_F(TablesAndFields, EqualisationCreatesAMissingTableEvenWhenTheTargetHasAsManyTables) {
  Prepare({Table("T1", {{"A", 4, 4}}), Table("T2", {{"B", 4, 4}}), Table("T3", {{"C", 4, 4}})},
          {Table("T1", {{"A", 4, 4}}), Table("T2", {{"B", 4, 4}}), Table("T4", {{"D", 4, 4}})});
  ASSERT_TRUE(window->Click("Command8_Click"));
  EXPECT_EQ(Tables(), (Items{"T1", "T2", "T4", "T3"}));
  EXPECT_EQ(Fields("T3"), (Items{"C 4 4"}));
}

// The engine, whose names ignore case, refuses "T1" beside the target's "t1":
// that table is recorded and passed over, and the tables after it are still
// created.
TEST_F(TablesAndFields, EqualisationPassesOverATableNamedInOtherCaseAndCreatesTheRest) {
  Prepare({Table("T1", {{"A", 4, 4}}), Table("T2", {{"B", 4, 4}}), Table("T3", {{"C", 4, 4}})},
          {Table("t1", {{"A", 4, 4}}), Table("T2", {{"B", 4, 4}})});
  ASSERT_TRUE(window->Click("Command8_Click"));
  EXPECT_EQ(window->List4.Items(), (Items{"T1", "T3"}));
  EXPECT_EQ(Tables(), (Items{"t1", "T2", "T3"}));
  EXPECT_EQ(ChangeObjects(), (Items{"table created T3"}));
  ASSERT_EQ(window->Log().Failures().size(), 1u);
  const app::Failure& failure = window->Log().Failures()[0];
  EXPECT_EQ(failure.handler, "Command8_Click");
  EXPECT_EQ(failure.statement, "create table T1");
  EXPECT_EQ(failure.number, 3010);
  EXPECT_TRUE(failure.passed_over);
}

TEST_F(TablesAndFields, EqualisationTwiceWithoutAListingPassesOverTheTableItCreated) {
  Prepare({Table("T1", {{"A", 4, 4}}), Table("T2", {{"B", 4, 4}})}, {Table("T1", {{"A", 4, 4}})});
  ASSERT_TRUE(window->Click("Command8_Click"));
  ASSERT_TRUE(window->Click("Command8_Click"));
  EXPECT_EQ(window->List4.Items(), (Items{"T2", "T2"}));
  EXPECT_EQ(Tables(), (Items{"T1", "T2"}));
  EXPECT_EQ(window->Log().Failures().size(), 2u) << "each stale entry recorded";
}

TEST_F(TablesAndFields, SecondListingLetsTheWalkSeeNewTablesWithoutAddingFieldsTwice) {
  Prepare({Table("T1", {{"A", 4, 4}, {"B", 10, 5}}), Table("T2", {{"C", 4, 4}})},
          {Table("T1", {{"A", 4, 4}})});
  ASSERT_TRUE(window->Click("Command8_Click"));
  ASSERT_TRUE(window->Click("Command6_Click"));
  ASSERT_TRUE(window->Click("Command12_Click"));
  EXPECT_EQ(window->List3.Items(), (Items{"T1", "T2"}));
  EXPECT_EQ(ChangeObjects(), (Items{"table created T2", "field added T1.B"}));
  EXPECT_TRUE(window->Log().Failures().empty());
}

}  // namespace
}  // namespace actualiz::testing
