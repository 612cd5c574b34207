// Names that need quoting everywhere (apostrophes, brackets, spaces,
// semicolons, quotes, letters outside ASCII, Jet's longest of 64 characters)
// carried by the batch from a model into a customer database, and a stored
// query whose statement the engine rejects.
#include <filesystem>
#include <string>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include "tests/support/db_builder.h"
#include "tests/support/demo_site.h"

namespace actualiz::testing {
namespace {

namespace fs = std::filesystem;

const std::string kLongest(64, 'n');

nlohmann::json HostileModel() {
  using nlohmann::json;
  const json fields = json::array({{{"name", "Id"}, {"type", 4}, {"required", true}},
                                   {{"name", "O'Brien"}, {"type", 10}, {"size", 50}},
                                   {{"name", "[corchete]"}, {"type", 10}, {"size", 20}},
                                   {{"name", "con espacio; y \"comillas\""}, {"type", 12}},
                                   {{"name", "Añadido ñandú"}, {"type", 4}},
                                   {{"name", kLongest}, {"type", 8}}});
  return {{"tables",
           {{{"name", "Tabla 'uno'; drop"},
             {"fields", fields},
             {"indexes",
              {{{"name", "Índice [O'Brien]"}, {"fields", {"O'Brien", "Añadido ñandú"}}},
               {{"name", kLongest}, {"fields", {"Id"}}, {"unique", true}, {"primary", true}}}}},
            {{"name", "Hija \"dos\""}, {"fields", {{{"name", "Padre'"}, {"type", 4}}}}}}},
          {"relations",
           {{{"name", "Relación 'a' ; [b]"},
             {"table", "Tabla 'uno'; drop"},
             {"foreignTable", "Hija \"dos\""},
             {"attributes", 0},
             {"fields", {{{"name", "Id"}, {"foreignName", "Padre'"}}}}}}},
          {"queries",
           {{{"name", "Consulta 'x' [y]; z"},
             {"sql", "SELECT * FROM [Tabla 'uno'; drop] WHERE [O'Brien] = 'it''s'"}}}}};
}

// Names, types and keys only: the table walk adds fields with the engine's
// default properties.
nlohmann::json Shape(nlohmann::json description) {
  for (auto& table : description["tables"]) {
    table.erase("rows");
    for (auto& field : table["fields"]) field.erase("required"), field.erase("allowZeroLength");
  }
  return description;
}

TEST(HostileNames, TheBatchCarriesEveryNameIntoTheCustomerDatabase) {
  DemoSite site;
  const fs::path model = site.Models() / "raros.mdb";
  const fs::path target = site.Data() / "raros.mdb";
  BuildDatabase(model.string(), HostileModel().dump());
  // The customer database has the first table with only two of its fields,
  // and a row that must survive.
  BuildDatabase(target.string(), R"({"tables": [{"name": "Tabla 'uno'; drop",
      "fields": [{"name": "Id", "type": 4}, {"name": "O'Brien", "type": 10, "size": 50}],
      "rows": [{"Id": 7, "O'Brien": "it's"}]}]})");

  const ProgramRun run = site.Batch();
  EXPECT_EQ(site.Entry("raros.mdb").value("state", ""), "updated") << run.out;
  auto updated = DescribeFile(target.string(), true);
  const auto rows = updated["tables"][0]["rows"];
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["O'Brien"], "it's");
  EXPECT_EQ(rows[0]["Id"], 7);
  EXPECT_EQ(Shape(updated), Shape(DescribeFile(model.string())));
}

TEST(HostileNames, AStoredQueryTheEngineRejectsIsNamedAndTheRestIsCopied) {
  DemoSite site;
  const fs::path model = site.Models() / "agenda.mdb";
  fs::remove(model);
  auto description = DescribeFile((site.Data() / "agenda.mdb").string(), true);
  // Stored by the model, but not a statement the engine can store again.
  description["queries"] = {{{"name", "Buena"}, {"sql", "SELECT * FROM Contactos"}}};
  BuildDatabase(model.string(), description.dump());
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(model.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "UPDATE MSysQueries SET sql = 'SELEC broken FROM'", nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  const ProgramRun run = site.Batch();
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_EQ(site.Entry("agenda.mdb").value("state", ""), "failed");
  EXPECT_NE(site.Entry("agenda.mdb").dump().find("Buena"), std::string::npos);
  EXPECT_EQ(site.Entry("clientes.mdb").value("state", ""), "updated");
}

}  // namespace
}  // namespace actualiz::testing
