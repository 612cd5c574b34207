// Record sets: sources, moves and their edges, adding, editing and deleting
// rows, and the field rules kept on data.
#include <gtest/gtest.h>

#include "tests/engine/engine_fixture.h"

namespace actualiz::engine {
namespace {

class RecordsetTest : public EngineTest {
 protected:
  RecordsetTest() {
    MakeTable("Indices", {{"Tabla", dbText, 10}, {"Nombre", dbText, 20}, {"Unico", dbBoolean, 0}});
    AddRow("Indices", {{"Tabla", "Clientes"}, {"Nombre", "A"}});
    AddRow("Indices", {{"Tabla", "Clientes"}, {"Nombre", "B"}});
    AddRow("Indices", {{"Tabla", "Pedidos"}, {"Nombre", "C"}});
  }
  std::vector<std::string> Names(const RecordsetPtr& rs) {
    std::vector<std::string> out;
    if (rs->Eof()) return out;
    rs->MoveFirst();
    while (!rs->Eof()) {
      out.push_back(rs->Fields().Item("Nombre")->GetValue().ToText());
      rs->MoveNext();
    }
    return out;
  }
};

TEST_F(RecordsetTest, SourcesAreATableNameOrSelectStarWithACondition) {
  EXPECT_EQ(RowCount("Indices"), 3);
  EXPECT_EQ(RowCount("[indices]"), 3);
  EXPECT_EQ(RowCount("Select * from Indices where tabla = 'Clientes'"), 2);
  EXPECT_EQ(RowCount("SELECT * FROM [Indices] WHERE Tabla = 'clientes'"), 2);
  EXPECT_EQ(RowCount("select * from indices where nombre = 'C';"), 1);
  auto ordered = db_->OpenRecordset("Select * from Indices order by Nombre desc");
  EXPECT_EQ(Names(ordered), (std::vector<std::string>{"C", "B", "A"}));
}

TEST_F(RecordsetTest, BadSourcesFail) {
  EXPECT_EQ(ErrorNumber([&] { db_->OpenRecordset(""); }), err::kSyntaxErrorInFrom);
  EXPECT_EQ(ErrorNumber([&] { db_->OpenRecordset("Select Nombre from Indices"); }),
            err::kSyntaxErrorInFrom);
  EXPECT_EQ(ErrorNumber([&] { db_->OpenRecordset("Select * from Indices having x"); }),
            err::kSyntaxErrorInFrom);
  EXPECT_EQ(ErrorNumber([&] { db_->OpenRecordset("Nada"); }), err::kInputTableNotFound);
  // A name with an apostrophe breaks the quoted condition.
  EXPECT_EQ(
      ErrorNumber([&] { db_->OpenRecordset("Select * from Indices where tabla = 'O'Brien'"); }),
      err::kSyntaxErrorInQuery);
}

TEST_F(RecordsetTest, EmptySetIsAtBothEndsAndEveryMoveFails) {
  auto rs = db_->OpenRecordset("Select * from Indices where Tabla = 'Nada'");
  EXPECT_TRUE(rs->Eof());
  EXPECT_TRUE(rs->Bof());
  EXPECT_EQ(rs->RecordCount(), 0);
  for (auto move : {&Recordset::MoveFirst, &Recordset::MoveNext, &Recordset::MoveLast,
                    &Recordset::MovePrevious}) {
    EXPECT_EQ(ErrorNumber([&] { (rs.get()->*move)(); }), err::kNoCurrentRecord);
  }
  EXPECT_EQ(ErrorNumber([&] { rs->Fields().Item(0)->GetValue(); }), err::kNoCurrentRecord);
  EXPECT_EQ(ErrorNumber([&] { rs->Delete(); }), err::kNoCurrentRecord);
}

TEST_F(RecordsetTest, MovesWalkTheSetAndFailPastItsEnds) {
  auto rs = db_->OpenRecordset("Indices");
  EXPECT_FALSE(rs->Bof());
  EXPECT_EQ(rs->Fields().Item("Nombre")->GetValue(), Value("A"));
  rs->MoveLast();
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(rs->Fields().Item("nombre")->GetValue(), Value("C"));
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(ErrorNumber([&] { rs->MoveNext(); }), err::kNoCurrentRecord);
  rs->MoveFirst();
  rs->MovePrevious();
  EXPECT_TRUE(rs->Bof());
  EXPECT_EQ(ErrorNumber([&] { rs->MovePrevious(); }), err::kNoCurrentRecord);
}

TEST_F(RecordsetTest, DeleteLeavesNoCurrentRowUntilTheNextMove) {
  auto rs = db_->OpenRecordset("Indices");
  rs->Delete();
  EXPECT_FALSE(rs->Eof());
  EXPECT_EQ(ErrorNumber([&] { rs->Fields().Item(0)->GetValue(); }), err::kNoCurrentRecord);
  EXPECT_EQ(ErrorNumber([&] { rs->Delete(); }), err::kNoCurrentRecord);
  rs->MoveNext();
  EXPECT_EQ(rs->Fields().Item("Nombre")->GetValue(), Value("B"));
  EXPECT_EQ(rs->RecordCount(), 2);
  // Emptying a set the way the catalogues do.
  while (!rs->Eof()) {
    rs->Delete();
    rs->MoveNext();
  }
  EXPECT_TRUE(rs->Eof());
  EXPECT_TRUE(rs->Bof());
  EXPECT_EQ(RowCount("Indices"), 0);
}

TEST_F(RecordsetTest, AddedRowsJoinTheEndAndTheCurrentRowStays) {
  auto rs = db_->OpenRecordset("Select * from Indices where Tabla = 'Clientes'");
  int moves = 0;
  rs->SetMoveListener([&] { ++moves; });
  rs->AddNew();
  rs->Fields().Item("Tabla")->SetValue(Value("Pedidos"));
  rs->Fields().Item("Nombre")->SetValue(Value("D"));
  rs->Update();
  EXPECT_EQ(moves, 2);
  EXPECT_EQ(rs->Fields().Item("Nombre")->GetValue(), Value("A"));
  EXPECT_EQ(rs->RecordCount(), 3);
  rs->MoveLast();
  EXPECT_EQ(rs->Fields().Item("Nombre")->GetValue(), Value("D"));
  EXPECT_EQ(RowCount("Indices"), 4);
}

TEST_F(RecordsetTest, AddingToAnEmptySetKeepsItAtItsEnd) {
  auto rs = db_->OpenRecordset("Select * from Indices where Tabla = 'Nada'");
  rs->AddNew();
  rs->Fields().Item("Tabla")->SetValue(Value("Nada"));
  rs->Update();
  EXPECT_TRUE(rs->Eof());
  rs->MoveFirst();
  EXPECT_EQ(rs->Fields().Item("Tabla")->GetValue(), Value("Nada"));
}

TEST_F(RecordsetTest, EditChangesTheCurrentRowAndCancelDropsIt) {
  auto rs = db_->OpenRecordset("Indices");
  EXPECT_EQ(ErrorNumber([&] { rs->Fields().Item(0)->SetValue(Value("X")); }), 3020);
  EXPECT_EQ(ErrorNumber([&] { rs->Update(); }), 3020);
  rs->Edit();
  rs->Fields().Item("Unico")->SetValue(Value("Verdadero"));
  rs->Update();
  EXPECT_EQ(rs->Fields().Item("Unico")->GetValue(), Value(true));
  rs->Edit();
  rs->Fields().Item("Nombre")->SetValue(Value("Z"));
  rs->CancelUpdate();
  EXPECT_EQ(db_->OpenRecordset("Indices")->Fields().Item("Nombre")->GetValue(), Value("A"));
}

TEST_F(RecordsetTest, TextRulesAreKeptOnData) {
  // Zero-length text where the field does not allow it.
  EXPECT_EQ(ErrorNumber([&] { AddRow("Indices", {{"Nombre", ""}}); }), err::kZeroLengthString);
  // Text longer than declared; the length counts characters, not bytes.
  EXPECT_EQ(ErrorNumber([&] {
              AddRow("Indices", {{"Tabla", "12345678901"}});
            }),
            err::kFieldTooSmall);
  AddRow("Indices", {{"Tabla", "ññññññññññ"}});
  auto table = db_->CreateTableDef("Libre");
  auto field = table->CreateField("Texto", dbText, 5);
  field->SetAllowZeroLength(true);
  table->Fields().Append(field);
  auto required = table->CreateField("Obligado", dbLong, 0);
  required->SetRequired(true);
  table->Fields().Append(required);
  db_->TableDefs().Append(table);
  AddRow("Libre", {{"Texto", ""}, {"Obligado", 1}});
  EXPECT_EQ(ErrorNumber([&] { AddRow("Libre", {{"Texto", "x"}}); }), 3314);
  EXPECT_EQ(RowCount("Indices"), 4);
  EXPECT_EQ(RowCount("Libre"), 1);
}

TEST_F(RecordsetTest, ValuesAreConvertedToTheFieldsType) {
  MakeTable("Tipos", {{"Entero", dbInteger, 0}, {"Fecha", dbDate, 0}, {"Doble", dbDouble, 0}});
  AddRow("Tipos", {{"Entero", "42"}, {"Fecha", "2024-03-01"}, {"Doble", ""}});
  auto rs = db_->OpenRecordset("Tipos");
  EXPECT_EQ(rs->Fields().Item("Entero")->GetValue(), Value(std::int64_t{42}));
  EXPECT_EQ(rs->Fields().Item("Fecha")->GetValue(), Value(45352.0));
  EXPECT_TRUE(rs->Fields().Item("Doble")->GetValue().IsNull());
  rs->Edit();
  EXPECT_EQ(ErrorNumber([&] { rs->Fields().Item("Entero")->SetValue(Value("abc")); }),
            err::kTypeConversion);
  EXPECT_EQ(ErrorNumber([&] { rs->Fields().Item("Entero")->SetValue(Value(40000)); }),
            err::kTypeConversion);
  EXPECT_EQ(rs->Fields().Item("Entero")->Size(), 2);
  EXPECT_EQ(db_->OpenRecordset("Indices")->Fields().Item("Tabla")->Size(), 10);
}

TEST_F(RecordsetTest, EmptyTextAndEmptyBytesStayDistinctFromNull) {
  auto table = db_->CreateTableDef("Vacios");
  auto text = table->CreateField("Texto", dbMemo, 0);
  text->SetAllowZeroLength(true);
  table->Fields().Append(text);
  table->Fields().Append(table->CreateField("Datos", dbLongBinary, 0));
  db_->TableDefs().Append(table);
  AddRow("Vacios", {{"Texto", ""}, {"Datos", Bytes{}}});
  AddRow("Vacios", {});
  auto rs = db_->OpenRecordset("Vacios");
  EXPECT_EQ(rs->Fields().Item("Texto")->GetValue(), Value(""));
  EXPECT_EQ(rs->Fields().Item("Datos")->GetValue(), Value(Bytes{}));
  rs->MoveNext();
  EXPECT_TRUE(rs->Fields().Item("Texto")->GetValue().IsNull());
  EXPECT_TRUE(rs->Fields().Item("Datos")->GetValue().IsNull());
}

TEST_F(RecordsetTest, ClosedSetAndClosedDatabaseRefuseCalls) {
  auto rs = db_->OpenRecordset("Indices");
  auto field = rs->Fields().Item(0);
  rs->Close();
  EXPECT_EQ(ErrorNumber([&] { rs->MoveNext(); }), err::kObjectInvalid);
  auto other = db_->OpenRecordset("Indices");
  db_->Close();
  EXPECT_EQ(ErrorNumber([&] { other->MoveNext(); }), err::kObjectInvalid);
  EXPECT_EQ(ErrorNumber([&] { db_->TableDefs().Count(); }), err::kObjectInvalid);
}

TEST_F(RecordsetTest, TheEnginesOwnTablesCannotBeWrittenThroughASet) {
  auto rs = db_->OpenRecordset("MSysQueries");
  EXPECT_EQ(ErrorNumber([&] { rs->AddNew(); }), err::kReadOnly);
}

TEST(ValueText, ShowsValuesAsABoundBoxDoes) {
  EXPECT_EQ(Value().ToText(), "");
  EXPECT_EQ(Value(true).ToText(), "Verdadero");
  EXPECT_EQ(Value(false).ToText(), "Falso");
  EXPECT_EQ(Value(-12).ToText(), "-12");
  EXPECT_EQ(Value(2.5).ToText(), "2.5");
  EXPECT_EQ(Value(0.1).ToText(), "0.1");
  EXPECT_EQ(Value(1e20).ToText(), "100000000000000000000");
  EXPECT_EQ(Value(1.5e-7).ToText(), "0.00000015");
  EXPECT_EQ(Value("texto").ToText(), "texto");
}

}  // namespace
}  // namespace actualiz::engine
