// actualiz-cli init: the catalogues of C:\Zarade, made only where missing.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/db_builder.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace actualiz::cli {
namespace {

using testing::ProgramRun;
using testing::ReadFile;
using testing::TempDir;

class InitCommand : public ::testing::Test {
 protected:
  InitCommand() { std::filesystem::create_directories(dir.path() / "c"); }

  // Runs init on drive c, standard error in with the output.
  ProgramRun Run() {
    return testing::RunCli({"--drive", "c=" + dir.File("c"), "init"},
                           testing::ProgramSetting().Together());
  }
  std::string Catalogue(const char* name) const {
    return (dir.path() / "c" / "Zarade" / name).string();
  }

  TempDir dir;
};

TEST_F(InitCommand, CreatesTheThreeCataloguesWithTheirFields) {
  const ProgramRun run = Run();
  ASSERT_EQ(run.status, 0) << run.out;
  const auto indices = testing::DescribeFile(Catalogue("indices.mdb"));
  ASSERT_EQ(indices["tables"].size(), 1u);
  EXPECT_EQ(indices["tables"][0]["name"], "indices");
  std::vector<std::string> names;
  for (const auto& field : indices["tables"][0]["fields"]) {
    names.push_back(field["name"]);
    EXPECT_EQ(field["type"], 10);
    EXPECT_EQ(field["size"], 255);
    EXPECT_EQ(field["allowZeroLength"], true);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"nombreind", "tabla", "campo", "unico"}));

  const auto relacion = testing::DescribeFile(Catalogue("relacion.mdb"));
  EXPECT_EQ(relacion["tables"][0]["fields"].size(), 6u);
  EXPECT_EQ(relacion["tables"][0]["fields"][3]["name"], "atributos");
  const auto consulta = testing::DescribeFile(Catalogue("consulta.mdb"));
  EXPECT_EQ(consulta["tables"][0]["fields"][1]["name"], "consulta");
  EXPECT_EQ(consulta["tables"][0]["fields"][1]["type"], 12);  // memo: any statement fits
}

TEST_F(InitCommand, NeverTouchesACatalogueThatExists) {
  std::filesystem::create_directories(dir.path() / "c" / "ZARADE");
  testing::WriteFile((dir.path() / "c" / "ZARADE" / "Indices.MDB").string(), "no es una base");
  const ProgramRun run = Run();
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile((dir.path() / "c" / "ZARADE" / "Indices.MDB").string()), "no es una base");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "c" / "ZARADE" / "indices.mdb"));
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "c" / "ZARADE" / "relacion.mdb"));
  EXPECT_NE(run.out.find("exists  C:\\Zarade\\indices.mdb"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("created C:\\Zarade\\consulta.mdb"), std::string::npos) << run.out;
}

// An older init killed between a catalogue's creation and its table left an
// empty database under the catalogue's name; the next init makes it again.
// One that holds anything of its own is left as it is.
TEST_F(InitCommand, ACatalogueLeftWithoutItsTableIsMadeAgainOnlyWhenEmpty) {
  std::filesystem::create_directories(dir.path() / "c" / "Zarade");
  testing::BuildDatabase(Catalogue("indices.mdb"), R"({"tables": []})");
  testing::BuildDatabase(Catalogue("consulta.mdb"),
                         R"({"tables": [{"name": "mia", "fields": [{"name": "a", "type": 4}]}]})");
  const ProgramRun run = Run();
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(testing::DescribeFile(Catalogue("indices.mdb"))["tables"][0]["name"], "indices");
  EXPECT_EQ(testing::DescribeFile(Catalogue("consulta.mdb"))["tables"][0]["name"], "mia");
  EXPECT_NE(run.out.find("created C:\\Zarade\\indices.mdb"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("exists  C:\\Zarade\\consulta.mdb"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace actualiz::cli
