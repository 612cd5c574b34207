// The index copy: what reaches the target from the catalogue, over real
// database files, through the whole chain or from its own button.
#include <filesystem>

#include <gtest/gtest.h>

#include "app/catalogues.h"
#include "tests/indexes/index_test_support.h"

namespace actualiz::testing {
namespace {

using IndexCopy = IndexChainTest;

constexpr const char* kClientesFields = R"(
  "fields": [{"name": "codigo", "type": 4},
             {"name": "nombre", "type": 10, "size": 50},
             {"name": "zona", "type": 10, "size": 20}])";

std::string Clientes(const std::string& indexes, const std::string& rows = "[]") {
  return R"({"tables": [{"name": "Clientes", )" + std::string(kClientesFields) +
         R"(, "indexes": )" + indexes + R"(, "rows": )" + rows + "}]}";
}

TEST_F(IndexCopy, MultiFieldIndexArrivesOverAllItsFieldsInOrder) {
  // Unique over (zona, nombre) holds for these rows; over zona alone it would not.
  MakePair(Clientes(R"([{"name": "idxZonaNombre", "fields": ["zona", "nombre"], "unique": true}])"),
           Clientes("[]", R"([{"codigo": 1, "nombre": "Ana", "zona": "N"},
                              {"codigo": 2, "nombre": "Luis", "zona": "N"}])"));

  ASSERT_TRUE(w().Click("Command17_Click"));

  EXPECT_EQ(IndexesOf(kTarget, "Clientes"),
            (std::vector<IndexShape>{{"idxZonaNombre", {"zona", "nombre"}, true, false}}));
  EXPECT_EQ(ChangesOf("index created"), std::vector<std::string>{"idxZonaNombre on Clientes"});
  EXPECT_TRUE(PassedOver().empty());
}

TEST_F(IndexCopy, UniqueAndNonUniqueIndexesKeepTheirFlag) {
  MakePair(Clientes(R"([{"name": "idxCodigo", "fields": ["codigo"], "unique": true},
                        {"name": "idxNombre", "fields": ["nombre"], "unique": false}])"),
           Clientes("[]"));

  ASSERT_TRUE(w().Click("Command17_Click"));

  EXPECT_EQ(IndexesOf(kTarget, "Clientes"),
            (std::vector<IndexShape>{{"idxCodigo", {"codigo"}, true, false},
                                     {"idxNombre", {"nombre"}, false, false}}));
}

TEST_F(IndexCopy, UniqueIndexMeetingDuplicateDataIsPassedOverAndTheCopyGoesOn) {
  MakePair(Clientes(R"([{"name": "idxCodigo", "fields": ["codigo"], "unique": true},
                        {"name": "idxNombre", "fields": ["nombre"], "unique": false}])"),
           Clientes("[]", R"([{"codigo": 7, "nombre": "Ana", "zona": "N"},
                              {"codigo": 7, "nombre": "Eva", "zona": "S"}])"));

  ASSERT_TRUE(w().Click("Command17_Click"));

  EXPECT_EQ(IndexesOf(kTarget, "Clientes"),
            (std::vector<IndexShape>{{"idxNombre", {"nombre"}, false, false}}));
  EXPECT_EQ(PassedOver(), std::vector<std::string>{"Indexes.Append idxCodigo on Clientes: 3022"});
}

TEST_F(IndexCopy, OnlyTheExactWordVerdaderoMakesAnIndexUnique) {
  MakePair(Clientes("[]"), Clientes("[]"));
  ListTables({"Clientes"});
  AddCatalogueRow({"idxCodigo", "Clientes", "codigo", "verdadero"});
  AddCatalogueRow({"idxNombre", "Clientes", "nombre", "Verdadero"});

  ASSERT_TRUE(w().Click("Command16_Click"));

  EXPECT_EQ(IndexesOf(kTarget, "Clientes"),
            (std::vector<IndexShape>{{"idxCodigo", {"codigo"}, false, false},
                                     {"idxNombre", {"nombre"}, true, false}}));
}

TEST_F(IndexCopy, IndexTheTargetHoldsUnderTheSameNameIsLeftAlone) {
  MakePair(Clientes("[]"),
           Clientes(R"([{"name": "idxNombre", "fields": ["zona"], "unique": false}])"));
  ListTables({"Clientes"});
  AddCatalogueRow({"IDXNOMBRE", "Clientes", "nombre", "Verdadero"});
  AddCatalogueRow({"idxCodigo", "Clientes", "codigo", "Falso"});

  ASSERT_TRUE(w().Click("Command16_Click"));

  EXPECT_EQ(IndexesOf(kTarget, "Clientes"),
            (std::vector<IndexShape>{{"idxNombre", {"zona"}, false, false},
                                     {"idxCodigo", {"codigo"}, false, false}}));
  EXPECT_EQ(ChangesOf("index created"), std::vector<std::string>{"idxCodigo on Clientes"});
  EXPECT_TRUE(PassedOver().empty());
}

// The catalogue cannot say "primary": the copy takes it from the model, so
// the key comes back primary and the next chain finds nothing to replace.
TEST_F(IndexCopy, ModelsPrimaryKeyArrivesPrimaryAndTheNextChainLeavesIt) {
  const std::string model = Clientes(R"([{"name": "PrimaryKey", "fields": ["codigo"],
                                          "primary": true}])");
  for (const std::string& target_indexes :
       {std::string("[]"), std::string(R"([{"name": "PrimaryKey", "fields": ["codigo"],
                                             "unique": true}])")}) {
    for (const char* path : {kModel, kTarget}) std::filesystem::remove(site_.Host(path));
    MakePair(model, Clientes(target_indexes));

    ASSERT_TRUE(w().Click("Command17_Click"));
    EXPECT_EQ(IndexesOf(kTarget, "Clientes"),
              (std::vector<IndexShape>{{"PrimaryKey", {"codigo"}, true, true}}))
        << target_indexes;

    w().Log().Clear();
    ASSERT_TRUE(w().Click("Command17_Click"));
    EXPECT_TRUE(ChangesOf("index dropped").empty()) << target_indexes;
    EXPECT_TRUE(ChangesOf("index created").empty()) << target_indexes;
    EXPECT_TRUE(PassedOver().empty()) << target_indexes;
  }
}

TEST_F(IndexCopy, PrimaryKeyRefusedBesideTheTargetsOwnIsBuiltUnique) {
  MakePair(Clientes(R"([{"name": "PrimaryKey", "fields": ["codigo"], "primary": true}])"),
           Clientes(R"([{"name": "Clave", "fields": ["nombre"], "primary": true}])"));
  ListTables({"Clientes"});
  AddCatalogueRow({"PrimaryKey", "Clientes", "codigo", "Verdadero"});

  ASSERT_TRUE(w().Click("Command16_Click"));

  EXPECT_EQ(IndexesOf(kTarget, "Clientes"),
            (std::vector<IndexShape>{{"Clave", {"nombre"}, true, true},
                                     {"PrimaryKey", {"codigo"}, true, false}}));
  EXPECT_EQ(PassedOver(), std::vector<std::string>{"Indexes.Append PrimaryKey on Clientes: 3283"});
  EXPECT_EQ(ChangesOf("index created"), std::vector<std::string>{"PrimaryKey on Clientes"});
}

TEST_F(IndexCopy, NamesWithApostrophesAndSpacesSelectOnlyTheirOwnRows) {
  // Unquoted, the second table's name would turn the filter into "every
  // row", and idxNombre would be made on it too.
  const std::string model = R"({"tables": [
    {"name": "Cuentas d'Ana", "fields": [{"name": "apellido de O'Brien", "type": 10, "size": 30},
                                         {"name": "nombre", "type": 10, "size": 30}],
     "indexes": [{"name": "idx de O'Brien", "fields": ["apellido de O'Brien"]}]},
    {"name": "x' or tabla <> 'x", "fields": [{"name": "nombre", "type": 10, "size": 30}],
     "indexes": []},
    {"name": "Clientes", )" +
                            std::string(kClientesFields) + R"(,
     "indexes": [{"name": "idxNombre", "fields": ["nombre"]}]}]})";
  const std::string target = R"({"tables": [
    {"name": "Cuentas d'Ana", "fields": [{"name": "apellido de O'Brien", "type": 10, "size": 30},
                                         {"name": "nombre", "type": 10, "size": 30}]},
    {"name": "x' or tabla <> 'x", "fields": [{"name": "nombre", "type": 10, "size": 30}]},
    {"name": "Clientes", )" + std::string(kClientesFields) +
                             "}]}";
  MakePair(model, target);

  ASSERT_TRUE(w().Click("Command17_Click"));

  EXPECT_EQ(IndexesOf(kTarget, "Cuentas d'Ana"),
            (std::vector<IndexShape>{{"idx de O'Brien", {"apellido de O'Brien"}, false, false}}));
  EXPECT_TRUE(IndexesOf(kTarget, "x' or tabla <> 'x").empty());
  EXPECT_EQ(IndexesOf(kTarget, "Clientes"),
            (std::vector<IndexShape>{{"idxNombre", {"nombre"}, false, false}}));
  EXPECT_TRUE(PassedOver().empty());
}

TEST_F(IndexCopy, Bar4CountsTheRowsOfTheLastTableWithRows) {
  MakePair(Clientes(R"([{"name": "idxZonaNombre", "fields": ["zona", "nombre"]},
                        {"name": "idxCodigo", "fields": ["codigo"]}])"),
           Clientes("[]"));

  ASSERT_TRUE(w().Click("Command17_Click"));

  EXPECT_EQ(w().Bar4.Max(), 3.0f);
  EXPECT_EQ(w().Bar4.Value(), 3.0f);
}

TEST_F(IndexCopy, UnreadableCatalogueEndsTheCopyWithTheFailureRecorded) {
  MakePair(Clientes("[]"), Clientes("[]"));
  ListTables({"Clientes", "Proveedores"});
  w().Data3.SetDatabaseName("C:\\Zarade\\ninguno.mdb");

  EXPECT_TRUE(w().Click("Command16_Click"));

  EXPECT_EQ(PassedOver(), std::vector<std::string>{"Data3 rows of Clientes: 3024"});
  EXPECT_TRUE(IndexesOf(kTarget, "Clientes").empty());
}

TEST_F(IndexCopy, TargetThatCannotBeOpenedEndsTheCopyWithTheFailureRecorded) {
  MakePair(Clientes("[]"), Clientes("[]"));
  ListTables({"Clientes"});
  AddCatalogueRow({"idxCodigo", "Clientes", "codigo", "Falso"});
  w().Text4.SetText("c:\\datos\\falta.mdb");

  EXPECT_TRUE(w().Click("Command16_Click"));

  EXPECT_EQ(PassedOver(), std::vector<std::string>{"OpenDatabase c:\\datos\\falta.mdb: 3024"});
  EXPECT_EQ(w().Bar4.Value(), 0.0f);
}

}  // namespace
}  // namespace actualiz::testing
