// A real Access file as the model: the batch brings a customer database in
// our own format up to it (tables, fields, indexes, relations), reading the
// model through the same engine objects. Skipped without the Access samples.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/db_builder.h"
#include "tests/support/window_fixture.h"

namespace actualiz {
namespace {

namespace fs = std::filesystem;
using testing::DescribeFile;
using testing::TestSite;

const fs::path kSamples = fs::path(ACTUALIZ_SOURCE_DIR) / ".." / "shared" / "jet-samples";

nlohmann::json TableNamed(const nlohmann::json& description, const std::string& name) {
  for (const auto& table : description["tables"]) {
    if (table["name"] == name) return table;
  }
  return nullptr;
}

class AccessModelBatch : public ::testing::TestWithParam<const char*> {};

TEST_P(AccessModelBatch, BringsACustomerDatabaseInOurFormatUpToTheModel) {
  const fs::path sample = kSamples / GetParam();
  if (!fs::exists(sample)) GTEST_SKIP() << "no Access samples";
  TestSite site;
  const std::string model = site.Host("c:\\prog\\modelos\\tienda.mdb");
  fs::copy_file(sample, model);
  fs::permissions(model, fs::perms::owner_read | fs::perms::owner_write);
  site.Database("c:\\datos\\tienda.mdb", R"({"tables": [{"name": "Otra",
      "fields": [{"name": "id", "type": 4}]}]})");

  auto window = site.MakeWindow();
  window->Log().Clear();
  window->Command13_Click();

  EXPECT_EQ(window->Label4.Caption(), "Proceso Terminado");
  for (const app::Failure& failure : window->Log().Failures()) {
    ADD_FAILURE() << app::FormatFailure(failure);
  }
  const nlohmann::json expected = DescribeFile(model);
  const nlohmann::json actual = DescribeFile(site.Host("c:\\datos\\tienda.mdb"));
  for (const auto& table : expected["tables"]) {
    const nlohmann::json target = TableNamed(actual, table["name"]);
    ASSERT_FALSE(target.is_null()) << table["name"];
    EXPECT_EQ(target["indexes"].size(), table["indexes"].size()) << table["name"];
    for (const auto& field : table["fields"]) {
      bool found = false;
      for (const auto& have : target["fields"]) found = found || have["name"] == field["name"];
      EXPECT_TRUE(found) << table["name"] << "." << field["name"];
    }
  }
  EXPECT_EQ(actual["relations"], expected["relations"]);
  EXPECT_FALSE(TableNamed(actual, "Otra").is_null()) << "the customer's own table stays";
}

INSTANTIATE_TEST_SUITE_P(Samples, AccessModelBatch,
                         ::testing::Values("indexTestV1997.mdb", "indexTestV2003.mdb",
                                           "indexTestV2010.accdb", "testV2003.mdb"));

}  // namespace
}  // namespace actualiz
