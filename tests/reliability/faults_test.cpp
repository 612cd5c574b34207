// Faults from outside: a full disk, a read-only database, a database locked
// by another process, a missing or damaged catalogue. Each gives an error
// naming the file, the batch goes on, and nothing already stored is lost.
// The full disk is the engine's own failure, injected by a failing storage.
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "app/actualiz.h"
#include "app/batch_report.h"
#include "tests/support/db_builder.h"
#include "tests/support/demo_site.h"
#include "tests/support/failing_storage.h"
#include "tests/support/window_fixture.h"

namespace actualiz::testing {
namespace {

namespace fs = std::filesystem;

// Every row and field of `before` is still in `after` (tables, fields, rows).
void ExpectNothingLost(const nlohmann::json& before, const nlohmann::json& after) {
  for (const auto& table : before["tables"]) {
    const auto found =
        std::find_if(after["tables"].begin(), after["tables"].end(),
                     [&](const nlohmann::json& t) { return t["name"] == table["name"]; });
    ASSERT_NE(found, after["tables"].end()) << table["name"];
    ASSERT_EQ((*found)["rows"].size(), table["rows"].size()) << table["name"];
    for (size_t i = 0; i < table["rows"].size(); ++i) {
      for (const auto& [field, value] : table["rows"][i].items()) {
        EXPECT_EQ((*found)["rows"][i][field], value) << table["name"] << "." << field;
      }
    }
  }
}

std::string IntegrityCheck(const fs::path& file) {
  sqlite3* db = nullptr;
  std::string result = "cannot open";
  if (sqlite3_open(file.c_str(), &db) == SQLITE_OK) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr);
    if (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
      result = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return result;
}

// The batch over the demo drive run by a window model in this process, its
// engine session opening every file through a failing storage.
class FailingBatch {
 public:
  FailingBatch(const DemoSite& site, FaultPlan plan)
      : session_(std::make_shared<engine::Session>()) {
    fault = InstallFailingStorage(*session_, std::move(plan));
    app::Environment env;
    env.drives.Map('c', site.Drive().string());
    env.program_dir = (site.Drive() / "prog").string();
    env.op = &op_;
    env.session = session_;
    window_ = std::make_unique<app::Actualiz>(std::move(env));
    window_->Activate();
    window_->AtTop("Dir1.Path", [&] { window_->Dir1.SetPath("c:\\datos"); });
    window_->Log().Clear();
    window_->Click("Command13_Click");
    report = app::BuildBatchReport(*window_, window_->Log());
  }
  const app::DatabaseReport* Entry(const std::string& name) const {
    for (const app::DatabaseReport& database : report.databases) {
      if (database.name == name) return &database;
    }
    return nullptr;
  }

  std::shared_ptr<FaultPlan> fault;
  app::BatchReport report;

 private:
  RecordingOperator op_;
  std::shared_ptr<engine::Session> session_;
  std::unique_ptr<app::Actualiz> window_;
};

TEST(Faults, AFullDiskFailsTheBatchWithoutDamagingAnyDatabase) {
  const struct {
    const char* what;
    FaultPlan plan;
    const char* failed;  // the database whose entry must fail
  } cases[] = {
      {"every change", FailEvery(Fault::kChange, "clientes.mdb"), "clientes.mdb"},
      {"the commit of the grouped changes", FailEvery(Fault::kCommit, "clientes.mdb"),
       "clientes.mdb"},
      {"every row of the index catalogue", FailEvery(Fault::kInsert, "indices.mdb"),
       "clientes.mdb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DemoSite site;
    const auto before = DescribeFile((site.Data() / "clientes.mdb").string(), true);
    const FailingBatch batch(site, c.plan);
    EXPECT_GT(batch.fault->injected, 0);
    const app::DatabaseReport* entry = batch.Entry(c.failed);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->state, "failed");
    bool disk_full_named = false;
    for (const app::Failure& failure : entry->failures) {
      disk_full_named = disk_full_named || failure.text.find("disk is full") != std::string::npos;
    }
    EXPECT_TRUE(disk_full_named);
    for (const auto& file : fs::directory_iterator(site.Data())) {
      if (file.path().extension() == ".mdb") {
        EXPECT_EQ(IntegrityCheck(file.path()), "ok") << file.path();
      }
    }
    ExpectNothingLost(before, DescribeFile((site.Data() / "clientes.mdb").string(), true));
    // With room again, a rerun finishes the work.
    EXPECT_EQ(site.Batch().status, 0);
  }
}

TEST(Faults, AReadOnlyDatabaseIsReportedAndLeftAsItWas) {
  DemoSite site;
  const fs::path stock = site.Data() / "stock.mdb";
  const std::string bytes = ReadFile(stock);
  fs::permissions(stock, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const ProgramRun run = site.Batch();
  EXPECT_EQ(run.status, 1) << run.out;
  const auto entry = site.Entry("stock.mdb");
  EXPECT_EQ(entry.value("state", ""), "failed");
  EXPECT_TRUE(FailuresName(entry, "stock.mdb")) << entry.dump(2);
  EXPECT_EQ(ReadFile(stock), bytes);
  EXPECT_EQ(site.Entry("clientes.mdb").value("state", ""), "updated");
}

TEST(Faults, ADatabaseLockedLongerThanTheWaitIsReportedAndUntouched) {
  DemoSite site;
  const fs::path stock = site.Data() / "stock.mdb";
  const auto before = DescribeFile(stock.string(), true);
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(stock.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  const ProgramRun run = site.Batch();
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
  EXPECT_EQ(run.status, 1) << run.out;
  const auto entry = site.Entry("stock.mdb");
  EXPECT_EQ(entry.value("state", ""), "failed");
  EXPECT_TRUE(FailuresName(entry, "stock.mdb")) << entry.dump(2);
  EXPECT_EQ(DescribeFile(stock.string(), true), before);
  EXPECT_EQ(site.Entry("clientes.mdb").value("state", ""), "updated");
}

TEST(Faults, AMissingOrDamagedCatalogueIsNamedAndTheTablesStillGetUpdated) {
  for (const bool damaged : {false, true}) {
    SCOPED_TRACE(damaged ? "damaged" : "missing");
    DemoSite site;
    const fs::path catalogue = site.Drive() / "Zarade" / "indices.mdb";
    if (damaged) {
      WriteFile(catalogue, ReadFile(catalogue).substr(0, 2000));
    } else {
      fs::remove(catalogue);
    }
    const ProgramRun run = site.Batch();
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(ReadFile(site.Report()).find("indices.mdb"), std::string::npos);
    const auto clientes = DescribeFile((site.Data() / "clientes.mdb").string());
    EXPECT_NE(clientes.dump().find("Pedidos"), std::string::npos);
  }
}

}  // namespace
}  // namespace actualiz::testing
