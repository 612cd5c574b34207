// Faults from outside: a full disk, a read-only database, a database locked
// by another process, a missing or damaged catalogue. Each gives an error
// naming the file, the batch goes on, and nothing already stored is lost.
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/db_builder.h"
#include "tests/support/demo_site.h"

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

TEST(Faults, AFullDiskFailsTheBatchWithoutDamagingAnyDatabase) {
  DemoSite site;
  const auto before = DescribeFile((site.Data() / "clientes.mdb").string(), true);
  // Files may not be written past 30 KiB: clientes.mdb (48 KiB) cannot take
  // its new tables; the writes fail with EFBIG.
  const ProgramRun run = site.Batch(ProgramSetting().FileSizeLimit(30 * 1024));
  EXPECT_NE(run.status, 0) << run.out;
  for (const auto& entry : fs::directory_iterator(site.Data())) {
    if (entry.path().extension() == ".mdb") {
      EXPECT_EQ(IntegrityCheck(entry.path()), "ok") << entry.path();
    }
  }
  ExpectNothingLost(before, DescribeFile((site.Data() / "clientes.mdb").string(), true));
  // With room again, a rerun finishes the work.
  EXPECT_EQ(site.Batch().status, 0);
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
