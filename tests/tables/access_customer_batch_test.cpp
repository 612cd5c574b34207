// A real Access file as a customer database: the changes the engine cannot
// make to it are each refused by name, with the advice to convert it, and
// the file is left byte for byte as it was. Skipped without the samples.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/operator_advice.h"
#include "tests/support/db_builder.h"
#include "tests/support/jet_copy.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_fixture.h"

namespace actualiz {
namespace {

namespace fs = std::filesystem;

TEST(AccessCustomerBatch, ARefusedChangeIsNamedOnceWithTheAdviceToConvert) {
  const fs::path sample = fs::path(testing::JetSamplesDir()) / "testV2003.mdb";
  if (!fs::exists(sample)) GTEST_SKIP() << "no Access samples";
  testing::TestSite site;
  const std::string customer = site.Host("c:\\datos\\tienda.mdb");
  fs::copy_file(sample, customer);
  fs::permissions(customer, fs::perms::owner_read | fs::perms::owner_write);
  // The model is the customer's own structure plus one relation.
  nlohmann::json model = testing::DescribeFile(customer);
  model["relations"].push_back({{"name", "Table1Table2"},
                                {"table", "Table1"},
                                {"foreignTable", "Table2"},
                                {"attributes", 2},
                                {"fields", {{{"name", "A"}, {"foreignName", "column1"}}}}});
  site.Database("c:\\prog\\modelos\\tienda.mdb", model.dump());
  const std::string before = testing::ReadFile(customer);

  auto window = site.MakeWindow();
  window->Log().Clear();
  window->Command13_Click();

  ASSERT_FALSE(window->Log().Failures().empty());
  bool named = false;
  for (const app::Failure& failure : window->Log().Failures()) {
    const std::string line = app::OperatorLine(failure);
    named = named || line.find(
                         "changing relations of an Access file is not supported yet; "
                         "convert it with `import`.") != std::string::npos;
    EXPECT_EQ(line.find("make it writable"), std::string::npos) << line;
  }
  EXPECT_TRUE(named);
  EXPECT_TRUE(testing::ReadFile(customer) == before) << "the Access file changed";
}

}  // namespace
}  // namespace actualiz
