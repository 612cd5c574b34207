// The hidden temporary a killed copy leaves in the data directory
// (".NAME.mdb.copy-N") is removed by the next batch and recorded; files
// that only look like one are left alone.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/demo_site.h"

namespace actualiz::testing {
namespace {

namespace fs = std::filesystem;

TEST(CopyLeftovers, TheBatchRemovesLeftoversOfItsDataDirectoryOnlyAndRecordsEach) {
  DemoSite site;
  const std::string model = ReadFile(site.Models() / "tarifas.mdb");
  WriteFile(site.Data() / ".tarifas.mdb.copy-3141592653", model.substr(0, 4096));
  WriteFile(site.Data() / ".agenda.MDB.copy-7", "");
  const std::vector<std::string> look_alike = {".agenda.mdb.copy-7.bak", ".agenda.txt.copy-5",
                                               "agenda.mdb.copy-5", ".agenda.mdb.copia-5"};
  for (const std::string& name : look_alike) WriteFile(site.Data() / name, "keep");
  fs::create_directory(site.Data() / ".stock.mdb.copy-9");
  fs::create_symlink(site.Data() / "clientes.mdb", site.Data() / ".clientes.mdb.copy-3");
  WriteFile(site.Models() / ".stock.mdb.copy-2", "not where the batch copies to");

  const ProgramRun run = site.Batch();
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("copy leftover removed: .tarifas.mdb.copy-3141592653 in c:\\datos"),
            std::string::npos)
      << run.out;

  std::vector<std::string> removed;
  const nlohmann::json report = site.ReportJson();
  for (const auto& change : report["otherChanges"]) {
    EXPECT_EQ(change["kind"], "copy leftover removed");
    EXPECT_EQ(change["database"], "c:\\datos");
    removed.push_back(change["object"]);
  }
  EXPECT_EQ(removed,
            (std::vector<std::string>{".agenda.MDB.copy-7", ".tarifas.mdb.copy-3141592653"}));
  EXPECT_FALSE(fs::exists(site.Data() / ".tarifas.mdb.copy-3141592653"));
  EXPECT_FALSE(fs::exists(site.Data() / ".agenda.MDB.copy-7"));
  EXPECT_EQ(ReadFile(site.Data() / "tarifas.mdb"), model) << "the copy itself went ahead";

  for (const std::string& name : look_alike) EXPECT_EQ(ReadFile(site.Data() / name), "keep");
  EXPECT_TRUE(fs::is_directory(site.Data() / ".stock.mdb.copy-9"));
  EXPECT_TRUE(fs::is_symlink(site.Data() / ".clientes.mdb.copy-3"));
  EXPECT_TRUE(fs::exists(site.Data() / "clientes.mdb"));
  EXPECT_TRUE(fs::exists(site.Models() / ".stock.mdb.copy-2"));
}

}  // namespace
}  // namespace actualiz::testing
