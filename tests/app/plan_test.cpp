// The plan: the batch over a scratch copy, compared with the real batch.
#include "app/plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "tests/support/db_builder.h"
#include "tests/support/sample_model.h"
#include "tests/support/window_fixture.h"

namespace actualiz::app {
namespace {

namespace fs = std::filesystem;
using testing::TestSite;

constexpr const char* kModel = testing::kSampleModel;

// The same database without Email, Pedidos, the relation, and with
// idxNombre not unique.
constexpr const char* kTarget = R"({"tables": [
  {"name": "Clientes", "fields": [{"name": "Id", "type": 4}, {"name": "Nombre", "type": 10}],
   "indexes": [{"name": "PrimaryKey", "fields": ["Id"], "primary": true, "unique": true},
               {"name": "idxNombre", "fields": ["Nombre"], "unique": false}],
   "rows": [{"Id": 1, "Nombre": "Ana"}]}],
 "queries": [{"name": "qTodos", "sql": "SELECT * FROM Clientes"}]})";

// Every file under a directory and its content.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) files[entry.path().string()] = testing::ReadFile(entry.path());
  }
  return files;
}

using Entry = std::tuple<std::string, std::string, std::string, std::string>;

std::vector<Entry> Entries(const BatchReport& report) {
  std::vector<Entry> out;
  for (const DatabaseReport& database : report.databases) {
    for (const Change& change : database.changes) {
      out.emplace_back(change.database, change.handler, KindText(change.kind), change.ObjectText());
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

class Planning : public ::testing::Test {
 protected:
  Planning() {
    site.Database("c:\\prog\\modelos\\clientes.mdb", kModel);
    site.Database("c:\\datos\\clientes.mdb", kTarget);
    site.Database("c:\\prog\\modelos\\nueva.mdb", R"({"tables": [{"name": "T",
        "fields": [{"name": "A", "type": 4}]}]})");
  }

  BatchReport RunBatch() {
    auto window = site.MakeWindow();
    const size_t changes = window->Log().Changes().size();
    const size_t failures = window->Log().Failures().size();
    window->Click("Command13_Click");
    return BuildBatchReport(*window, EntriesSince(window->Log(), failures, changes));
  }

  TestSite site;
};

TEST_F(Planning, PlanChangesNoFileAndIsWhatTheBatchThenDoes) {
  const auto before = Snapshot(site.dir().path());
  const Plan plan = MakePlan(site.MakeEnvironment(), "c:\\datos");
  EXPECT_EQ(Snapshot(site.dir().path()), before);
  EXPECT_FALSE(plan.Failed()) << FormatPlan(plan);
  EXPECT_FALSE(plan.NothingToDo());
  ASSERT_EQ(plan.report.databases.size(), 2u);
  EXPECT_EQ(plan.report.databases[0].state, "updated");
  EXPECT_EQ(plan.report.databases[1].state, "copied");
  EXPECT_EQ(plan.report.databases[1].path, "c:\\datos\\nueva.mdb");  // the real path, not scratch

  const std::string text = FormatPlan(plan);
  EXPECT_NE(text.find("tables to create: Pedidos"), std::string::npos) << text;
  EXPECT_NE(text.find("fields to add: Clientes.Email"), std::string::npos) << text;
  const size_t replaced = text.find("indexes to replace: ");
  ASSERT_NE(replaced, std::string::npos) << text;
  EXPECT_NE(
      text.substr(replaced, text.find('\n', replaced) - replaced).find("idxNombre on Clientes"),
      std::string::npos)
      << text;
  EXPECT_NE(text.find("relations to create: relClientePedidos"), std::string::npos) << text;
  EXPECT_EQ(text.find("qTodos"), std::string::npos) << "an unchanged query is no change\n" << text;

  // The batch reports exactly the planned changes: both leave out the
  // objects dropped and created again unchanged and those kept in place.
  const BatchReport batch = RunBatch();
  EXPECT_EQ(Entries(batch), Entries(plan.report));
  ASSERT_EQ(batch.databases.size(), plan.report.databases.size());
  for (size_t i = 0; i < batch.databases.size(); ++i) {
    EXPECT_EQ(batch.databases[i].state, plan.report.databases[i].state) << i;
    EXPECT_EQ(batch.databases[i].recreated_unchanged, plan.report.databases[i].recreated_unchanged);
    EXPECT_EQ(batch.databases[i].kept.size(), plan.report.databases[i].kept.size());
  }

  // After the batch there is nothing left to do.
  const Plan again = MakePlan(site.MakeEnvironment(), "c:\\datos");
  EXPECT_TRUE(again.NothingToDo()) << FormatPlan(again);
  EXPECT_GT(again.kept, 0) << "the relations and queries stay in place";
}

TEST_F(Planning, HostDataDirectoryIsReadAsItsDrivesWindowsPath) {
  const Plan plan = MakePlan(site.MakeEnvironment(), site.Host("c:\\datos"));
  EXPECT_EQ(plan.report.data_directory, "c:\\datos");
  ASSERT_FALSE(plan.report.databases.empty());
  for (const Change& change : plan.report.databases[0].changes) {
    EXPECT_EQ(change.database, "c:\\datos\\clientes.mdb");
  }
}

TEST_F(Planning, DataDirectoryTheWindowCannotTakeFailsWithoutATrace) {
  testing::TempDir outside;  // under no drive
  for (const std::string& data : {std::string("c:\\no hay"), outside.path().string()}) {
    try {
      MakePlan(site.MakeEnvironment(), data);
      ADD_FAILURE() << data << " was planned";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), err::kPathNotFound) << data;
    }
  }
  EXPECT_FALSE(fs::exists(site.Host("c:\\no hay")));
}

}  // namespace
}  // namespace actualiz::app
