// The demo and batch commands through the real actualiz-cli binary.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "engine/engine.h"
#include "tests/support/demo_site.h"
#include "tests/support/own_session.h"

namespace actualiz::testing {
namespace {

namespace fs = std::filesystem;

class BatchCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(site.LaidOut().out.find("batch --data"), std::string::npos) << site.LaidOut().out;
  }

  ProgramRun Batch(const Words& extra = {}, const ProgramSetting& setting = {}) {
    return site.Cli(Joined({"batch", "--data", "c:\\datos"}, extra), setting);
  }

  static nlohmann::json ReadJson(const fs::path& path) {
    return nlohmann::json::parse(ReadFile(path));
  }

  DemoSite site;
};

TEST_F(BatchCommand, DemoBatchShowsProgressAndAReportAndUpdatesEveryShape) {
  const fs::path report_file = site.Report();
  const ProgramRun run = Batch({"--progress", "--json", report_file});
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
  EXPECT_TRUE(fs::exists(site.Data() / "tarifas.mdb"));
}

TEST_F(BatchCommand, SecondRunAddsNothingAndLeavesEveryStructureAsTheFirstLeftIt) {
  ASSERT_EQ(Batch().status, 0);
  const nlohmann::json after_first = site.Structures();
  const fs::path report_file = site.Scratch("second.json");
  const ProgramRun second = Batch({"--json", report_file});
  ASSERT_EQ(second.status, 0) << second.out;
  EXPECT_EQ(site.Structures(), after_first);
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
    engine::DatabasePtr stock = testing::OpenInOwnSession((site.Data() / "stock.mdb").string());
    engine::TableDefPtr articulos = stock->TableDefs().Item("Articulos");
    articulos->Fields().Append(articulos->CreateField("precio", engine::dbCurrency));
    stock->Close();
  }
  const fs::path report_file = site.Report();
  const ProgramRun run = Batch({"--progress", "--json", report_file});
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
  const ProgramRun batch =
      RunCli({"--drive", "c=" + site.Drive().string(), "batch", "--data", "c:\\no existe"},
             ProgramSetting().Together());
  EXPECT_EQ(batch.status, 1) << batch.out;
  EXPECT_NE(batch.out.find("no existe"), std::string::npos) << batch.out;

  const ProgramRun again =
      RunCli({"demo", "--into", site.Root(), "--from", std::string(ACTUALIZ_SOURCE_DIR) + "/demo"},
             ProgramSetting().Together());
  EXPECT_EQ(again.status, 1) << again.out;
}

TEST_F(BatchCommand, ATemporaryDirectoryThatCannotTakeTheRunsEntriesStopsBeforeAnyChange) {
  const nlohmann::json before = site.Structures();
  const std::string missing = site.Scratch("no existe");
  const ProgramRun run = Batch({}, ProgramSetting().Set("TMPDIR=" + missing));
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find("temporary file"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(missing), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Nothing was changed"), std::string::npos) << run.out;
  EXPECT_EQ(site.Structures(), before);
  EXPECT_FALSE(fs::exists(site.Backups()));
}

}  // namespace
}  // namespace actualiz::testing
