// `actualiz-cli migrate` run as a user runs it: the real binary on real files.
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/db_builder.h"
#include "tests/support/temp_dir.h"

namespace actualiz::testing {
namespace {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

class MigrateCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(temp.path() / "c" / "datos");
    BuildDatabase(Clientes(), R"({"tables": [{"name": "Clientes",
                                   "fields": [{"name": "codigo", "type": 4}]}]})");
  }

  std::string Clientes() const { return (temp.path() / "c" / "datos" / "clientes.mdb").string(); }

  // Runs the command line with drive c mapped into the temporary directory.
  Outcome Run(const std::string& arguments) {
    const std::string out = temp.File("stdout.txt");
    const std::string err = temp.File("stderr.txt");
    const std::string command = std::string("'") + ACTUALIZ_CLI +
                                "' --drive 'c=" + (temp.path() / "c").string() + "' " + arguments +
                                " >'" + out + "' 2>'" + err + "' </dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(out), ReadFile(err)};
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
  const Outcome first = Run(R"(migrate pomerd --data 'c:\datos')");
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_NE(first.out.find("Terminado"), std::string::npos) << first.out;
  EXPECT_TRUE(HasTable("pomerd"));

  const Outcome second = Run(R"(migrate pomerd --data 'c:\datos')");
  EXPECT_EQ(second.status, 3);
  EXPECT_NE(second.err.find("La tabla pomerd ya existe"), std::string::npos) << second.err;
}

TEST_F(MigrateCommand, HistoprodRunsTheSameWayOnAHostPath) {
  const Outcome outcome =
      Run("migrate histoprod --data '" + (temp.path() / "c" / "datos").string() + "'");
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_TRUE(HasTable("histoprod"));
  EXPECT_FALSE(HasTable("pomerd"));
}

TEST_F(MigrateCommand, AMissingCustomerDatabaseFailsNamingTheFile) {
  std::filesystem::remove(Clientes());
  const Outcome outcome = Run(R"(migrate pomerd --data 'c:\datos')");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.err.find("clientes.mdb"), std::string::npos) << outcome.err;
  EXPECT_FALSE(std::filesystem::exists(Clientes()));
}

TEST_F(MigrateCommand, AMissingDataDirectoryFails) {
  const Outcome outcome = Run(R"(migrate pomerd --data 'c:\no-existe')");
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
    const Outcome outcome = Run(std::string("migrate ") + c.table + R"( --data 'c:\datos')");
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
  TempDir temp;
  const std::string into = (temp.path() / "demo").string();
  const std::string cli = std::string("'") + ACTUALIZ_CLI + "'";
  const std::string quiet = " >/dev/null 2>&1 </dev/null";
  ASSERT_EQ(std::system((cli + " demo --into '" + into + "' --from '" + ACTUALIZ_SOURCE_DIR +
                         "/demo'" + quiet)
                            .c_str()),
            0);
  const std::string on_demo = cli + " --drive 'c=" + into + "/c' migrate ";
  auto status = [&](const std::string& arguments) {
    const int raw = std::system((on_demo + arguments + quiet).c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  };

  EXPECT_EQ(status(R"(pomerd --data 'c:\datos')"), 0);
  EXPECT_EQ(status(R"(histoprod --data 'c:\datos')"), 0);
  EXPECT_EQ(status(R"(pomerd --data 'c:\datos')"), 3);
  EXPECT_EQ(status(R"(histoprod --data 'c:\datos')"), 3);

  const nlohmann::json described = DescribeFile(into + "/c/datos/clientes.mdb");
  std::vector<std::string> tables;
  for (const auto& table : described["tables"]) tables.push_back(table["name"]);
  EXPECT_NE(std::find(tables.begin(), tables.end(), "pomerd"), tables.end());
  EXPECT_NE(std::find(tables.begin(), tables.end(), "histoprod"), tables.end());
}

}  // namespace
}  // namespace actualiz::testing
