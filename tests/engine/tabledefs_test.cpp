// Tables and their fields: creation, types and sizes, names, field appends
// and deletes on stored tables.
#include <gtest/gtest.h>

#include "tests/engine/engine_fixture.h"

namespace actualiz::engine {
namespace {

using TableDefsTest = EngineTest;

TEST_F(TableDefsTest, NewDatabaseHoldsOnlyTheEnginesOwnTablesWhichCannotBeUpdated) {
  ASSERT_EQ(db_->TableDefs().Count(), 4);
  for (const auto& table : db_->TableDefs().Items()) {
    EXPECT_EQ(table->Name().substr(0, 4), "MSys");
    EXPECT_FALSE(table->Updatable());
  }
}

TEST_F(TableDefsTest, AppendedTableIsStoredWithItsFieldsInOrder) {
  MakeTable("Clientes", {{"Codigo", dbLong, 0}, {"Nombre", dbText, 40}, {"Notas", dbMemo, 0}});
  auto reopened = OpenDatabase(session_, path_);
  auto table = reopened->TableDefs().Item("Clientes");
  EXPECT_TRUE(table->Updatable());
  ASSERT_EQ(table->Fields().Count(), 3);
  EXPECT_EQ(table->Fields().Item(0)->Name(), "Codigo");
  EXPECT_EQ(table->Fields().Item(1)->Name(), "Nombre");
  EXPECT_EQ(table->Fields().Item(1)->Size(), 40);
  EXPECT_EQ(table->Fields().Item(2)->Type(), dbMemo);
  EXPECT_EQ(reopened->TableDefs().Item(4)->Name(), "Clientes");
}

TEST_F(TableDefsTest, EveryTypeReportsJetsCodeAndSize) {
  const std::vector<std::tuple<int, int, int>> cases = {
      {dbBoolean, 0, 1},  {dbByte, 0, 1},     {dbInteger, 5, 2},    {dbLong, 0, 4},
      {dbCurrency, 0, 8}, {dbSingle, 0, 4},   {dbDouble, 0, 8},     {dbDate, 0, 8},
      {dbText, 1, 1},     {dbText, 255, 255}, {dbLongBinary, 0, 0}, {dbMemo, 9, 0},
      {dbGUID, 0, 16},    {dbBigInt, 0, 8}};
  auto table = db_->CreateTableDef("Tipos");
  for (size_t i = 0; i < cases.size(); ++i) {
    const auto [type, size, reported] = cases[i];
    auto field = table->CreateField("F" + std::to_string(i), type, size);
    EXPECT_EQ(field->Size(), reported) << "type " << type;
    table->Fields().Append(field);
  }
  db_->TableDefs().Append(table);
  auto stored = OpenDatabase(session_, path_)->TableDefs().Item("tipos");
  for (size_t i = 0; i < cases.size(); ++i) {
    const auto [type, size, reported] = cases[i];
    auto field = stored->Fields().Item(static_cast<int>(i));
    EXPECT_EQ(field->Type(), type);
    EXPECT_EQ(field->Size(), reported) << "type " << type;
  }
}

TEST_F(TableDefsTest, UnknownTypeCodesFail) {
  auto table = db_->CreateTableDef("T");
  for (int type : {0, 9, 13, 14, 17, -1}) {
    EXPECT_EQ(ErrorNumber([&] { table->CreateField("F", type, 0); }), err::kInvalidFieldType)
        << type;
  }
}

TEST_F(TableDefsTest, AppendRefusesTablesWithoutFieldsWithAFieldTwiceOrATakenName) {
  auto empty = db_->CreateTableDef("Vacia");
  EXPECT_EQ(ErrorNumber([&] { db_->TableDefs().Append(empty); }), err::kNoFieldDefined);

  auto twice = db_->CreateTableDef("Doble");
  twice->Fields().Append(twice->CreateField("Codigo", dbLong, 0));
  twice->Fields().Append(twice->CreateField("CODIGO", dbText, 10));
  EXPECT_EQ(ErrorNumber([&] { db_->TableDefs().Append(twice); }), err::kFieldDefinedTwice);

  MakeTable("Clientes", {{"Codigo", dbLong, 0}});
  auto again = db_->CreateTableDef("CLIENTES");
  again->Fields().Append(again->CreateField("X", dbLong, 0));
  EXPECT_EQ(ErrorNumber([&] { db_->TableDefs().Append(again); }), err::kTableExists);
  EXPECT_EQ(db_->TableDefs().Count(), 5);
}

TEST_F(TableDefsTest, LookupsIgnoreCaseAndFailForAbsentItems) {
  MakeTable("Clientes", {{"Codigo", dbLong, 0}});
  EXPECT_EQ(db_->TableDefs().Item("cLIENTES")->Name(), "Clientes");
  EXPECT_EQ(db_->TableDefs().Item("clientes")->Fields().Item("CODIGO")->Name(), "Codigo");
  EXPECT_EQ(ErrorNumber([&] { db_->TableDefs().Item("Proveedores"); }), err::kItemNotFound);
  EXPECT_EQ(ErrorNumber([&] { db_->TableDefs().Item(99); }), err::kItemNotFound);
  EXPECT_EQ(ErrorNumber([&] { db_->TableDefs().Item(-1); }), err::kItemNotFound);
  EXPECT_EQ(ErrorNumber([&] { db_->TableDefs().Delete("Proveedores"); }), err::kItemNotFound);
}

TEST_F(TableDefsTest, ErrorsNameTheObjectAndTheFile) {
  MakeTable("Clientes", {{"Codigo", dbLong, 0}});
  const Error e = RaisedError([&] { db_->TableDefs().Item("Clientes")->Fields().Item("Nada"); });
  EXPECT_EQ(e.Number(), err::kItemNotFound);
  EXPECT_EQ(e.Text(), "Item not found in this collection.");
  EXPECT_NE(e.Context().find("Nada"), std::string::npos);
  EXPECT_NE(e.Context().find("Clientes"), std::string::npos);
  EXPECT_NE(e.Context().find(path_), std::string::npos);
}

TEST_F(TableDefsTest, FieldsAppendAndDeleteOnAStoredTableChangeTheFileAtOnce) {
  MakeTable("Empleados", {{"Id", dbLong, 0}});
  AddRow("Empleados", {{"Id", 1}});
  auto table = db_->TableDefs().Item("Empleados");
  auto correo = table->CreateField("Correo", dbText, 50);
  correo->SetAllowZeroLength(true);
  table->Fields().Append(correo);
  table->Fields().Append(table->CreateField("Cuota", dbInteger, 5));

  auto other = OpenDatabase(session_, path_);
  auto seen = other->TableDefs().Item("Empleados");
  ASSERT_EQ(seen->Fields().Count(), 3);
  EXPECT_TRUE(seen->Fields().Item("Correo")->AllowZeroLength());
  EXPECT_FALSE(seen->Fields().Item("Cuota")->AllowZeroLength());
  EXPECT_EQ(seen->Fields().Item("Cuota")->Size(), 2);

  EXPECT_EQ(ErrorNumber([&] { table->Fields().Append(table->CreateField("correo", dbText, 5)); }),
            err::kFieldDefinedTwice);
  table->Fields().Delete("CORREO");
  table->Fields().Delete("Cuota");
  EXPECT_EQ(ErrorNumber([&] { table->Fields().Delete("Cuota"); }), err::kItemNotFound);
  EXPECT_EQ(seen->Fields().Count(), 1);
  EXPECT_EQ(RowCount("Empleados"), 1);
}

TEST_F(TableDefsTest, PropertiesOfAnAppendedFieldCannotChange) {
  MakeTable("T", {{"A", dbText, 10}});
  auto field = db_->TableDefs().Item("T")->Fields().Item("A");
  EXPECT_EQ(ErrorNumber([&] { field->SetAllowZeroLength(true); }), err::kInvalidOperation);
}

TEST_F(TableDefsTest, NamesWithAwkwardCharactersWork) {
  const std::string names[] = {"Mis clientes", "O'Brien",    "Año \"2024\"",
                               "[corchetes]",  "punto;coma", std::string(64, 'x')};
  for (const auto& name : names) {
    MakeTable(name, {{name, dbText, 20}});
    auto table = db_->TableDefs().Item(name);
    table->Fields().Append(table->CreateField(name.substr(0, 63) + "2", dbLong, 0));
    auto index = table->CreateIndex(name);
    index->Fields().Append(index->CreateField(name));
    table->Indexes().Append(index);
    AddRow(name, {{name, Value("v")}});
    EXPECT_EQ(RowCount(name), 1) << name;
    if (name.find(']') == std::string::npos) {
      EXPECT_EQ(RowCount("Select * from [" + name + "]"), 1) << name;
    }
  }
  auto reopened = OpenDatabase(session_, path_);
  for (const auto& name : names) {
    auto table = reopened->TableDefs().Item(name);
    EXPECT_EQ(table->Fields().Item(0)->Name(), name);
    EXPECT_EQ(table->Indexes().Item(name)->Fields().Item(0)->Name(), name);
  }
}

TEST_F(TableDefsTest, NamesLongerThan64CharactersOrEmptyAreRefused) {
  auto table = db_->CreateTableDef(std::string(65, 'x'));
  table->Fields().Append(table->CreateField("A", dbLong, 0));
  EXPECT_EQ(ErrorNumber([&] { db_->TableDefs().Append(table); }), 3125);
  auto ok = db_->CreateTableDef("Ok");
  EXPECT_EQ(ErrorNumber([&] { ok->Fields().Append(ok->CreateField("", dbLong, 0)); }), 3125);
  // 64 characters of two bytes each are still 64 characters.
  std::string accented;
  for (int i = 0; i < 64; ++i) accented += "ñ";
  MakeTable(accented, {{"A", dbLong, 0}});
  EXPECT_EQ(db_->TableDefs().Item(accented)->Name(), accented);
}

TEST_F(TableDefsTest, DeletingATableRemovesItAndItsMetadata) {
  MakeTable("Temporal", {{"A", dbText, 10}});
  db_->TableDefs().Delete("temporal");
  EXPECT_EQ(ErrorNumber([&] { db_->TableDefs().Item("Temporal"); }), err::kItemNotFound);
  MakeTable("Temporal", {{"A", dbText, 10}});
  EXPECT_FALSE(db_->TableDefs().Item("Temporal")->Fields().Item("A")->AllowZeroLength());
  EXPECT_EQ(ErrorNumber([&] { db_->TableDefs().Delete("MSysQueries"); }), err::kReadOnly);
}

}  // namespace
}  // namespace actualiz::engine
