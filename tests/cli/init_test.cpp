// actualiz-cli init: the catalogues of C:\Zarade, made only where missing.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/db_builder.h"
#include "tests/support/temp_dir.h"

namespace actualiz::cli {
namespace {

using testing::ReadFile;
using testing::TempDir;

class InitCommand : public ::testing::Test {
 protected:
  InitCommand() { std::filesystem::create_directories(dir.path() / "c"); }

  int Run() {
    const std::string command = std::string("'") + ACTUALIZ_CLI +
                                "' --drive 'c=" + (dir.path() / "c").string() + "' init >'" +
                                dir.File("out.txt") + "' 2>&1";
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  std::string Catalogue(const char* name) const {
    return (dir.path() / "c" / "Zarade" / name).string();
  }

  TempDir dir;
};

TEST_F(InitCommand, CreatesTheThreeCataloguesWithTheirFields) {
  ASSERT_EQ(Run(), 0) << ReadFile(dir.File("out.txt"));
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
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(ReadFile((dir.path() / "c" / "ZARADE" / "Indices.MDB").string()), "no es una base");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "c" / "ZARADE" / "indices.mdb"));
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "c" / "ZARADE" / "relacion.mdb"));
  const std::string out = ReadFile(dir.File("out.txt"));
  EXPECT_NE(out.find("exists  C:\\Zarade\\indices.mdb"), std::string::npos) << out;
  EXPECT_NE(out.find("created C:\\Zarade\\consulta.mdb"), std::string::npos) << out;
}

// An older init killed between a catalogue's creation and its table left an
// empty database under the catalogue's name; the next init makes it again.
// One that holds anything of its own is left as it is.
TEST_F(InitCommand, ACatalogueLeftWithoutItsTableIsMadeAgainOnlyWhenEmpty) {
  std::filesystem::create_directories(dir.path() / "c" / "Zarade");
  testing::BuildDatabase(Catalogue("indices.mdb"), R"({"tables": []})");
  testing::BuildDatabase(Catalogue("consulta.mdb"),
                         R"({"tables": [{"name": "mia", "fields": [{"name": "a", "type": 4}]}]})");
  ASSERT_EQ(Run(), 0) << ReadFile(dir.File("out.txt"));
  EXPECT_EQ(testing::DescribeFile(Catalogue("indices.mdb"))["tables"][0]["name"], "indices");
  EXPECT_EQ(testing::DescribeFile(Catalogue("consulta.mdb"))["tables"][0]["name"], "mia");
  const std::string out = ReadFile(dir.File("out.txt"));
  EXPECT_NE(out.find("created C:\\Zarade\\indices.mdb"), std::string::npos) << out;
  EXPECT_NE(out.find("exists  C:\\Zarade\\consulta.mdb"), std::string::npos) << out;
}

}  // namespace
}  // namespace actualiz::cli
