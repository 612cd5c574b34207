// `actualiz-cli migrate` run as a user runs it: the real binary on real files.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/db_builder.h"
#include "tests/support/demo_site.h"

namespace actualiz::testing {
namespace {

class MigrateCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(temp.path() / "c" / "datos");
    BuildDatabase(Clientes(), R"({"tables": [{"name": "Clientes",
                                   "fields": [{"name": "codigo", "type": 4}]}]})");
  }

  std::string Clientes() const { return (temp.path() / "c" / "datos" / "clientes.mdb").string(); }

  // Runs the command line with drive c mapped into the temporary directory.
  ProgramRun Run(const Words& arguments) {
    return RunCli(Joined({"--drive", "c=" + temp.File("c")}, arguments));
  }

  bool HasTable(const std::string& name) {
    const nlohmann::json described = DescribeFile(Clientes());
    for (const auto& table : described["tables"]) {
      if (table["name"] == name) return true;
    }
    return false;
  }

  TempDir temp;
};

TEST_F(MigrateCommand, PomerdIsAddedAndReportedDoneThenRefusedTheSecondTime) {
  const ProgramRun first = Run({"migrate", "pomerd", "--data", "c:\\datos"});
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_NE(first.out.find("Terminado"), std::string::npos) << first.out;
  EXPECT_TRUE(HasTable("pomerd"));

  const ProgramRun second = Run({"migrate", "pomerd", "--data", "c:\\datos"});
  EXPECT_EQ(second.status, 3);
  EXPECT_NE(second.err.find("La tabla pomerd ya existe"), std::string::npos) << second.err;
}

TEST_F(MigrateCommand, HistoprodRunsTheSameWayOnAHostPath) {
  const ProgramRun outcome =
      Run({"migrate", "histoprod", "--data", (temp.path() / "c" / "datos").string()});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_TRUE(HasTable("histoprod"));
  EXPECT_FALSE(HasTable("pomerd"));
}

TEST_F(MigrateCommand, AMissingCustomerDatabaseFailsNamingTheFile) {
  std::filesystem::remove(Clientes());
  const ProgramRun outcome = Run({"migrate", "pomerd", "--data", "c:\\datos"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.err.find("clientes.mdb"), std::string::npos) << outcome.err;
  EXPECT_FALSE(std::filesystem::exists(Clientes()));
}

TEST_F(MigrateCommand, AMissingDataDirectoryFails) {
  const ProgramRun outcome = Run({"migrate", "pomerd", "--data", "c:\\no-existe"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_FALSE(outcome.err.empty());
}

// A run killed between the table and its last index leaves the table empty
// with some of its indexes; the next run makes the rest instead of stopping
// at "ya existe". A table with rows is the operator's and is reported as
// existing, as before.
TEST_F(MigrateCommand, ATableAKilledRunLeftShortOfIndexesIsFinished) {
  const std::string pomerd_fields =
      R"("fields": [{"name": "CLICOD", "type": 7}, {"name": "productos", "type": 12},
                     {"name": "tratamientos", "type": 12}])";
  const std::string histoprod_fields = R"("fields": [
      {"name": "codcli", "type": 7}, {"name": "fechaini", "type": 8},
      {"name": "codproducto", "type": 4}, {"name": "tipotra", "type": 4},
      {"name": "nompro", "type": 10, "size": 255}, {"name": "registro", "type": 10, "size": 255},
      {"name": "plazoseg", "type": 10, "size": 50},
      {"name": "dosificacion", "type": 10, "size": 255},
      {"name": "toxicidad", "type": 10, "size": 50}, {"name": "cantidad", "type": 7},
      {"name": "precio", "type": 7}, {"name": "materiaactiva", "type": 10, "size": 50},
      {"name": "tipoaplicacion", "type": 10, "size": 50}, {"name": "zonapli", "type": 12},
      {"name": "zonaafec", "type": 12}])";
  struct Case {
    const char* table;
    std::string left;  // the table as the killed run left it
    int status;
    std::vector<std::string> indexes;  // after the rerun
  };
  const std::vector<Case> cases = {
      {"pomerd", pomerd_fields, 0, {"CLICOD"}},
      {"histoprod",
       histoprod_fields + R"(, "indexes": [{"name": "codcli", "fields": ["codcli"]},
                                           {"name": "fechaini", "fields": ["fechaini"]}])",
       0,
       {"codcli", "codproducto", "fechaini", "nompro"}},
      {"pomerd", pomerd_fields + R"(, "rows": [{"CLICOD": 1}])", 3, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.table) + ": " + c.left);
    std::filesystem::remove(Clientes());
    BuildDatabase(Clientes(),
                  R"({"tables": [{"name": ")" + std::string(c.table) + "\", " + c.left + "}]}");
    const ProgramRun outcome = Run({"migrate", c.table, "--data", "c:\\datos"});
    EXPECT_EQ(outcome.status, c.status) << outcome.out << outcome.err;
    const nlohmann::json described = DescribeFile(Clientes());
    std::vector<std::string> indexes;
    for (const auto& index : described["tables"][0]["indexes"]) {
      indexes.push_back(index["name"]);
    }
    std::sort(indexes.begin(), indexes.end());
    EXPECT_EQ(indexes, c.indexes);
  }
}

TEST(MigrateOnTheDemo, BothMigrationsRunOnceEachAsAUserRunsThem) {
  const DemoSite site;
  auto status = [&](const std::string& migration) {
    return RunCli({"--drive", "c=" + site.Drive().string(), "migrate", migration, "--data",
                   "c:\\datos"})
        .status;
  };

  EXPECT_EQ(status("pomerd"), 0);
  EXPECT_EQ(status("histoprod"), 0);
  EXPECT_EQ(status("pomerd"), 3);
  EXPECT_EQ(status("histoprod"), 3);

  const nlohmann::json described = DescribeFile((site.Data() / "clientes.mdb").string());
  std::vector<std::string> tables;
  for (const auto& table : described["tables"]) tables.push_back(table["name"]);
  EXPECT_NE(std::find(tables.begin(), tables.end(), "pomerd"), tables.end());
  EXPECT_NE(std::find(tables.begin(), tables.end(), "histoprod"), tables.end());
}

}  // namespace
}  // namespace actualiz::testing
