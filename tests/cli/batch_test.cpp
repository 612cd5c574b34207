// The demo and batch commands through the real actualiz-cli binary.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "engine/engine.h"
#include "tests/support/db_builder.h"
#include "tests/support/own_session.h"
#include "tests/support/temp_dir.h"

namespace actualiz::testing {
namespace {

namespace fs = std::filesystem;

struct CliRun {
  int status = -1;
  std::string out;  // standard output and standard error together
};

std::string Quoted(const std::string& word) {
  std::string out = "'";
  for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

CliRun Cli(const std::string& arguments) {
  CliRun run;
  const std::string command = Quoted(ACTUALIZ_CLI) + " " + arguments + " 2>&1 </dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class BatchCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    demo = temp.path() / "demo";
    const CliRun laid_out = Cli("demo --into " + Quoted(demo.string()) + " --from " +
                                Quoted(std::string(ACTUALIZ_SOURCE_DIR) + "/demo"));
    ASSERT_EQ(laid_out.status, 0) << laid_out.out;
    ASSERT_NE(laid_out.out.find("batch --data"), std::string::npos) << laid_out.out;
  }

  CliRun Batch(const std::string& extra = "") {
    return Cli("--drive " + Quoted("c=" + (demo / "c").string()) + " --program-dir " +
               Quoted((demo / "c" / "prog").string()) + " batch --data 'c:\\datos' " + extra);
  }

  nlohmann::json Structures() {
    nlohmann::json all;
    for (const auto& entry : fs::directory_iterator(demo / "c" / "datos")) {
      if (entry.path().extension() != ".mdb" || !entry.is_regular_file()) continue;
      all[entry.path().filename().string()] = DescribeFile(entry.path().string());
    }
    return all;
  }

  static nlohmann::json ReadJson(const fs::path& path) {
    return nlohmann::json::parse(ReadFile(path));
  }

  TempDir temp;
  fs::path demo;
};

TEST_F(BatchCommand, DemoBatchShowsProgressAndAReportAndUpdatesEveryShape) {
  const fs::path report_file = temp.path() / "report.json";
  const CliRun run = Batch("--progress --json " + Quoted(report_file.string()));
  ASSERT_EQ(run.status, 0) << run.out;

  // Progress as plain lines (asked for; no terminal here), then the report.
  EXPECT_NE(run.out.find("clientes.mdb | Bases: "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Proceso Terminado | Bases: 4/4"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("clientes.mdb: updated"), std::string::npos) << run.out;
  // agenda.mdb carries its model's objects, but its query is written over
  // several lines, which the query chain stores on one: a real change.
  EXPECT_NE(run.out.find("agenda.mdb: updated\n  queries: 1 replaced\n"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("tarifas.mdb: copied"), std::string::npos) << run.out;

  const nlohmann::json report = ReadJson(report_file);
  EXPECT_EQ(report["dataDirectory"], "c:\\datos");
  EXPECT_EQ(report["totals"]["pairs"], 3);
  EXPECT_EQ(report["totals"]["copied"], 1);
  EXPECT_EQ(report["totals"]["failures"], 0);
  EXPECT_EQ(report["totals"]["tablesCreated"], 2);
  EXPECT_GE(report["totals"]["fieldsAdded"], 5);
  EXPECT_TRUE(fs::exists(demo / "c" / "datos" / "tarifas.mdb"));
}

TEST_F(BatchCommand, SecondRunAddsNothingAndLeavesEveryStructureAsTheFirstLeftIt) {
  ASSERT_EQ(Batch().status, 0);
  const nlohmann::json after_first = Structures();
  const fs::path report_file = temp.path() / "second.json";
  const CliRun second = Batch("--json " + Quoted(report_file.string()));
  ASSERT_EQ(second.status, 0) << second.out;
  EXPECT_EQ(Structures(), after_first);
  const nlohmann::json report = ReadJson(report_file);
  EXPECT_EQ(report["totals"]["tablesCreated"], 0);
  EXPECT_EQ(report["totals"]["fieldsAdded"], 0);
  EXPECT_EQ(report["totals"]["copied"], 0);
  EXPECT_EQ(report["totals"]["pairs"], 4);
}

TEST_F(BatchCommand, AFailurePassedOverIsReportedAndGivesStatusOne) {
  // "precio" is not the model's "Precio": the walk takes the model's field
  // as missing and the engine, whose names ignore case, refuses it.
  {
    engine::DatabasePtr stock =
        testing::OpenInOwnSession((demo / "c" / "datos" / "stock.mdb").string());
    engine::TableDefPtr articulos = stock->TableDefs().Item("Articulos");
    articulos->Fields().Append(articulos->CreateField("precio", engine::dbCurrency));
    stock->Close();
  }
  const fs::path report_file = temp.path() / "report.json";
  const CliRun run = Batch("--progress --json " + Quoted(report_file.string()));
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find("stock.mdb: failed"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Proceso Terminado"), std::string::npos) << run.out;

  const nlohmann::json report = ReadJson(report_file);
  EXPECT_EQ(report["totals"]["failures"], 1);
  EXPECT_EQ(report["totals"]["failed"], 1);
  for (const auto& database : report["databases"]) {
    if (database["name"] != "stock.mdb") continue;
    EXPECT_EQ(database["state"], "failed");
    EXPECT_EQ(database["failures"][0]["stage"], "Command12_Click");
    EXPECT_EQ(database["failures"][0]["number"], 3191);
    // Tables before the refusal were done; the stages after the walk ran.
    EXPECT_FALSE(database["changes"].empty());
  }
  EXPECT_EQ(report["totals"]["updated"], 2) << "clientes.mdb and agenda.mdb are still updated";
}

TEST_F(BatchCommand, RefusesAMissingDataDirectoryAndANonEmptyDemoPlace) {
  const CliRun batch =
      Cli("--drive " + Quoted("c=" + (demo / "c").string()) + " batch --data 'c:\\no existe'");
  EXPECT_EQ(batch.status, 1) << batch.out;
  EXPECT_NE(batch.out.find("no existe"), std::string::npos) << batch.out;

  const CliRun again = Cli("demo --into " + Quoted(demo.string()) + " --from " +
                           Quoted(std::string(ACTUALIZ_SOURCE_DIR) + "/demo"));
  EXPECT_EQ(again.status, 1) << again.out;
}

TEST_F(BatchCommand, ATemporaryDirectoryThatCannotTakeTheRunsEntriesStopsBeforeAnyChange) {
  const nlohmann::json before = Structures();
  const std::string missing = (temp.path() / "no existe").string();
  const char* previous = std::getenv("TMPDIR");
  const std::string kept = previous != nullptr ? previous : "";
  setenv("TMPDIR", missing.c_str(), 1);
  const CliRun run = Batch();
  if (previous != nullptr) {
    setenv("TMPDIR", kept.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find("temporary file"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(missing), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Nothing was changed"), std::string::npos) << run.out;
  EXPECT_EQ(Structures(), before);
  EXPECT_FALSE(fs::exists(demo / "c" / "datos" / ".actualiz-backups"));
}

}  // namespace
}  // namespace actualiz::testing
