// The fleet's state file: what a run records as each location ends, and
// what a resumed run reads back after a kill.
#include "app/fleet_state.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/error_number.h"
#include "tests/support/temp_dir.h"

namespace actualiz::testing {
namespace {

app::LocationOutcome Done(const std::string& name) {
  app::LocationOutcome outcome;
  outcome.name = name;
  outcome.data = "/srv/" + name;
  outcome.state = "done";
  return outcome;
}

std::vector<std::string> Names(const std::vector<app::LocationOutcome>& outcomes) {
  std::vector<std::string> names;
  for (const app::LocationOutcome& outcome : outcomes) names.push_back(outcome.name);
  return names;
}

// Each location is appended as it ends, with its totals; only "done" is
// recorded, and a restart without resume starts the file afresh.
TEST(FleetState, RecordsEachDoneLocationAsItEnds) {
  const TempDir dir;
  const std::string state = dir.File("fleet.json.state");
  app::WriteFleetState(state, {});
  app::LocationOutcome norte = Done("norte");
  app::ReportTotals totals;
  totals.pairs = 4;
  norte.totals = app::FleetTotals(totals);
  app::RecordFinished(state, norte);
  app::LocationOutcome sur = Done("sur");
  sur.state = "failed";
  app::RecordFinished(state, sur);
  app::RecordFinished(state, Done("este"));

  const std::vector<app::LocationOutcome> read = app::ReadFleetState(state);
  EXPECT_EQ(Names(read), (std::vector<std::string>{"norte", "este"}));
  EXPECT_EQ(read[0].totals.Count("pairs"), 4);
  EXPECT_FALSE(read[1].totals.Present());
  app::WriteFleetState(state, {});
  EXPECT_TRUE(app::ReadFleetState(state).empty());
}

// A kill leaves a last line cut short: that location runs again. A line
// damaged before the last is not passed over: the error names the file and
// the line. A file of the earlier shape (one JSON object) still reads.
TEST(FleetState, ReadsWhatAKillOrAnEarlierVersionLeft) {
  const TempDir dir;
  const std::string state = dir.File("fleet.json.state");
  const std::string norte = Done("norte").Json().dump();
  const struct {
    std::string text;
    std::vector<std::string> names;  // empty with `fails`
    bool fails = false;
  } cases[] = {
      {norte + "\n" + norte.substr(0, 20), {"norte"}},
      {norte + "\n{\"name\": \"sur\"\n" + norte + "\n", {}, true},
      {"{\"finished\": [" + norte + "]}\n", {"norte"}},
      {"", {}},
  };
  for (const auto& c : cases) {
    WriteFile(state, c.text);
    if (c.fails) {
      const Error e = RaisedError([&] { app::ReadFleetState(state); });
      EXPECT_NE(e.Text().find(state), std::string::npos) << e.Text();
      EXPECT_NE(e.Text().find("line 2"), std::string::npos) << e.Text();
    } else {
      EXPECT_EQ(Names(app::ReadFleetState(state)), c.names) << c.text;
    }
  }
}

}  // namespace
}  // namespace actualiz::testing
