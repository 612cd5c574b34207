// The index chain as a whole: started from each of its buttons, and run by
// the batch over several database pairs.
#include <gtest/gtest.h>

#include "tests/indexes/index_test_support.h"

namespace actualiz::testing {
namespace {

using IndexChain = IndexChainTest;

std::string Clientes(const std::string& indexes) {
  return R"({"tables": [{"name": "Clientes",
    "fields": [{"name": "codigo", "type": 4}, {"name": "nombre", "type": 10, "size": 50},
               {"name": "zona", "type": 10, "size": 20}],
    "indexes": )" +
         indexes + "}]}";
}

const std::string kOldIndex = R"([{"name": "idxViejo", "fields": ["nombre"]}])";
const std::string kModelIndex = R"([{"name": "idxZona", "fields": ["zona"], "unique": true}])";
const IndexShape kOld{"idxViejo", {"nombre"}, false, false};
const IndexShape kNew{"idxZona", {"zona"}, true, false};

TEST_F(IndexChain, TargetListingReplacesTheTargetsIndexesWithTheModels) {
  MakePair(Clientes(kModelIndex), Clientes(kOldIndex));

  ASSERT_TRUE(w().Click("Command17_Click"));

  EXPECT_EQ(IndexesOf(kTarget, "Clientes"), std::vector<IndexShape>{kNew});
  EXPECT_EQ(ChangesOf("index dropped"), std::vector<std::string>{"idxViejo on Clientes"});
  EXPECT_EQ(ChangesOf("index created"), std::vector<std::string>{"idxZona on Clientes"});
}

TEST_F(IndexChain, RemovalGoesOnToTheModelCaptureAndTheCopy) {
  MakePair(Clientes(kModelIndex), Clientes(kOldIndex));
  ListTables({"Clientes"});
  AddCatalogueRow({"idxViejo", "Clientes", "nombre", "Falso"});

  ASSERT_TRUE(w().Click("Command18_Click"));

  EXPECT_EQ(IndexesOf(kTarget, "Clientes"), std::vector<IndexShape>{kNew});
}

TEST_F(IndexChain, ModelCaptureGoesOnToTheCopyAndKeepsTheTargetsOtherIndexes) {
  MakePair(Clientes(kModelIndex), Clientes(kOldIndex));

  ASSERT_TRUE(w().Click("Command19_Click"));

  EXPECT_EQ(IndexesOf(kTarget, "Clientes"), (std::vector<IndexShape>{kOld, kNew}));
}

TEST_F(IndexChain, CopyAloneCreatesWhatTheCatalogueHolds) {
  MakePair(Clientes("[]"), Clientes(kOldIndex));
  ListTables({"Clientes"});
  AddCatalogueRow({"idxZona", "Clientes", "zona", "Verdadero"});

  ASSERT_TRUE(w().Click("Command16_Click"));

  EXPECT_EQ(IndexesOf(kTarget, "Clientes"), (std::vector<IndexShape>{kOld, kNew}));
}

// The engine takes "clientes" for the model's "Clientes"; the run log names
// the index on the target's table as the target spells it, dropped and
// created alike, so the report sees one index replaced.
TEST_F(IndexChain, IndexOnATableNamedInOtherCaseIsLoggedUnderTheTargetsSpelling) {
  std::string target = Clientes(R"([{"name": "idxZona", "fields": ["zona"]}])");
  target.replace(target.find("Clientes"), 8, "clientes");
  MakePair(Clientes(kModelIndex), target);

  ASSERT_TRUE(w().Click("Command17_Click"));

  EXPECT_EQ(IndexesOf(kTarget, "clientes"), std::vector<IndexShape>{kNew});
  EXPECT_EQ(ChangesOf("index dropped"), std::vector<std::string>{"idxZona on clientes"});
  EXPECT_EQ(ChangesOf("index created"), std::vector<std::string>{"idxZona on clientes"});
}

// Three pairs, each model with its own indexes and each target with other,
// older ones. After the batch every target carries exactly its model's
// indexes, and nothing of an earlier pair is left in the catalogue.
TEST_F(IndexChain, BatchLeavesEachTargetWithExactlyItsModelsIndexes) {
  const std::vector<std::string> names = {"almacen.mdb", "clientes.mdb", "ventas.mdb"};
  const std::vector<std::string> models = {
      R"({"tables": [{"name": "Articulos", "fields": [{"name": "ref", "type": 10, "size": 20},
                                                      {"name": "familia", "type": 4}],
                      "indexes": [{"name": "idxRef", "fields": ["ref"], "unique": true},
                                  {"name": "idxFamRef", "fields": ["familia", "ref"]}]}]})",
      Clientes(R"([{"name": "idxCodigo", "fields": ["codigo"], "unique": true},
                   {"name": "idxZonaNombre", "fields": ["zona", "nombre"]}])"),
      R"({"tables": [{"name": "Ventas", "fields": [{"name": "num", "type": 4},
                                                   {"name": "fecha", "type": 8}],
                      "indexes": [{"name": "idxFechaNum", "fields": ["fecha", "num"],
                                   "unique": true}]},
                     {"name": "Lineas", "fields": [{"name": "num", "type": 4}],
                      "indexes": [{"name": "idxNum", "fields": ["num"]}]}]})"};
  const std::vector<std::string> targets = {
      R"({"tables": [{"name": "Articulos", "fields": [{"name": "ref", "type": 10, "size": 20},
                                                      {"name": "familia", "type": 4}],
                      "indexes": [{"name": "idxFamilia", "fields": ["familia"]}]}]})",
      Clientes(R"([{"name": "idxNombre", "fields": ["nombre"], "unique": true},
                   {"name": "idxZonaNombre", "fields": ["nombre", "zona"], "unique": true}])"),
      R"({"tables": [{"name": "Ventas", "fields": [{"name": "num", "type": 4},
                                                   {"name": "fecha", "type": 8}],
                      "indexes": [{"name": "idxNum", "fields": ["num"]}]}]})"};
  for (size_t i = 0; i < names.size(); ++i) {
    site_.Database("c:\\prog\\modelos\\" + names[i], models[i]);
    site_.Database("c:\\datos\\" + names[i], targets[i]);
  }
  window_ = site_.MakeWindow();

  ASSERT_TRUE(w().Click("Command13_Click"));

  const std::vector<std::vector<std::string>> tables = {
      {"Articulos"}, {"Clientes"}, {"Ventas", "Lineas"}};
  for (size_t i = 0; i < names.size(); ++i) {
    for (const std::string& table : tables[i]) {
      EXPECT_EQ(IndexesOf("c:\\datos\\" + names[i], table),
                IndexesOf("c:\\prog\\modelos\\" + names[i], table))
          << names[i] << " " << table;
    }
  }
  EXPECT_EQ(CatalogueRows(), (std::vector<CatalogueEntry>{
                                 {"idxFechaNum", "Ventas", "fecha", "Verdadero"},
                                 {"idxFechaNum", "Ventas", "num", "Verdadero"},
                                 {"idxNum", "Lineas", "num", "Falso"},
                             }));
}

}  // namespace
}  // namespace actualiz::testing
