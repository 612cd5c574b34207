// The index capture behind "Lista de Indices Modelo" and "Lista de Indices
// Destino": what it writes into the catalogue and into List10.
#include <gtest/gtest.h>

#include "indexes/index_catalogue.h"
#include "tests/indexes/index_test_support.h"

namespace actualiz::testing {
namespace {

using IndexCapture = IndexChainTest;

constexpr const char* kModelJson = R"({"tables": [
  {"name": "Clientes", "fields": [{"name": "codigo", "type": 4},
                                  {"name": "nombre", "type": 10, "size": 50},
                                  {"name": "zona", "type": 10, "size": 20}],
   "indexes": [{"name": "idxZonaNombre", "fields": ["zona", "nombre"], "unique": true},
               {"name": "idxCodigo", "fields": ["codigo"]}]},
  {"name": "Sinindices", "fields": [{"name": "a", "type": 4}]},
  {"name": "Zonas", "fields": [{"name": "zona", "type": 10, "size": 20}],
   "indexes": [{"name": "idxZona", "fields": ["zona"], "unique": true}]}]})";

const std::vector<CatalogueEntry> kModelRows = {
    {"idxZonaNombre", "Clientes", "zona", "Verdadero"},
    {"idxZonaNombre", "Clientes", "nombre", "Verdadero"},
    {"idxCodigo", "Clientes", "codigo", "Falso"},
    {"idxZona", "Zonas", "zona", "Verdadero"},
};

TEST_F(IndexCapture, WritesOneRowPerIndexFieldInFieldOrder) {
  MakePair(kModelJson, kModelJson);

  ASSERT_TRUE(w().Click("Command19_Click"));

  EXPECT_EQ(CatalogueRows(), kModelRows);
  EXPECT_EQ(w().List10.Items(), (std::vector<std::string>{"Clientes", "Sinindices", "Zonas"}));
  EXPECT_EQ(w().List10.ListIndex(), 2);
}

TEST_F(IndexCapture, EmptiesTheWholeCatalogueWhateverTheViewWasNarrowedTo) {
  MakePair(kModelJson, kModelJson);
  AddCatalogueRow({"idxViejo", "Proveedores", "cif", "Falso"});
  AddCatalogueRow({"idxZona", "Zonas", "zona", "Verdadero"});
  indexes::PointView(w().Data3, indexes::RowsOfTable("Zonas"));

  ASSERT_TRUE(w().Click("Command19_Click"));
  EXPECT_EQ(CatalogueRows(), kModelRows);

  // The copy left the view on the last table; a second press still
  // replaces the whole catalogue instead of adding to it.
  EXPECT_EQ(w().Data3.RecordSource(), indexes::RowsOfTable("Zonas"));
  ASSERT_TRUE(w().Click("Command19_Click"));
  EXPECT_EQ(CatalogueRows(), kModelRows);
}

TEST_F(IndexCapture, TargetListingAlsoEmptiesTheWholeCatalogue) {
  MakePair(R"({"tables": [{"name": "Zonas", "fields": [{"name": "zona", "type": 10}]}]})",
           kModelJson);
  AddCatalogueRow({"idxViejo", "Proveedores", "cif", "Falso"});
  indexes::PointView(w().Data3, indexes::RowsOfTable("Clientes"));

  ASSERT_TRUE(w().Click("Command17_Click"));

  // The model has no index, so all that could remain are stale rows.
  EXPECT_TRUE(CatalogueRows().empty());
}

TEST_F(IndexCapture, RowWrittenWhileTheViewIsNarrowedIsStored) {
  MakePair(kModelJson, kModelJson);
  indexes::PointView(w().Data3, indexes::RowsOfTable("Clientes"));

  AddCatalogueRow({"idxCif", "Proveedores", "cif", "Falso"});

  EXPECT_EQ(CatalogueRows(),
            (std::vector<CatalogueEntry>{{"idxCif", "Proveedores", "cif", "Falso"}}));
}

TEST_F(IndexCapture, EngineTablesAreNeitherListedNorCaptured) {
  MakePair(R"({"tables": [{"name": "msysNotas", "fields": [{"name": "n", "type": 4}],
                           "indexes": [{"name": "idxN", "fields": ["n"]}]}]})",
           "{}");

  ASSERT_TRUE(w().Click("Command19_Click"));

  // Only a table named with "MSys" in exactly that case is the engine's own.
  EXPECT_EQ(w().List10.Items(), std::vector<std::string>{"msysNotas"});
  EXPECT_EQ(CatalogueRows(), (std::vector<CatalogueEntry>{{"idxN", "msysNotas", "n", "Falso"}}));
}

TEST_F(IndexCapture, DatabaseThatCannotBeOpenedEndsTheChainAtTheCapture) {
  MakePair(kModelJson, kModelJson);
  ListTables({"Anterior"});

  // The model capture opens before it clears List10 and keeps the old list...
  w().Text3.SetText("c:\\prog\\modelos\\falta.mdb");
  EXPECT_FALSE(w().Click("Command19_Click"));
  EXPECT_EQ(w().List10.Items(), std::vector<std::string>{"Anterior"});

  // ...the target listing clears it first, so nothing of another database
  // is left for a removal to act on.
  w().Text4.SetText("c:\\datos\\falta.mdb");
  EXPECT_FALSE(w().Click("Command17_Click"));
  EXPECT_TRUE(w().List10.Items().empty());
  EXPECT_TRUE(ChangesOf("index dropped").empty());
}

}  // namespace
}  // namespace actualiz::testing
