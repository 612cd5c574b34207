// The fleet command: several data locations, on files and on the server,
// in one run and several at once; every database must end as one
// uninterrupted single batch per location leaves it, also when the fleet
// run is killed and resumed.
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/run_lock.h"
#include "tests/support/child_process.h"
#include "tests/support/demo_fleet.h"
#include "tests/support/pg_server.h"
#include "tests/support/server_site.h"
#include "tests/support/temp_dir.h"

namespace actualiz::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The structures and rows one single batch leaves in the demo's data
// directory, on files and on the server, made once.
const json& AfterSingleBatch(bool server) {
  static const json files = [] {
    const DemoSite site;
    if (site.Batch().status != 0) throw std::runtime_error("the reference batch failed");
    return FileStructures(site.Data(), true);
  }();
  static const json on_server = [] {
    const DemoSite site;
    const std::string location = CopyToServer(site.Data());
    if (site.Cli({"batch", "--no-backup", "--data", location}).status != 0) {
      throw std::runtime_error("the reference batch on the server failed");
    }
    return ServerStructures(location, true);
  }();
  return server ? on_server : files;
}

class Fleet : public ::testing::Test {
 protected:
  Fleet() : server(CopyToServer(sur.Data())) {}

  // The fleet file of `locations`, written beside the demos.
  std::string WriteFleet(const json& locations) const { return WriteFleetFile(dir, locations); }
  // norte by its Windows path, este by its host path, sur on the server.
  json ThreeLocations() const {
    return {DemoLocation("norte", norte, "c:\\datos"),
            DemoLocation("este", este, este.Data().string()), DemoLocation("sur", sur, server)};
  }
  ProgramRun Run(const Words& arguments) const {
    return RunProgram(Joined({ACTUALIZ_CLI, "fleet"}, arguments), ProgramSetting().Together());
  }
  // Every location ended as one single batch leaves it.
  void ExpectAsSingleBatches() const {
    EXPECT_EQ(FileStructures(norte.Data(), true), AfterSingleBatch(false));
    EXPECT_EQ(FileStructures(este.Data(), true), AfterSingleBatch(false));
    EXPECT_EQ(ServerStructures(server, true), AfterSingleBatch(true));
  }
  json States(const std::string& report) const {
    json states;
    const json whole = json::parse(ReadFile(report));
    for (const json& location : whole["locations"]) {
      states[location["name"].get<std::string>()] = location["state"];
    }
    return states;
  }

  TempDir dir;
  DemoSite norte, este, sur;
  const std::string server;
};

TEST_F(Fleet, TwoFileLocationsAndAServerTwoAtATimeEndAsSingleBatches) {
  const std::string report = dir.File("report.json");
  const json catalogues = FileStructures(norte.Drive() / "Zarade", true);
  const ProgramRun run =
      Run({WriteFleet(ThreeLocations()), "--jobs", "2", "--no-backup", "--json", report});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(States(report), (json{{"norte", "done"}, {"este", "done"}, {"sur", "done"}}));
  EXPECT_NE(run.out.find("3 locations, 3 done"), std::string::npos) << run.out;
  ExpectAsSingleBatches();
  // The fleet's catalogues were its own: the demo's are as it was laid out.
  EXPECT_EQ(FileStructures(norte.Drive() / "Zarade", true), catalogues);

  // Up to date now: check answers 0, and the plan shows nothing to do.
  const std::string fleet = dir.File("fleet.json");
  EXPECT_EQ(Run({fleet, "--check"}).status, 0);
  EXPECT_EQ(Run({fleet, "--plan"}).status, 0);
}

TEST_F(Fleet, CheckAndPlanOverAFleetChangeNothingAndCheckSaysBehind) {
  const std::string fleet = WriteFleet(ThreeLocations());
  const json before = FileStructures(norte.Data(), true);
  const ProgramRun check = Run({fleet, "--check", "--jobs", "2"});
  EXPECT_EQ(check.status, 2) << check.out;
  EXPECT_NE(check.out.find("3 behind"), std::string::npos) << check.out;
  const ProgramRun plan = Run({fleet, "--plan"});
  EXPECT_EQ(plan.status, 0) << plan.out;
  EXPECT_NE(plan.out.find("== sur ==\nPlan for postgresql://"), std::string::npos) << plan.out;
  EXPECT_EQ(FileStructures(norte.Data(), true), before);
}

// Killed, two locations at a time, once the first location is done (este
// waits for a lock the test holds; sur, on the server, may be anywhere),
// then resumed: the resumed run does the rest, reports the whole fleet, and
// every database ends as a single batch leaves it.
TEST_F(Fleet, AKilledFleetRunResumesWhereItStopped) {
  const std::string fleet = WriteFleet(ThreeLocations());
  const std::string state = fleet + ".state";
  {
    const platform::RunLock held(este.Data().string(), platform::LockMode::kExclusive,
                                 std::chrono::milliseconds(0), "the test");
    ChildProcess child(
        {ACTUALIZ_CLI, "fleet", fleet, "--jobs", "2", "--no-backup", "--wait", "60"});
    auto norte_done = [&] {
      return fs::exists(state) && ReadFile(state).find("norte") != std::string::npos;
    };
    for (int i = 0; i < 600 && !norte_done(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(norte_done()) << child.Output();
    child.Signal(SIGKILL);
    EXPECT_EQ(child.Wait(), -SIGKILL);
  }
  const std::string lines = ReadFile(state);  // one whole line a finished location
  const auto finished = std::count(lines.begin(), lines.end(), '\n');
  EXPECT_TRUE(finished == 1 || finished == 2) << ReadFile(state);
  const std::string report = dir.File("report.json");
  const ProgramRun resumed = Run({fleet, "--resume", "--no-backup", "--json", report});
  ASSERT_EQ(resumed.status, 0) << resumed.out;
  EXPECT_NE(resumed.out.find("norte: done (earlier run)"), std::string::npos) << resumed.out;
  EXPECT_EQ(States(report), (json{{"norte", "done"}, {"este", "done"}, {"sur", "done"}}));
  ExpectAsSingleBatches();
}

// A fleet file at fault is refused before anything runs, naming the
// location; a location that cannot be reached fails alone.
TEST_F(Fleet, FaultsAreNamedAndAnUnreachableLocationFailsAlone) {
  const json good = DemoLocation("norte", norte, "c:\\datos");
  json unknown_key = good;
  unknown_key["drives"] = json::object();
  const json unreachable =
      DemoLocation("lejos", norte, "postgresql://actualiz@/site?host=" + dir.File("no-server"));
  const struct {
    const char* fault;
    json locations;
    int status;
    std::string says;
    bool norte_done;
  } cases[] = {
      {"unknown key", {unknown_key}, 1, "location 'norte': unknown key 'drives'", false},
      {"duplicate name",
       {good, DemoLocation("norte", este, "c:\\datos")},
       1,
       "location 'norte' is named twice",
       false},
      {"same location twice",
       {good, DemoLocation("otra", norte, norte.Data().string())},
       1,
       "location 'otra' is location 'norte' again",
       false},
      {"unreachable", {good, unreachable}, 1, "lejos: failed", true},
  };
  // A fleet file that is not there is named.
  const ProgramRun missing = Run({dir.File("no-fleet.json"), "--no-backup"});
  EXPECT_EQ(missing.status, 1) << missing.out;
  EXPECT_NE(missing.out.find("Could not find file '" + dir.File("no-fleet.json") + "'"),
            std::string::npos)
      << missing.out;
  const json pristine = FileStructures(norte.Data(), true);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    const ProgramRun run = Run({WriteFleet(c.locations), "--no-backup"});
    EXPECT_EQ(run.status, c.status) << run.out;
    EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;
    if (c.norte_done) {
      EXPECT_NE(run.out.find("norte: done"), std::string::npos) << run.out;
      EXPECT_EQ(FileStructures(norte.Data(), true), AfterSingleBatch(false));
    } else {
      EXPECT_EQ(FileStructures(norte.Data(), true), pristine);
    }
  }
}

}  // namespace
}  // namespace actualiz::testing
