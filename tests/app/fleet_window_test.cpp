// The fleet window's model over demo sites: its run goes on a worker
// thread, shows each location's end, and records the locations done where
// the command line's fleet run looks for them.
#include <map>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/fleet_state.h"
#include "app/fleet_window.h"
#include "tests/support/demo_fleet.h"

namespace actualiz::testing {
namespace {

using nlohmann::json;

std::map<std::string, std::string> States(const app::FleetWindow& model) {
  std::map<std::string, std::string> states;
  for (const app::LocationOutcome& row : model.Snapshot().rows) states[row.name] = row.state;
  return states;
}

std::map<std::string, std::string> Recorded(const std::string& fleet) {
  std::map<std::string, std::string> states;
  for (const app::LocationOutcome& outcome : app::ReadFleetState(app::FleetStatePath(fleet))) {
    states[outcome.name] = outcome.state;
  }
  return states;
}

app::FleetWindowOptions Options(const std::string& fleet) {
  return {.file = fleet, .jobs = 2, .back_up = false};
}

class FleetWindowModel : public ::testing::Test {
 protected:
  TempDir dir;
  DemoSite norte, este;
};

// Both locations end done and are recorded; a window opened later shows
// them done by an earlier run, runs none of them again, and the command
// line's resumed run agrees.
TEST_F(FleetWindowModel, LocationsDoneAreRecordedAndAResumedRunPassesThemOver) {
  const std::string fleet = WriteFleetFile(
      dir, {DemoLocation("norte", norte, "c:\\datos"), DemoLocation("este", este, "c:\\datos")});
  const std::map<std::string, std::string> done = {{"norte", "done"}, {"este", "done"}};
  {
    app::FleetWindow model(Options(fleet));
    ASSERT_TRUE(model.Start(app::FleetWork::kBatch));
    model.Wait();
    EXPECT_EQ(States(model), done) << model.Snapshot().notice;
    EXPECT_EQ(model.Snapshot().progress.done, 2u);
  }
  EXPECT_EQ(Recorded(fleet), done);

  app::FleetWindow reopened(Options(fleet));
  ASSERT_TRUE(reopened.Start(app::FleetWork::kBatch));
  reopened.Wait();
  for (const app::LocationOutcome& row : reopened.Snapshot().rows) {
    EXPECT_EQ(row.state, "done") << row.name;
    EXPECT_TRUE(row.earlier) << row.name;
  }
  const ProgramRun cli = norte.Cli({"fleet", fleet, "--resume", "--no-backup"});
  EXPECT_EQ(cli.status, 0) << cli.out;
  EXPECT_NE(cli.out.find("este: done (earlier run)"), std::string::npos) << cli.out;
}

// A location that cannot run fails with its reason, is not recorded, and
// leaves the other to end done.
TEST_F(FleetWindowModel, AFailingLocationShowsItsReasonAndTheOtherEndsDone) {
  const std::string fleet = WriteFleetFile(dir, {DemoLocation("norte", norte, "c:\\datos"),
                                                 DemoLocation("vacio", este, "c:\\no-existe")});
  app::FleetWindow model(Options(fleet));
  ASSERT_TRUE(model.Start(app::FleetWork::kBatch));
  model.Wait();
  const app::FleetWindowSnapshot snapshot = model.Snapshot();
  EXPECT_EQ(States(model),
            (std::map<std::string, std::string>{{"norte", "done"}, {"vacio", "failed"}}));
  EXPECT_NE(snapshot.rows[1].reason.find("c:\\no-existe"), std::string::npos)
      << snapshot.rows[1].reason;
  // The message box's lines, on one line of the table and the report.
  EXPECT_EQ(snapshot.rows[1].reason.find('\n'), std::string::npos) << snapshot.rows[1].reason;
  EXPECT_EQ(snapshot.progress.failed, 1u);
  EXPECT_EQ(Recorded(fleet), (std::map<std::string, std::string>{{"norte", "done"}}));
}

}  // namespace
}  // namespace actualiz::testing
