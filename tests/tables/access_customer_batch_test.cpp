// A real Access file as a customer database: the batch creates its missing
// tables and fields in place; the changes the engine cannot make to it are
// each refused by name, with the advice to convert it. Skipped without the
// samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "app/operator_advice.h"
#include "engine/accessfile/jet_check.h"
#include "tests/support/access_oracle.h"
#include "tests/support/db_builder.h"
#include "tests/support/jet_copy.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_fixture.h"

namespace actualiz {
namespace {

namespace fs = std::filesystem;

// The model adds a table and fields (made in place, checked) and a relation
// and an index (refused, each named once with the advice to convert).
TEST(AccessCustomerBatch, MissingTablesAndFieldsAreMadeInPlaceAndRefusedChangesNamed) {
  const fs::path sample = fs::path(testing::JetSamplesDir()) / "testV2003.mdb";
  if (!fs::exists(sample) || !testing::MdbToolsInstalled()) GTEST_SKIP() << "no samples/mdbtools";
  testing::TestSite site;
  const std::string customer = site.Host("c:\\datos\\tienda.mdb");
  fs::copy_file(sample, customer);
  fs::permissions(customer, fs::perms::owner_read | fs::perms::owner_write);
  nlohmann::json model = testing::DescribeFile(customer);
  for (nlohmann::json& table : model["tables"]) {
    if (table["name"] == "Table1") {
      table["fields"].push_back({{"name", "Cantidad"}, {"type", 4}, {"size", 4}});
      table["indexes"].push_back({{"name", "PorCantidad"},
                                  {"unique", false},
                                  {"primary", false},
                                  {"fields", {"Cantidad"}}});
    }
  }
  model["tables"].push_back(
      {{"name", "Extra"},
       {"fields",
        {{{"name", "Id"}, {"type", 4}, {"size", 4}}, {{"name", "Alta"}, {"type", 8}, {"size", 8}}}},
       {"indexes", nlohmann::json::array()}});
  model["relations"].push_back({{"name", "Table1Table2"},
                                {"table", "Table1"},
                                {"foreignTable", "Table2"},
                                {"attributes", 2},
                                {"fields", {{{"name", "A"}, {"foreignName", "column1"}}}}});
  site.Database("c:\\prog\\modelos\\tienda.mdb", model.dump());

  auto window = site.MakeWindow();
  window->Log().Clear();
  window->Command13_Click();

  std::set<std::string> refused;
  for (const app::Failure& failure : window->Log().Failures()) {
    const std::string line = app::OperatorLine(failure);
    for (const char* kind : {"indexes", "relations"}) {
      if (line.find(std::string("changing ") + kind +
                    " of an Access file is not supported yet; convert it with `import`.") !=
          std::string::npos) {
        refused.insert(kind);
      }
    }
    EXPECT_EQ(line.find("make it writable"), std::string::npos) << line;
  }
  EXPECT_EQ(refused, (std::set<std::string>{"indexes", "relations"}));
  // Every model table and field is in the file, by name, type and size.
  const auto fields = [](const nlohmann::json& description) {
    std::set<std::string> out;
    for (const nlohmann::json& table : description["tables"]) {
      for (const nlohmann::json& field : table["fields"]) {
        out.insert(table["name"].get<std::string>() + "." + field["name"].get<std::string>() + " " +
                   field["type"].dump() + " " + field["size"].dump());
      }
    }
    return out;
  };
  EXPECT_EQ(fields(testing::DescribeFile(customer)), fields(model));
  EXPECT_TRUE(engine::jet::CheckJetPages(customer).empty());
  const std::vector<std::string> listed = testing::MdbTables(customer);
  EXPECT_NE(std::find(listed.begin(), listed.end(), "Extra"), listed.end());
}

}  // namespace
}  // namespace actualiz
