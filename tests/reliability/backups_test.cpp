// The backup taken before a batch: a file that is not a database cannot be
// backed up, nor changed by the run, so it is left out and reported while
// the others are backed up and updated; a database that opens but cannot be
// saved stops the batch before anything changes.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/db_builder.h"
#include "tests/support/demo_site.h"

namespace actualiz::testing {
namespace {

namespace fs = std::filesystem;

// The bytes of every regular file of the data directory, by name.
std::map<std::string, std::string> FilesOf(const fs::path& directory) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(directory)) {
    if (entry.is_regular_file()) files[entry.path().filename().string()] = ReadFile(entry.path());
  }
  return files;
}

TEST(BackedUpBatch, FilesThatAreNotDatabasesAreReportedWhileTheOthersAreBackedUpAndUpdated) {
  DemoSite site;
  const std::string real = ReadFile(site.Data() / "agenda.mdb");
  const std::map<std::string, std::string> damaged = {
      {"roto.mdb", "Esto no es una base de datos\n"}, {"cortada.mdb", real.substr(0, 100)}};
  for (const auto& [name, bytes] : damaged) {
    WriteFile(site.Data() / name, bytes);
    fs::copy_file(site.Models() / "agenda.mdb", site.Models() / name);
  }
  const auto clientes_before = DescribeFile((site.Data() / "clientes.mdb").string(), true);

  const ProgramRun run = site.BackedUpBatch();
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find("c:\\datos\\roto.mdb: damaged (error 3343)"), std::string::npos)
      << run.out;
  for (const auto& [name, bytes] : damaged) {
    SCOPED_TRACE(name);
    const auto entry = site.Entry(name);
    EXPECT_EQ(entry.value("state", ""), "failed");
    ASSERT_FALSE(entry["failures"].empty());
    EXPECT_EQ(entry["failures"][0]["stage"], "backup");
    EXPECT_TRUE(FailuresName(entry, "c:\\datos\\" + name)) << entry.dump(2);
    EXPECT_EQ(ReadFile(site.Data() / name), bytes);
  }
  EXPECT_EQ(site.Entry("clientes.mdb").value("state", ""), "updated");
  EXPECT_EQ(site.Entry("stock.mdb").value("state", ""), "updated");
  EXPECT_EQ(site.Entry("tarifas.mdb").value("state", ""), "copied");

  // The changed databases are backed up as they were; the damaged ones are not.
  const std::string folder = site.ReportJson().value("backupFolder", "");
  ASSERT_FALSE(folder.empty()) << run.out;
  EXPECT_EQ(DescribeFile(folder + "/clientes.mdb", true), clientes_before);
  EXPECT_TRUE(fs::exists(fs::path(folder) / "stock.mdb"));
  for (const auto& [name, bytes] : damaged) EXPECT_FALSE(fs::exists(fs::path(folder) / name));
}

TEST(BackedUpBatch, ADatabaseThatCannotBeSavedStopsTheBatchBeforeAnyChange) {
  const struct {
    const char* what;
    std::uint64_t file_size_limit;  // 0 for none
    std::function<void(const DemoSite&)> arrange;
  } cases[] = {
      // agenda.mdb and stock.mdb (48 KiB) open but cannot be copied past
      // 22 KiB; the write fails with EFBIG.
      {"file size limit", 22 * 1024, [](const DemoSite&) {}},
      {"backups folder is a file", 0,
       [](const DemoSite& site) { WriteFile(site.Backups(), "not a folder"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DemoSite site;
    c.arrange(site);
    const auto before = FilesOf(site.Data());

    const ProgramRun run = site.BackedUpBatch(ProgramSetting().FileSizeLimit(c.file_size_limit));
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("Nothing was changed"), std::string::npos) << run.out;
    EXPECT_TRUE(FilesOf(site.Data()) == before) << "a database changed or was copied in";
    EXPECT_FALSE(fs::is_directory(site.Backups()));
  }
}

}  // namespace
}  // namespace actualiz::testing
