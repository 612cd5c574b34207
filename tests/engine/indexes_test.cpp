// Indexes: per-table names, the checks of Indexes.Append and Delete, and
// unique indexes kept on data.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "tests/engine/engine_fixture.h"

namespace actualiz::engine {
namespace {

class IndexesTest : public EngineTest {
 protected:
  IndexesTest() {
    MakeTable("Clientes", {{"Codigo", dbLong, 0}, {"Nombre", dbText, 40}});
    MakeTable("Facturas", {{"Numero", dbLong, 0}, {"Cliente", dbLong, 0}});
  }
  IndexPtr NewIndex(const TableDefPtr& table, const std::string& name,
                    std::initializer_list<std::string> fields, bool unique = false) {
    auto index = table->CreateIndex(name);
    for (const auto& f : fields) index->Fields().Append(index->CreateField(f));
    index->SetUnique(unique);
    return index;
  }
};

TEST_F(IndexesTest, AppendedIndexIsStoredWithItsFieldsInKeyOrder) {
  auto table = db_->TableDefs().Item("Clientes");
  table->Indexes().Append(NewIndex(table, "PorNombre", {"Nombre", "Codigo"}, true));
  auto stored =
      OpenDatabase(session_, path_)->TableDefs().Item("clientes")->Indexes().Item("PORNOMBRE");
  EXPECT_EQ(stored->Name(), "PorNombre");
  EXPECT_TRUE(stored->Unique());
  EXPECT_FALSE(stored->Primary());
  ASSERT_EQ(stored->Fields().Count(), 2);
  EXPECT_EQ(stored->Fields().Item(0)->Name(), "Nombre");
  EXPECT_EQ(stored->Fields().Item(1)->Name(), "Codigo");
}

TEST_F(IndexesTest, TwoTablesMayEachHaveAnIndexOfTheSameName) {
  auto clientes = db_->TableDefs().Item("Clientes");
  auto facturas = db_->TableDefs().Item("Facturas");
  clientes->Indexes().Append(NewIndex(clientes, "PrimaryKey", {"Codigo"}, true));
  facturas->Indexes().Append(NewIndex(facturas, "PrimaryKey", {"Numero"}, true));
  EXPECT_EQ(clientes->Indexes().Item("PrimaryKey")->Fields().Item(0)->Name(), "Codigo");
  EXPECT_EQ(facturas->Indexes().Item("PrimaryKey")->Fields().Item(0)->Name(), "Numero");
  facturas->Indexes().Delete("PrimaryKey");
  EXPECT_EQ(clientes->Indexes().Count(), 1);
  EXPECT_EQ(facturas->Indexes().Count(), 0);
}

TEST_F(IndexesTest, AppendFailsForATakenNameNoFieldsAnAbsentFieldOrDuplicateData) {
  auto table = db_->TableDefs().Item("Clientes");
  table->Indexes().Append(NewIndex(table, "Idx", {"Codigo"}));
  EXPECT_EQ(ErrorNumber([&] { table->Indexes().Append(NewIndex(table, "IDX", {"Nombre"})); }),
            err::kIndexExists);
  EXPECT_EQ(ErrorNumber([&] { table->Indexes().Append(NewIndex(table, "Vacio", {})); }),
            err::kNoFieldDefined);
  EXPECT_EQ(ErrorNumber([&] { table->Indexes().Append(NewIndex(table, "Malo", {"Nada"})); }),
            err::kItemNotFound);
  AddRow("Clientes", {{"Codigo", 1}, {"Nombre", "Ana"}});
  AddRow("Clientes", {{"Codigo", 1}, {"Nombre", "Luis"}});
  EXPECT_EQ(
      ErrorNumber([&] { table->Indexes().Append(NewIndex(table, "Unico", {"Codigo"}, true)); }),
      err::kDuplicateValues);
  EXPECT_EQ(table->Indexes().Count(), 1);
}

TEST_F(IndexesTest, DeleteOfAnAbsentIndexFails) {
  auto table = db_->TableDefs().Item("Clientes");
  EXPECT_EQ(ErrorNumber([&] { table->Indexes().Delete("Nada"); }), err::kItemNotFound);
}

TEST_F(IndexesTest, UniqueIndexRefusesDuplicateRowsIgnoringCaseOfText) {
  auto table = db_->TableDefs().Item("Clientes");
  table->Indexes().Append(NewIndex(table, "Nombre", {"Nombre"}, true));
  AddRow("Clientes", {{"Nombre", "Ana"}});
  EXPECT_EQ(ErrorNumber([&] { AddRow("Clientes", {{"Nombre", "ANA"}}); }), err::kDuplicateValues);
  EXPECT_EQ(RowCount("Clientes"), 1);
}

TEST_F(IndexesTest, IndexesOfANewTableAreStoredWithIt) {
  auto table = db_->CreateTableDef("Pomerd");
  table->Fields().Append(table->CreateField("Codigo", dbLong, 0));
  table->Indexes().Append(NewIndex(table, "Codigo", {"Codigo"}, true));
  db_->TableDefs().Append(table);
  auto pomerd = db_->TableDefs().Item("Pomerd");
  auto& stored = pomerd->Indexes();
  ASSERT_EQ(stored.Count(), 1);
  EXPECT_TRUE(stored.Item(0)->Unique());

  auto bad = db_->CreateTableDef("Mala");
  bad->Fields().Append(bad->CreateField("A", dbLong, 0));
  bad->Indexes().Append(NewIndex(bad, "B", {"B"}));
  EXPECT_EQ(ErrorNumber([&] { db_->TableDefs().Append(bad); }), err::kItemNotFound);
  EXPECT_EQ(ErrorNumber([&] { db_->TableDefs().Item("Mala"); }), err::kItemNotFound);
}

TEST_F(IndexesTest, OnlyOnePrimaryIndexPerTable) {
  auto table = db_->TableDefs().Item("Clientes");
  auto primary = NewIndex(table, "PrimaryKey", {"Codigo"});
  primary->SetPrimary(true);
  table->Indexes().Append(primary);
  EXPECT_TRUE(table->Indexes().Item("PrimaryKey")->Primary());
  EXPECT_TRUE(table->Indexes().Item("PrimaryKey")->Unique());
  auto second = NewIndex(table, "Otra", {"Nombre"});
  second->SetPrimary(true);
  EXPECT_EQ(ErrorNumber([&] { table->Indexes().Append(second); }), 3283);
}

TEST_F(IndexesTest, AFieldInAnIndexCannotBeDeleted) {
  auto table = db_->TableDefs().Item("Clientes");
  table->Indexes().Append(NewIndex(table, "Idx", {"Nombre"}));
  EXPECT_EQ(ErrorNumber([&] { table->Fields().Delete("Nombre"); }), 3280);
  table->Indexes().Delete("Idx");
  table->Fields().Delete("Nombre");
  EXPECT_EQ(table->Fields().Count(), 1);
}

TEST_F(IndexesTest, OtherSqliteToolsSeeOrdinaryIndexes) {
  auto table = db_->TableDefs().Item("Clientes");
  table->Indexes().Append(NewIndex(table, "PorNombre", {"Nombre"}));
  db_->Close();
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &raw), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(
      raw, "SELECT tbl_name FROM sqlite_master WHERE type='index' AND sql LIKE '%Nombre%'", -1,
      &stmt, nullptr);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "Clientes");
  sqlite3_finalize(stmt);
  sqlite3_close(raw);
}

}  // namespace
}  // namespace actualiz::engine
