// The index removal: which of the target's indexes go, and how it carries
// the chain on past an index it cannot delete.
#include <gtest/gtest.h>

#include "tests/indexes/index_test_support.h"

namespace actualiz::testing {
namespace {

using IndexRemoval = IndexChainTest;

constexpr const char* kTargetJson = R"({"tables": [
  {"name": "Clientes", "fields": [{"name": "codigo", "type": 4},
                                  {"name": "nombre", "type": 10, "size": 50},
                                  {"name": "zona", "type": 10, "size": 20}],
   "indexes": [{"name": "idxZonaNombre", "fields": ["zona", "nombre"]},
               {"name": "idxCodigo", "fields": ["codigo"], "unique": true}]}]})";

constexpr const char* kModelWithoutIndexes = R"({"tables": [
  {"name": "Clientes", "fields": [{"name": "codigo", "type": 4},
                                  {"name": "nombre", "type": 10, "size": 50},
                                  {"name": "zona", "type": 10, "size": 20}]}]})";

constexpr const char* kModelWithZona = R"({"tables": [
  {"name": "Clientes", "fields": [{"name": "codigo", "type": 4},
                                  {"name": "nombre", "type": 10, "size": 50},
                                  {"name": "zona", "type": 10, "size": 20}],
   "indexes": [{"name": "idxZona", "fields": ["zona"]}]}]})";

TEST_F(IndexRemoval, MultiFieldIndexIsDroppedOnceWithoutAFailure) {
  MakePair(kModelWithoutIndexes, kTargetJson);

  ASSERT_TRUE(w().Click("Command17_Click"));

  EXPECT_TRUE(IndexesOf(kTarget, "Clientes").empty());
  EXPECT_EQ(ChangesOf("index dropped"),
            (std::vector<std::string>{"idxZonaNombre on Clientes", "idxCodigo on Clientes"}));
  EXPECT_TRUE(PassedOver().empty());
}

TEST_F(IndexRemoval, IndexThatCannotBeDeletedIsRecordedAndTheChainGoesOn) {
  MakePair(kModelWithZona, kTargetJson);
  ListTables({"Fantasma", "Clientes"});
  AddCatalogueRow({"idxFantasma", "Fantasma", "x", "Falso"});
  AddCatalogueRow({"idxYaBorrado", "Clientes", "zona", "Falso"});
  AddCatalogueRow({"idxYaBorrado", "Clientes", "nombre", "Falso"});
  AddCatalogueRow({"idxCodigo", "Clientes", "codigo", "Verdadero"});

  ASSERT_TRUE(w().Click("Command18_Click"));

  // One record per index that really failed, none for its second row.
  EXPECT_EQ(PassedOver(),
            (std::vector<std::string>{"TableDefs(Fantasma): 3265",
                                      "Indexes.Delete idxYaBorrado on Clientes: 3265"}));
  EXPECT_EQ(ChangesOf("index dropped"), std::vector<std::string>{"idxCodigo on Clientes"});
  // The model capture and the copy still ran.
  EXPECT_EQ(IndexesOf(kTarget, "Clientes"),
            (std::vector<IndexShape>{{"idxZonaNombre", {"zona", "nombre"}, false, false},
                                     {"idxZona", {"zona"}, false, false}}));
}

TEST_F(IndexRemoval, UnreadableCatalogueEndsTheRemovalBeforeAnyDeletion) {
  MakePair(kModelWithZona, kTargetJson);
  ListTables({"Clientes"});
  w().Data3.SetDatabaseName("C:\\Zarade\\ninguno.mdb");

  EXPECT_FALSE(w().Click("Command18_Click"));

  ASSERT_EQ(w().Log().Failures().size(), 1u);
  EXPECT_EQ(w().Log().Failures()[0].number, 3024);
  EXPECT_EQ(IndexesOf(kTarget, "Clientes").size(), 2u);
  EXPECT_EQ(w().List10.Items(), std::vector<std::string>{"Clientes"});
}

}  // namespace
}  // namespace actualiz::testing
