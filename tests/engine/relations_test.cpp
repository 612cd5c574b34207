// Relations: the checks of Relations.Append, and their enforcement on data
// with and without cascades.
#include <gtest/gtest.h>

#include "tests/engine/engine_fixture.h"

namespace actualiz::engine {
namespace {

class RelationsTest : public EngineTest {
 protected:
  RelationsTest() {
    MakeTable("Clientes", {{"Codigo", dbLong, 0}, {"Nombre", dbText, 40}});
    MakeTable("Facturas", {{"Numero", dbLong, 0}, {"Cliente", dbLong, 0}});
    AddRow("Clientes", {{"Codigo", 1}, {"Nombre", "Ana"}});
    AddRow("Clientes", {{"Codigo", 2}, {"Nombre", "Luis"}});
    AddRow("Facturas", {{"Numero", 10}, {"Cliente", 1}});
  }
  void Relate(const std::string& name, std::int32_t attributes,
              std::initializer_list<std::pair<std::string, std::string>> pairs = {{"Codigo",
                                                                                   "Cliente"}},
              const std::string& table = "Clientes", const std::string& foreign = "Facturas") {
    auto relation = db_->CreateRelation(name, table, foreign, attributes);
    for (const auto& [field, foreign_field] : pairs) {
      relation->Fields().Append(relation->CreateField(field));
      relation->Fields().Item(field)->SetForeignName(foreign_field);
    }
    db_->Relations().Append(relation);
  }
  // Sets `field` of the first row of `source` to `value`.
  void SetFirst(const std::string& source, const std::string& field, const Value& value) {
    auto rs = db_->OpenRecordset(source);
    rs->Edit();
    rs->Fields().Item(field)->SetValue(value);
    rs->Update();
  }
  void DeleteFirst(const std::string& source) { db_->OpenRecordset(source)->Delete(); }
};

TEST_F(RelationsTest, AppendedRelationIsStoredWithItsFieldPairs) {
  auto relation = db_->CreateRelation("ClientesFacturas", "Clientes", "Facturas", "4352");
  relation->Fields().Append(relation->CreateField("Codigo"));
  relation->Fields().Item("codigo")->SetForeignName("Cliente");
  db_->Relations().Append(relation);
  auto stored = OpenDatabase(session_, path_)->Relations().Item("clientesfacturas");
  EXPECT_EQ(stored->Name(), "ClientesFacturas");
  EXPECT_EQ(stored->Table(), "Clientes");
  EXPECT_EQ(stored->ForeignTable(), "Facturas");
  EXPECT_EQ(stored->Attributes(), dbRelationUpdateCascade | dbRelationDeleteCascade);
  ASSERT_EQ(stored->Fields().Count(), 1);
  EXPECT_EQ(stored->Fields().Item(0)->Name(), "Codigo");
  EXPECT_EQ(stored->Fields().Item(0)->ForeignName(), "Cliente");
}

TEST_F(RelationsTest, AttributesGivenAsTextMustBeANumber) {
  EXPECT_EQ(db_->CreateRelation("R", "Clientes", "Facturas", " 2 ")->Attributes(), 2);
  EXPECT_EQ(ErrorNumber([&] { db_->CreateRelation("R", "Clientes", "Facturas", "dos"); }),
            err::kInvalidArgument);
  EXPECT_EQ(ErrorNumber([&] { db_->CreateRelation("R", "Clientes", "Facturas", ""); }),
            err::kInvalidArgument);
}

TEST_F(RelationsTest, AppendChecksTablesFieldsPairsAndName) {
  EXPECT_EQ(ErrorNumber([&] {
              Relate("R", 0, {{"Codigo", "Cliente"}}, "Nada");
            }),
            err::kTableNotFound);
  EXPECT_EQ(ErrorNumber([&] {
              Relate("R", 0, {{"Codigo", "Cliente"}}, "Clientes", "Nada");
            }),
            err::kTableNotFound);
  EXPECT_EQ(ErrorNumber([&] { Relate("R", 0, {}); }), err::kNoFieldsInRelation);
  EXPECT_EQ(ErrorNumber([&] { Relate("R", 0, {{"Nada", "Cliente"}}); }), err::kItemNotFound);
  EXPECT_EQ(ErrorNumber([&] { Relate("R", 0, {{"Codigo", "Nada"}}); }), err::kItemNotFound);
  EXPECT_EQ(ErrorNumber([&] {
              Relate("R", 0, {{"Codigo", "Cliente"}, {"Nombre", "Cliente"}});
            }),
            err::kRelationFieldMismatch);
  auto relation = db_->CreateRelation("R", "Clientes", "Facturas", 0);
  relation->Fields().Append(relation->CreateField("Codigo"));
  EXPECT_EQ(ErrorNumber([&] { relation->Fields().Append(relation->CreateField("CODIGO")); }),
            err::kNameTakenInCollection);
  EXPECT_EQ(db_->Relations().Count(), 0);
  Relate("R", 0);
  EXPECT_EQ(ErrorNumber([&] { Relate("r", dbRelationDontEnforce); }), err::kObjectExists);
  EXPECT_EQ(db_->Relations().Count(), 1);
}

TEST_F(RelationsTest, EnforcedRelationRefusesExistingDataThatBreaksIt) {
  AddRow("Facturas", {{"Numero", 11}, {"Cliente", 99}});
  EXPECT_EQ(ErrorNumber([&] { Relate("R", 0); }), err::kDataBreaksRelation);
  EXPECT_EQ(db_->Relations().Count(), 0);
  Relate("R", dbRelationDontEnforce);
  EXPECT_EQ(db_->Relations().Count(), 1);
}

TEST_F(RelationsTest, EnforcedRelationNeedsAPrimaryRowForEveryFilledForeignKey) {
  Relate("R", 0);
  EXPECT_EQ(ErrorNumber([&] {
              AddRow("Facturas", {{"Numero", 11}, {"Cliente", 99}});
            }),
            err::kRelatedRecordRequired);
  AddRow("Facturas", {{"Numero", 12}});  // no customer: nothing to check
  AddRow("Facturas", {{"Numero", 13}, {"Cliente", 2}});
  EXPECT_EQ(ErrorNumber([&] { SetFirst("Facturas", "Cliente", Value(98)); }),
            err::kRelatedRecordRequired);
  EXPECT_EQ(RowCount("Facturas"), 3);
}

TEST_F(RelationsTest, ReferencedRowsCannotBeDeletedOrRekeyedWithoutCascade) {
  Relate("R", 0);
  EXPECT_EQ(ErrorNumber([&] { DeleteFirst("Select * from Clientes where Codigo = 1"); }),
            err::kRecordIsReferenced);
  EXPECT_EQ(
      ErrorNumber([&] { SetFirst("Select * from Clientes where Codigo = 1", "Codigo", Value(5)); }),
      err::kRecordIsReferenced);
  DeleteFirst("Select * from Clientes where Codigo = 2");  // not referenced
  EXPECT_EQ(RowCount("Clientes"), 1);
}

TEST_F(RelationsTest, CascadesFollowTheAttributes) {
  Relate("R", dbRelationUpdateCascade | dbRelationDeleteCascade);
  SetFirst("Select * from Clientes where Codigo = 1", "Codigo", Value(7));
  EXPECT_EQ(RowCount("Select * from Facturas where Cliente = 7"), 1);
  DeleteFirst("Select * from Clientes where Codigo = 7");
  EXPECT_EQ(RowCount("Facturas"), 0);
}

TEST_F(RelationsTest, DeletedRelationIsNoLongerEnforced) {
  Relate("R", 0);
  EXPECT_EQ(ErrorNumber([&] { db_->Relations().Delete("Nada"); }), err::kItemNotFound);
  EXPECT_EQ(ErrorNumber([&] { db_->TableDefs().Delete("Facturas"); }), 3303);
  db_->Relations().Delete("r");
  EXPECT_EQ(db_->Relations().Count(), 0);
  AddRow("Facturas", {{"Numero", 11}, {"Cliente", 99}});
  EXPECT_EQ(RowCount("Facturas"), 2);
}

TEST_F(RelationsTest, RelationsOverTwoFieldPairsAndAwkwardNames) {
  MakeTable("Líneas d'albarán", {{"Serie \"A\"", dbText, 5}, {"Número", dbLong, 0}});
  MakeTable("Detalle", {{"Serie", dbText, 5}, {"Num", dbLong, 0}});
  AddRow("Líneas d'albarán", {{"Serie \"A\"", "x"}, {"Número", 1}});
  Relate("Albarán's", dbRelationDeleteCascade, {{"Serie \"A\"", "Serie"}, {"Número", "Num"}},
         "Líneas d'albarán", "Detalle");
  AddRow("Detalle", {{"Serie", "X"}, {"Num", 1}});  // text keys match without regard to case
  EXPECT_EQ(ErrorNumber([&] {
              AddRow("Detalle", {{"Serie", "x"}, {"Num", 2}});
            }),
            err::kRelatedRecordRequired);
  DeleteFirst("Líneas d'albarán");
  EXPECT_EQ(RowCount("Detalle"), 0);
  auto stored = db_->Relations().Item("Albarán's");
  EXPECT_EQ(stored->Fields().Item(1)->ForeignName(), "Num");
}

}  // namespace
}  // namespace actualiz::engine
