// Stored queries: creation stores at once, appending the same definition
// again does nothing more, names and statements are checked.
#include <gtest/gtest.h>

#include "tests/engine/engine_fixture.h"

namespace actualiz::engine {
namespace {

class QueryDefsTest : public EngineTest {
 protected:
  QueryDefsTest() { MakeTable("Clientes", {{"Codigo", dbLong, 0}, {"Nombre", dbText, 40}}); }
};

TEST_F(QueryDefsTest, CreatedDefinitionIsStoredAtOnceInOrder) {
  db_->CreateQueryDef("Todos", "SELECT * FROM Clientes");
  db_->CreateQueryDef("Nombres", "SELECT [Nombre] FROM [Clientes] WHERE Codigo > 3");
  auto other = OpenDatabase(session_, path_);
  ASSERT_EQ(other->QueryDefs().Count(), 2);
  EXPECT_EQ(other->QueryDefs().Item(0)->Name(), "Todos");
  EXPECT_EQ(other->QueryDefs().Item("NOMBRES")->SQL(),
            "SELECT [Nombre] FROM [Clientes] WHERE Codigo > 3");
}

TEST_F(QueryDefsTest, AppendingTheVeryDefinitionAgainDoesNothingMore) {
  auto query = db_->CreateQueryDef("Todos", "SELECT * FROM Clientes");
  db_->QueryDefs().Append(query);
  EXPECT_EQ(db_->QueryDefs().Count(), 1);
}

TEST_F(QueryDefsTest, ATakenNameIsRefusedOnCreateAndOnAppendOfAnotherDefinition) {
  db_->CreateQueryDef("Todos", "SELECT * FROM Clientes");
  EXPECT_EQ(ErrorNumber([&] { db_->CreateQueryDef("TODOS", "SELECT Codigo FROM Clientes"); }),
            err::kObjectExists);
  auto other = OpenDatabase(session_, path_);
  auto stored_elsewhere = other->CreateQueryDef("Otra", "SELECT 1");
  EXPECT_EQ(ErrorNumber([&] { db_->QueryDefs().Append(db_->QueryDefs().Item("Todos")); }),
            err::kObjectExists);
  EXPECT_EQ(ErrorNumber([&] { db_->QueryDefs().Append(stored_elsewhere); }), err::kObjectExists);
  EXPECT_EQ(db_->QueryDefs().Item("Todos")->SQL(), "SELECT * FROM Clientes");
}

TEST_F(QueryDefsTest, StatementsTheEngineCannotCompileAreRefusedAndNothingIsStored) {
  EXPECT_EQ(ErrorNumber([&] { db_->CreateQueryDef("A", "SELEC * FROM Clientes"); }),
            err::kInvalidSqlStatement);
  EXPECT_EQ(ErrorNumber([&] { db_->CreateQueryDef("B", "SELECT * FROM WHERE"); }),
            err::kSyntaxErrorInQuery);
  EXPECT_EQ(ErrorNumber([&] { db_->CreateQueryDef("C", "SELECT 1; DROP TABLE Clientes"); }), 3142);
  EXPECT_EQ(ErrorNumber([&] { db_->CreateQueryDef("D", ""); }), err::kInvalidSqlStatement);
  EXPECT_EQ(db_->QueryDefs().Count(), 0);
  EXPECT_EQ(db_->TableDefs().Item("Clientes")->Name(), "Clientes");
}

TEST_F(QueryDefsTest, CheckingAStatementRunsNothing) {
  AddRow("Clientes", {{"Codigo", 1}});
  db_->CreateQueryDef("Borrar", "DELETE FROM Clientes");
  db_->CreateQueryDef("Alta", "INSERT INTO Clientes (Codigo) VALUES (2)");
  EXPECT_EQ(RowCount("Clientes"), 1);
}

TEST_F(QueryDefsTest, AQueryMayNameATableOrQueryThatComesLater) {
  db_->CreateQueryDef("Base", "SELECT * FROM Clientes");
  db_->CreateQueryDef("SobreBase", "SELECT Codigo FROM Base");
  db_->CreateQueryDef("Futura", "SELECT * FROM Pedidos");
  EXPECT_EQ(db_->QueryDefs().Count(), 3);
}

TEST_F(QueryDefsTest, DeleteRemovesTheQueryAndFailsForAnAbsentOne) {
  auto query = db_->CreateQueryDef("Todos", "SELECT * FROM Clientes");
  db_->QueryDefs().Delete("todos");
  EXPECT_EQ(db_->QueryDefs().Count(), 0);
  EXPECT_EQ(ErrorNumber([&] { db_->QueryDefs().Delete("Todos"); }), err::kItemNotFound);
  db_->QueryDefs().Append(query);  // stored anew after its deletion
  EXPECT_EQ(db_->QueryDefs().Count(), 1);
}

TEST_F(QueryDefsTest, OtherToolsSeeNoViewsOrExtraTables) {
  db_->CreateQueryDef("Todos", "SELECT * FROM Clientes");
  EXPECT_EQ(db_->TableDefs().Count(), 5);
}

}  // namespace
}  // namespace actualiz::engine
