// Indexes the target shares with its model: the chain leaves them in place
// and still ends exactly where dropping and building every index would;
// and a model that cannot be read leaves the target's indexes alone.
#include <gtest/gtest.h>

#include "base/names.h"
#include "engine/engine.h"
#include "tests/indexes/index_test_support.h"
#include "tests/support/db_builder.h"
#include "tests/support/own_session.h"
#include "tests/support/temp_dir.h"

namespace actualiz::testing {
namespace {

using SharedIndexes = IndexChainTest;

std::string Database(const std::string& clientes, const std::string& zonas,
                     const std::string& regiones) {
  return R"({"tables": [
    {"name": "Clientes", "fields": [{"name": "codigo", "type": 4},
                                    {"name": "nombre", "type": 10, "size": 50},
                                    {"name": "zona", "type": 10, "size": 20},
                                    {"name": "alta", "type": 8}],
     "indexes": )" +
         clientes + R"(,
     "rows": [{"codigo": 1, "nombre": "Ana", "zona": "N", "alta": "2001-01-01"},
              {"codigo": 2, "nombre": "Luis", "zona": "S", "alta": "2002-02-02"}]},
    {"name": "Zonas", "fields": [{"name": "zona", "type": 10, "size": 20}],
     "indexes": )" +
         zonas + R"(},
    {"name": "Regiones", "fields": [{"name": "region", "type": 4}],
     "indexes": )" +
         regiones + R"(},
    {"name": "Otra", "fields": [{"name": "x", "type": 4}]}]})";
}

// The model's indexes; the target has the first three as they are, then one
// index for each way an index can differ.
const std::string kModelJson = Database(
    R"([{"name": "PrimaryKey", "fields": ["codigo"], "primary": true},
        {"name": "idxZonaNombre", "fields": ["zona", "nombre"]},
        {"name": "idxNombre", "fields": ["nombre"], "unique": true},
        {"name": "idxCampo", "fields": ["alta"]},
        {"name": "idxOrden", "fields": ["nombre", "zona"]},
        {"name": "idxUnico", "fields": ["alta"], "unique": true}])",
    R"([{"name": "PrimaryKey", "fields": ["zona"], "primary": true}])",
    R"([{"name": "Clave", "fields": ["region"], "unique": true}])");
const std::string kTargetJson = Database(
    R"([{"name": "PrimaryKey", "fields": ["codigo"], "primary": true},
        {"name": "idxZonaNombre", "fields": ["zona", "nombre"]},
        {"name": "idxNombre", "fields": ["nombre"], "unique": true},
        {"name": "idxCampo", "fields": ["zona"]},
        {"name": "idxOrden", "fields": ["zona", "nombre"]},
        {"name": "idxUnico", "fields": ["alta"]}])",
    R"([{"name": "PrimaryKey", "fields": ["zona"], "unique": true}])",
    R"([{"name": "Clave", "fields": ["region"], "primary": true}])");

TEST_F(SharedIndexes, IdenticalIndexesStayUntouchedAndDifferingOnesAreReplaced) {
  MakePair(kModelJson, kTargetJson);
  const auto before = StoredIndexes(IndexChainTest::kTarget);

  ASSERT_TRUE(w().Click("Command17_Click"));

  const auto after = StoredIndexes(IndexChainTest::kTarget);
  for (const char* kept :
       {"PrimaryKey on Clientes", "idxZonaNombre on Clientes", "idxNombre on Clientes"}) {
    ASSERT_TRUE(after.contains(kept)) << kept;
    EXPECT_EQ(after.at(kept), before.at(kept)) << kept;
  }
  const std::vector<std::string> replaced = {"idxCampo on Clientes", "idxOrden on Clientes",
                                             "idxUnico on Clientes", "PrimaryKey on Zonas",
                                             "Clave on Regiones"};
  for (const std::string& object : replaced) {
    ASSERT_TRUE(after.contains(object)) << object;
    EXPECT_GT(after.at(object).row, after.at("idxNombre on Clientes").row) << object;
  }
  EXPECT_EQ(ChangesOf("index dropped"), replaced);
  EXPECT_EQ(ChangesOf("index created"), replaced);
  EXPECT_TRUE(PassedOver().empty());

  // A kept primary key stays primary; a replaced one is built primary as the
  // model's is, and an index primary only in the target comes back unique.
  EXPECT_EQ(IndexesOf(IndexChainTest::kTarget, "Clientes"),
            (std::vector<IndexShape>{{"PrimaryKey", {"codigo"}, true, true},
                                     {"idxZonaNombre", {"zona", "nombre"}, false, false},
                                     {"idxNombre", {"nombre"}, true, false},
                                     {"idxCampo", {"alta"}, false, false},
                                     {"idxOrden", {"nombre", "zona"}, false, false},
                                     {"idxUnico", {"alta"}, true, false}}));
  EXPECT_EQ(IndexesOf(IndexChainTest::kTarget, "Zonas"),
            (std::vector<IndexShape>{{"PrimaryKey", {"zona"}, true, true}}));
  EXPECT_EQ(IndexesOf(IndexChainTest::kTarget, "Regiones"),
            (std::vector<IndexShape>{{"Clave", {"region"}, true, false}}));
}

// The reference: the target's indexes all deleted, then the model capture
// and the copy. The chain that keeps shared indexes must leave the same
// description, index order included.
class SameAsRebuilding : public IndexChainTest {
 protected:
  static constexpr const char* kReference = "c:\\datos\\referencia.mdb";

  void ExpectSameAsRebuilding(const std::string& model, const std::string& target,
                              const std::vector<std::string>& dropped) {
    site_.Database(kReference, target);
    MakePair(model, target);
    ASSERT_TRUE(w().Click("Command17_Click"));
    EXPECT_EQ(ChangesOf("index dropped"), dropped);

    engine::DatabasePtr reference = testing::OpenInOwnSession(site_.Host(kReference));
    for (const engine::TableDefPtr& table : reference->TableDefs().Items()) {
      if (IsSystemName(table->Name())) continue;
      for (const engine::IndexPtr& index : table->Indexes().Items()) {
        table->Indexes().Delete(index->Name());
      }
    }
    reference->Close();
    w().Text4.SetText(kReference);
    ASSERT_TRUE(w().Click("Command19_Click"));

    EXPECT_EQ(DescribeFile(site_.Host(kTarget), true).dump(1),
              DescribeFile(site_.Host(kReference), true).dump(1));
  }
};

TEST_F(SameAsRebuilding, SharedIndexesInAnotherOrderKeepOnlyTheModelsLeadingOnes) {
  // idxNombre is identical but follows idxZona in the target: keeping both
  // would list them in the target's order.
  ExpectSameAsRebuilding(Database(R"([{"name": "idxZona", "fields": ["zona"]},
                                      {"name": "idxNombre", "fields": ["nombre"]}])",
                                  "[]", "[]"),
                         Database(R"([{"name": "idxNombre", "fields": ["nombre"]},
                                      {"name": "idxZona", "fields": ["zona"]}])",
                                  "[]", "[]"),
                         {"idxNombre on Clientes"});
}

TEST_F(SameAsRebuilding, AnIdenticalIndexAfterADifferingOneIsRebuilt) {
  ExpectSameAsRebuilding(Database(R"([{"name": "idxZona", "fields": ["zona"]},
                                      {"name": "idxAlta", "fields": ["alta"]},
                                      {"name": "idxNombre", "fields": ["nombre"]}])",
                                  R"([{"name": "idxZ", "fields": ["zona"]}])", "[]"),
                         Database(R"([{"name": "idxZona", "fields": ["zona"]},
                                      {"name": "idxAlta", "fields": ["alta"], "unique": true},
                                      {"name": "idxNombre", "fields": ["nombre"]},
                                      {"name": "idxSobra", "fields": ["codigo"]}])",
                                  R"([{"name": "idxZ", "fields": ["zona"]}])", "[]"),
                         {"idxAlta on Clientes", "idxNombre on Clientes", "idxSobra on Clientes"});
}

TEST_F(SameAsRebuilding, ANameSpelledOtherwiseTakesTheModelsSpelling) {
  ExpectSameAsRebuilding(Database(R"([{"name": "idxZona", "fields": ["zona"]}])", "[]", "[]"),
                         Database(R"([{"name": "IDXZONA", "fields": ["zona"]}])", "[]", "[]"),
                         {"IDXZONA on Clientes"});
}

TEST_F(SameAsRebuilding, ATableTheModelLacksKeepsNothing) {
  ExpectSameAsRebuilding(
      R"({"tables": [{"name": "Clientes", "fields": [{"name": "codigo", "type": 4}]}]})",
      R"({"tables": [{"name": "Clientes", "fields": [{"name": "codigo", "type": 4}]},
                     {"name": "Viejos", "fields": [{"name": "codigo", "type": 4}],
                      "indexes": [{"name": "idx", "fields": ["codigo"]}]}]})",
      {"idx on Viejos"});
}

// Started from its button, the removal deletes only what the catalogue
// names; an index it leaves anyway stays ahead of every index the copy
// builds, so a shared index behind it is rebuilt to keep that order.
TEST_F(SharedIndexes, IndexOutsideTheCatalogueGoesFirstWhenTheRemovalRunsAlone) {
  MakePair(Database(R"([{"name": "idxZona", "fields": ["zona"]}])", "[]", "[]"),
           Database(R"([{"name": "idxZona", "fields": ["zona"]},
                        {"name": "idxPropio", "fields": ["nombre"]}])",
                    "[]", "[]"));
  ListTables({"Clientes"});
  AddCatalogueRow({"idxZona", "Clientes", "zona", "Falso"});

  ASSERT_TRUE(w().Click("Command18_Click"));

  EXPECT_EQ(ChangesOf("index dropped"), std::vector<std::string>{"idxZona on Clientes"});
  EXPECT_EQ(IndexesOf(IndexChainTest::kTarget, "Clientes"),
            (std::vector<IndexShape>{{"idxPropio", {"nombre"}, false, false},
                                     {"idxZona", {"zona"}, false, false}}));
}

TEST_F(SharedIndexes, UnreadableModelLeavesEveryTargetIndexInPlace) {
  MakePair(kModelJson, kTargetJson);
  WriteFile(site_.Host(kModel), "not a database");
  const auto before = StoredIndexes(IndexChainTest::kTarget);

  EXPECT_FALSE(w().Click("Command17_Click"));

  EXPECT_EQ(StoredIndexes(IndexChainTest::kTarget), before);
  EXPECT_TRUE(ChangesOf("index dropped").empty());
  ASSERT_EQ(w().Log().Failures().size(), 1u);
  const app::Failure& failure = w().Log().Failures()[0];
  EXPECT_EQ(failure.handler, "Command18_Click");
  EXPECT_EQ(failure.number, 3343);
  EXPECT_NE(failure.context.find(kModel), std::string::npos) << failure.context;
}

}  // namespace
}  // namespace actualiz::testing
