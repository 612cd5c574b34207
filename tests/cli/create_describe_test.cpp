// `actualiz-cli create` and `describe` run as a user runs them: the real
// binary on real files, with drive c mapped into a temporary directory.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace actualiz::testing {
namespace {

using nlohmann::json;

const char* const kDescription = R"({
  "tables": [
    {"name": "Clientes",
     "fields": [
       {"name": "Codigo", "type": 4, "size": 4, "allowZeroLength": false, "required": true},
       {"name": "Nombre", "type": 10, "size": 40, "allowZeroLength": true, "required": false},
       {"name": "Alta", "type": 8, "size": 8, "allowZeroLength": false, "required": false}],
     "indexes": [{"name": "PrimaryKey", "fields": ["Codigo"], "unique": true, "primary": true}],
     "rows": [{"Codigo": 1, "Nombre": "Müller", "Alta": "2024-05-01T10:30:00"},
              {"Codigo": 2, "Nombre": "", "Alta": null}]},
    {"name": "Visitas",
     "fields": [
       {"name": "Cliente", "type": 4, "size": 4, "allowZeroLength": false, "required": false}],
     "indexes": [],
     "rows": [{"Cliente": 2}]}],
  "relations": [{"name": "ClientesVisitas", "table": "Clientes", "foreignTable": "Visitas",
                 "attributes": 4096, "fields": [{"name": "Codigo", "foreignName": "Cliente"}]}],
  "queries": [{"name": "Todos", "sql": "SELECT * FROM Clientes"}]
})";

class CreateDescribeCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(temp.path() / "c" / "Datos");
    WriteFile(temp.path() / "desc.json", kDescription);
  }

  std::string Host(const std::string& name) const {
    return (temp.path() / "c" / "Datos" / name).string();
  }
  std::string Description() const { return temp.File("desc.json"); }

  // Runs the command line with drive c mapped into the temporary directory,
  // in working directory `directory` ("" for the test's own).
  ProgramRun Run(const Words& arguments, const std::string& directory = "") {
    return RunCli(Joined({"--drive", "c=" + temp.File("c")}, arguments),
                  ProgramSetting().In(directory));
  }

  TempDir temp;
};

TEST_F(CreateDescribeCommands, DescribingWhatWasCreatedGivesTheDescriptionBack) {
  const ProgramRun created = Run({"create", Host("nueva.mdb"), "--from", Description()});
  ASSERT_EQ(created.status, 0) << created.err;
  EXPECT_EQ(created.err, "");

  const ProgramRun described = Run({"describe", "--rows", Host("nueva.mdb")});
  ASSERT_EQ(described.status, 0) << described.err;
  EXPECT_EQ(json::parse(described.out), json::parse(kDescription));
  // Pretty, two spaces deep, with non-ASCII text as it is.
  EXPECT_NE(described.out.find("\n  \"queries\": [\n    {\n"), std::string::npos) << described.out;
  EXPECT_NE(described.out.find("Müller"), std::string::npos);

  const ProgramRun again = Run({"describe", "--rows", Host("nueva.mdb")});
  EXPECT_EQ(again.out, described.out);
}

TEST_F(CreateDescribeCommands, WindowsPathsOnAMappedDriveWorkForBoth) {
  const ProgramRun created = Run({"create", R"(c:\datos\NUEVA.mdb)", "--from", Description()});
  ASSERT_EQ(created.status, 0) << created.err;
  EXPECT_TRUE(std::filesystem::exists(Host("NUEVA.mdb")));

  const ProgramRun described = Run({"describe", R"(C:\DATOS\nueva.MDB)"});
  ASSERT_EQ(described.status, 0) << described.err;
  const json description = json::parse(described.out);
  EXPECT_EQ(description["tables"].size(), 2u);
  EXPECT_FALSE(description["tables"][0].contains("rows"));

  const ProgramRun with_system = Run({"describe", "--system", R"(c:\datos\nueva.mdb)"});
  ASSERT_EQ(with_system.status, 0) << with_system.err;
  EXPECT_GT(json::parse(with_system.out)["tables"].size(), 2u);
}

TEST_F(CreateDescribeCommands, ARelativeHostPathIsTakenFromTheWorkingDirectory) {
  const std::string here = temp.File("c");
  const ProgramRun created = Run({"create", "Datos/relativa.mdb", "--from", Description()}, here);
  ASSERT_EQ(created.status, 0) << created.err;
  EXPECT_TRUE(std::filesystem::exists(Host("relativa.mdb")));
  const ProgramRun described = Run({"describe", "Datos/relativa.mdb"}, here);
  EXPECT_EQ(described.status, 0) << described.err;
  EXPECT_NE(described.out.find("Visitas"), std::string::npos);
}

TEST_F(CreateDescribeCommands, CreateRefusesToReplaceAnExistingFile) {
  WriteFile(Host("existe.mdb"), "someone's data");
  const ProgramRun outcome = Run({"create", Host("existe.mdb"), "--from", Description()});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.err.find("existe.mdb"), std::string::npos) << outcome.err;
  EXPECT_NE(outcome.err.find("3204"), std::string::npos) << outcome.err;
  EXPECT_EQ(ReadFile(Host("existe.mdb")), "someone's data");
}

TEST_F(CreateDescribeCommands, ABadDescriptionNamesItsPlaceAndLeavesNoFile) {
  WriteFile(temp.path() / "bad.json", R"({"tables": [{"name": "T",
      "fields": [{"name": "F", "type": 99}]}]})");
  const ProgramRun outcome = Run({"create", Host("mala.mdb"), "--from", temp.File("bad.json")});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.err.find("tables[0].fields[0].type: unknown field type 99"), std::string::npos)
      << outcome.err;
  EXPECT_NE(outcome.err.find("mala.mdb"), std::string::npos) << outcome.err;
  EXPECT_FALSE(std::filesystem::exists(Host("mala.mdb")));

  WriteFile(temp.path() / "bad.json", "{\"tables\": [\n  {\"name\": }\n]}");
  const ProgramRun not_json = Run({"create", Host("mala.mdb"), "--from", temp.File("bad.json")});
  EXPECT_EQ(not_json.status, 1);
  EXPECT_NE(not_json.err.find("line 2"), std::string::npos) << not_json.err;
  EXPECT_FALSE(std::filesystem::exists(Host("mala.mdb")));

  const ProgramRun missing = Run({"create", Host("mala.mdb"), "--from", temp.File("no.json")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("no.json"), std::string::npos) << missing.err;
  EXPECT_FALSE(std::filesystem::exists(Host("mala.mdb")));
}

TEST_F(CreateDescribeCommands, DescribeFailsOnAFileThatIsMissingOrNotADatabase) {
  const ProgramRun missing = Run({"describe", R"(c:\datos\falta.mdb)"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("falta.mdb"), std::string::npos) << missing.err;
  EXPECT_EQ(missing.out, "");
  EXPECT_FALSE(std::filesystem::exists(Host("falta.mdb")));

  WriteFile(Host("texto.mdb"), "just text");
  const ProgramRun foreign = Run({"describe", R"(c:\datos\texto.mdb)"});
  EXPECT_EQ(foreign.status, 1);
  EXPECT_NE(foreign.err.find("texto.mdb"), std::string::npos) << foreign.err;
}

// Usage errors keep the argument parser's own exit status, which a script
// can tell apart from a failure (1).
TEST_F(CreateDescribeCommands, MissingArgumentsAreUsageErrors) {
  const ProgramRun no_from = Run({"create", Host("x.mdb")});
  EXPECT_GT(no_from.status, 1);
  EXPECT_NE(no_from.err.find("--from is required"), std::string::npos) << no_from.err;
  EXPECT_FALSE(std::filesystem::exists(Host("x.mdb")));

  const ProgramRun no_file = Run({"describe"});
  EXPECT_GT(no_file.status, 1);
  EXPECT_NE(no_file.err.find("FILE is required"), std::string::npos) << no_file.err;
}

}  // namespace
}  // namespace actualiz::testing
