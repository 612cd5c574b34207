// A real Access file as a customer database: the batch creates its missing
// tables and fields in place; the changes the engine cannot make to it are
// each refused by name, with the advice to convert it. Skipped without the
// samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "app/batch_report.h"
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

// A site whose customer tienda.mdb is a copy of an Access sample, and whose
// model adds a table and a field (made in place, checked) and a relation
// and an index (refused).
struct AccessSite {
  testing::TestSite site;
  std::string customer = site.Host("c:\\datos\\tienda.mdb");
  nlohmann::json model;

  explicit AccessSite(const fs::path& sample) {
    fs::copy_file(sample, customer);
    fs::permissions(customer, fs::perms::owner_read | fs::perms::owner_write);
    model = testing::DescribeFile(customer);
    for (nlohmann::json& table : model["tables"]) {
      if (table["name"] == "Table1") {
        table["fields"].push_back({{"name", "Cantidad"}, {"type", 4}, {"size", 4}});
        table["indexes"].push_back({{"name", "PorCantidad"},
                                    {"unique", false},
                                    {"primary", false},
                                    {"fields", {"Cantidad"}}});
      }
    }
    model["tables"].push_back({{"name", "Extra"},
                               {"fields",
                                {{{"name", "Id"}, {"type", 4}, {"size", 4}},
                                 {{"name", "Nombre"}, {"type", 10}, {"size", 50}},
                                 {{"name", "Alta"}, {"type", 8}, {"size", 8}}}},
                               {"indexes", nlohmann::json::array()}});
    model["relations"].push_back({{"name", "Table1Table2"},
                                  {"table", "Table1"},
                                  {"foreignTable", "Table2"},
                                  {"attributes", 2},
                                  {"fields", {{{"name", "A"}, {"foreignName", "column1"}}}}});
    site.Database("c:\\prog\\modelos\\tienda.mdb", model.dump());
  }
};

fs::path Sample() { return fs::path(testing::JetSamplesDir()) / "testV2003.mdb"; }

TEST(AccessCustomerBatch, MissingTablesAndFieldsAreMadeInPlaceAndRefusedChangesNamed) {
  const fs::path sample = Sample();
  if (!fs::exists(sample) || !testing::MdbToolsInstalled()) GTEST_SKIP() << "no samples/mdbtools";
  AccessSite access(sample);
  testing::TestSite& site = access.site;
  const std::string& customer = access.customer;
  const nlohmann::json& model = access.model;

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

// The pair's changes could not be put in place (the file is open in
// Access): none of them is reported as made, the file is as it was, and the
// failure says what to do without the advice for read-only files.
TEST(AccessCustomerBatch, APairWhoseChangesCouldNotBePutInPlaceReportsNoneAsMade) {
  const fs::path sample = Sample();
  if (!fs::exists(sample) || !testing::MdbToolsInstalled()) GTEST_SKIP() << "no samples/mdbtools";
  AccessSite access(sample);
  std::ofstream(fs::path(access.customer).replace_extension(".ldb")) << "";
  auto window = access.site.MakeWindow();
  window->Log().Clear();
  window->Command13_Click();

  const app::BatchReport report = app::BuildBatchReport(*window, window->Log());
  ASSERT_EQ(report.databases.size(), 1u);
  EXPECT_TRUE(report.databases[0].changes.empty());
  EXPECT_EQ(report.databases[0].state, "failed");
  const std::string last = app::OperatorLine(report.databases[0].failures.back());
  EXPECT_NE(last.find("it is open in Access (its lock file tienda.ldb"), std::string::npos) << last;
  EXPECT_EQ(last.find("make it writable"), std::string::npos) << last;
  EXPECT_TRUE(testing::ReadFile(access.customer) == testing::ReadFile(sample));
}

}  // namespace
}  // namespace actualiz
