// The quick "up to date": never where the exact plan finds something to do.
#include "app/quick_check.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/support/db_builder.h"
#include "tests/support/sample_model.h"
#include "tests/support/window_fixture.h"

namespace actualiz::app {
namespace {

using nlohmann::json;
using testing::TestSite;

constexpr const char* kModel = testing::kSampleModel;

using Edit = std::function<void(json&)>;

json& Table(json& description, int table) { return description["tables"][table]; }

struct Drive {
  const char* name;
  Edit target;  // the target as the model, changed so
  bool up_to_date;
  bool has_target = true;
};

const Drive kDrives[] = {
    {"the model itself", [](json&) {}, true},
    {"an extra field",
     [](json& d) {
       Table(d, 0)["fields"].push_back(json::parse(R"({"name": "Notas", "type": 10})"));
     },
     true},
    {"an extra table",
     [](json& d) {
       d["tables"].push_back(
           json::parse(R"({"name": "Propia", "fields": [{"name": "A", "type": 4}]})"));
     },
     true},
    {"a missing field", [](json& d) { Table(d, 0)["fields"].erase(2); }, false},
    {"a missing table",
     [](json& d) {
       d["tables"].erase(1);
       d["relations"] = json::array();
     },
     false},
    {"a field of another case", [](json& d) { Table(d, 0)["fields"][2]["name"] = "email"; }, false},
    {"an index differing in uniqueness",
     [](json& d) { Table(d, 0)["indexes"][1]["unique"] = false; }, false},
    {"an index over another field",
     [](json& d) { Table(d, 0)["indexes"][1]["fields"] = json::parse(R"(["Email"])"); }, false},
    {"an extra index",
     [](json& d) {
       Table(d, 0)["indexes"].push_back(
           json::parse(R"({"name": "idxEmail", "fields": ["Email"]})"));
     },
     false},
    {"a relation differing in attributes", [](json& d) { d["relations"][0]["attributes"] = 2; },
     false},
    {"a missing relation", [](json& d) { d["relations"] = json::array(); }, false},
    {"a query differing in text",
     [](json& d) { d["queries"][0]["sql"] = "SELECT Id FROM Clientes"; }, false},
    {"an extra query",
     [](json& d) {
       d["queries"].push_back(json::parse(R"({"name": "qOtra", "sql": "SELECT * FROM Pedidos"})"));
     },
     false},
    {"a model with no target", [](json&) {}, false, false},
};

TEST(QuickCheck, SaysUpToDateOnlyWhereTheExactPlanHasNothingToDo) {
  for (const Drive& drive : kDrives) {
    SCOPED_TRACE(drive.name);
    TestSite site;
    site.Database("c:\\prog\\modelos\\clientes.mdb", kModel);
    json target = json::parse(kModel);
    drive.target(target);
    if (drive.has_target) site.Database("c:\\datos\\clientes.mdb", target.dump());

    const std::optional<Plan> quick = QuickPlan(site.MakeEnvironment(), "c:\\datos");
    const Plan exact = MakePlan(site.MakeEnvironment(), "c:\\datos");
    EXPECT_EQ(exact.NothingToDo(), drive.up_to_date) << FormatPlan(exact);
    EXPECT_EQ(quick.has_value(), drive.up_to_date);
    if (quick) {
      EXPECT_EQ(FormatPlan(*quick), FormatPlan(exact));
    }
  }
}

TEST(QuickCheck, MissingCatalogueLeavesItToTheExactPlan) {
  TestSite site(TestSite::Options{.catalogues = false});
  site.Database("c:\\prog\\modelos\\clientes.mdb", kModel);
  site.Database("c:\\datos\\clientes.mdb", kModel);
  EXPECT_FALSE(QuickPlan(site.MakeEnvironment(), "c:\\datos").has_value());
}

}  // namespace
}  // namespace actualiz::app
