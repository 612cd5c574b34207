// Two runs at once, a run stopped by a signal, and directories that are not
// there: through the real actualiz-cli on a demo drive.
#include <signal.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/run_lock.h"
#include "tests/support/child_process.h"
#include "tests/support/demo_site.h"

namespace actualiz::testing {
namespace {

namespace fs = std::filesystem;

TEST(ConcurrentRuns, AWritingCommandWaitsThenNamesTheRunThatHoldsItsLock) {
  struct Case {
    bool catalogues;  // the lock held: the catalogues' or the data directory's
    Words arguments;
  };
  const Case cases[] = {{false, {"--wait", "0.2", "batch", "--data", "c:\\datos"}},
                        {true, {"--wait", "0.2", "batch", "--data", "c:\\datos"}},
                        {true, {"--wait", "0.2", "check", "--data", "c:\\datos"}},
                        {false, {"--wait", "0.2", "plan", "--data", "c:\\datos"}},
                        {false, {"--wait", "0.2", "migrate", "pomerd", "--data", "c:\\datos"}},
                        {true, {"--wait", "0.2", "init"}}};
  const DemoSite site;
  const nlohmann::json before = site.Structures();
  const std::string holder = "actualiz-cli batch (process " + std::to_string(getpid());
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    const fs::path locked = c.catalogues ? site.Drive() / "Zarade" : site.Data();
    const platform::RunLock held(locked.string(), platform::LockMode::kExclusive,
                                 std::chrono::milliseconds(0), "actualiz-cli batch");
    const ProgramRun run = site.Cli(c.arguments);
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("3260"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(holder), std::string::npos) << run.out;
    EXPECT_EQ(site.Structures(), before);
    EXPECT_FALSE(fs::exists(site.Backups()));
  }
  // Nobody holding them, the same batch runs.
  EXPECT_EQ(site.Cli({"--wait", "0.2", "batch", "--no-backup", "--data", "c:\\datos"}).status, 0);
}

TEST(ConcurrentRuns, ARunThatWaitedWorksOnWhatTheOtherLeft) {
  const DemoSite site;
  std::optional<platform::RunLock> other(std::in_place, site.Data().string(),
                                         platform::LockMode::kExclusive,
                                         std::chrono::milliseconds(0), "actualiz-cli batch");
  ChildProcess batch(site.Command({"--wait", "60", "batch", "--no-backup", "--data", "c:\\datos"}));
  // The batch has listed the data directory and waits; the other run copies
  // in the model that had no database, and lets go.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  fs::copy_file(site.Models() / "tarifas.mdb", site.Data() / "tarifas.mdb");
  other.reset();
  EXPECT_EQ(batch.Wait(), 0) << batch.Output();
  EXPECT_EQ(batch.Output().find("File already exists"), std::string::npos) << batch.Output();
}

// A demo drive with many more pairs: each paired database and its model
// copied as NAME_K.mdb.
void AddPairs(const DemoSite& site, int copies) {
  for (const char* name : {"agenda", "clientes", "stock"}) {
    for (int k = 1; k <= copies; ++k) {
      const std::string copy = std::string(name) + "_" + std::to_string(k) + ".mdb";
      fs::copy_file(site.Data() / (std::string(name) + ".mdb"), site.Data() / copy);
      fs::copy_file(site.Models() / (std::string(name) + ".mdb"), site.Models() / copy);
    }
  }
}

TEST(Interruptions, ASignalStopsBetweenDatabasesReportsAndTrimsTheBackup) {
  struct Case {
    int signal;
    int status;
    const char* name;
  };
  for (const Case c : {Case{SIGINT, 130, "SIGINT"}, Case{SIGTERM, 143, "SIGTERM"}}) {
    SCOPED_TRACE(c.name);
    const DemoSite site;
    AddPairs(site, 12);
    ChildProcess batch(
        site.Command({"batch", "--progress", "--data", "c:\\datos", "--json", site.Report()}));
    ASSERT_TRUE(batch.WaitForOutput("agenda_3.mdb", std::chrono::seconds(120))) << batch.Output();
    batch.Signal(c.signal);
    ASSERT_EQ(batch.Wait(), c.status) << batch.Output();
    EXPECT_NE(batch.Output().find(std::string("Interrupted by ") + c.name), std::string::npos)
        << batch.Output();
    EXPECT_NE(batch.Output().find("Restore them with: actualiz-cli restore"), std::string::npos);

    const nlohmann::json report = site.ReportJson();
    EXPECT_EQ(report["interrupted"], c.name);
    const std::set<std::string> missed(report["notReached"].begin(), report["notReached"].end());
    EXPECT_FALSE(missed.empty()) << "the run ended before the signal";
    std::set<std::string> kept;
    for (const auto& entry : fs::directory_iterator(report["backupFolder"].get<std::string>())) {
      kept.insert(entry.path().filename().string());
    }
    for (const auto& database : report["databases"]) {
      const std::string name = database["name"];
      const bool reached = !missed.count(name);
      EXPECT_EQ(database["state"] == "not reached", !reached) << name;
      // The text report never calls a database the run did not reach "up to date".
      if (!reached) {
        EXPECT_EQ(batch.Output().find("\n" + name + ": up to date"), std::string::npos) << name;
        EXPECT_NE(batch.Output().find("\n" + name + ": not reached"), std::string::npos) << name;
      }
      // The backup keeps what the run changed, and nothing it never reached.
      if (database["state"] == "updated") {
        EXPECT_EQ(kept.count(name), 1u) << name;
      }
      if (!reached) {
        EXPECT_EQ(kept.count(name), 0u) << name;
      }
    }
    EXPECT_FALSE(fs::exists(site.Data() / "tarifas.mdb")) << "a model was copied in after the stop";
    // Every database is whole, and a second run finishes the work.
    EXPECT_NO_THROW(site.Structures());
    EXPECT_EQ(site.Cli({"batch", "--no-backup", "--data", "c:\\datos"}).status, 0);
    EXPECT_EQ(site.Cli({"check", "--data", "c:\\datos"}).status, 0);
  }
}

TEST(Directories, AMissingPlaceIsAnErrorNamingItAndRelativePathsStartHere) {
  const DemoSite site;
  const std::string models = (site.Drive() / "prog" / "modelos").string();
  const fs::path aside = site.Drive() / "aside";
  fs::rename(models, aside);
  for (const char* command : {"batch", "check", "plan"}) {
    SCOPED_TRACE(command);
    const ProgramRun missing = site.Cli({command, "--data", "c:\\datos"});
    EXPECT_EQ(missing.status, 1) << missing.out;
    EXPECT_NE(missing.out.find(models), std::string::npos) << missing.out;
    fs::create_directory(models);
    const ProgramRun empty = site.Cli({command, "--data", "c:\\datos"});
    EXPECT_EQ(empty.status, 1) << empty.out;
    EXPECT_NE(empty.out.find(models), std::string::npos) << empty.out;
    fs::remove(models);
  }
  fs::rename(aside, models);

  // Without --data and without the default data directory, nothing runs at
  // the drive root.
  const ProgramRun fallback = site.Cli({"batch", "--no-backup"});
  EXPECT_EQ(fallback.status, 1) << fallback.out;
  EXPECT_NE(fallback.out.find("archivos de programa"), std::string::npos) << fallback.out;
  EXPECT_FALSE(fs::exists(site.Drive() / "agenda.mdb"));

  // Relative host paths are taken from the working directory.
  const auto here = [&](const Words& arguments) {
    return RunCli(
        Joined({"--drive", "c=" + site.Drive().string(), "--program-dir", "c/prog"}, arguments),
        ProgramSetting().Together().In(site.Root().string()));
  };
  const ProgramRun plan = here({"check", "--data", "c/datos"});
  EXPECT_EQ(plan.status, 2) << plan.out;
  const ProgramRun batch = here({"batch", "--no-backup", "--data", "c/datos"});
  EXPECT_EQ(batch.status, 0) << batch.out;
  EXPECT_TRUE(fs::exists(site.Data() / "tarifas.mdb")) << batch.out;
  EXPECT_EQ(here({"check", "--data", "c/datos"}).status, 0);
}

}  // namespace
}  // namespace actualiz::testing
