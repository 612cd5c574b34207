// actualiz-cli window: the window model started as the program does, steps
// carried out, the state read back as JSON.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/program_run.h"
#include "tests/support/window_fixture.h"

namespace actualiz::cli {
namespace {

using nlohmann::json;
using testing::TestSite;
using Items = std::vector<std::string>;

class WindowCommand : public ::testing::Test {
 protected:
  WindowCommand() {
    site.Touch("c:\\prog\\modelos\\clientes.mdb");
    site.Touch("c:\\prog\\modelos\\nueva.mdb");
    site.Touch("c:\\prog\\modelos\\Zolo.mdb");
    site.Touch("c:\\datos\\clientes.mdb");
    site.Touch("c:\\datos\\zolo.mdb");
  }

  // Runs "window" with `steps` and returns its JSON output.
  json Run(const std::vector<std::string>& steps, int* status = nullptr) {
    const testing::ProgramRun run = testing::RunCli(testing::Joined(
        {"--drive", "c=" + site.Host("c:\\"), "--program-dir", site.Host("c:\\prog"), "window"},
        steps));
    if (status) *status = run.status;
    EXPECT_EQ(run.status, 0) << run.err;
    return json::parse(run.out);
  }

  TestSite site;
};

TEST_F(WindowCommand, StartsAsTheProgramDoes) {
  const json state = Run({});
  const json& controls = state["controls"];
  EXPECT_EQ(controls["List7"]["items"], (Items{"clientes.mdb", "nueva.mdb", "Zolo.mdb"}));
  EXPECT_EQ(controls["Dir1"]["Path"], "c:\\archivos de programa\\vek 2000\\bases");
  EXPECT_EQ(controls["List6"]["items"], json::array());
  EXPECT_EQ(controls["Drive1"]["Drive"], "c:");
  EXPECT_EQ(controls["Command26"]["Caption"], "Transformar");
  EXPECT_EQ(controls["Data3"]["DatabaseName"], "C:\\Zarade\\indices.mdb");
  EXPECT_EQ(controls["Data3"]["EOF"], true);
  EXPECT_EQ(controls["Data3"]["RecordCount"], 0);
  EXPECT_EQ(controls["Data4"]["fields"]["nombrerel"], "");
  EXPECT_EQ(controls["Bar1"]["Max"], 100.0);
  EXPECT_EQ(state["MousePointer"], 0);
  EXPECT_EQ(state["ended"], false);
  EXPECT_EQ(state["messages"], json::array());
  EXPECT_EQ(state["runLog"]["failures"], json::array());
}

TEST_F(WindowCommand, BasesAnadirAfterChoosingTheDataDirectory) {
  const json state = Run({"set", "Dir1=c:\\DATOS", "Command15_Click"});
  const json& controls = state["controls"];
  EXPECT_EQ(controls["List6"]["items"], (Items{"clientes.mdb", "zolo.mdb"}));
  // Zolo.mdb has no target of exactly its name.
  EXPECT_EQ(controls["List8"]["items"], (Items{"nueva.mdb", "Zolo.mdb"}));
  EXPECT_EQ(controls["List7"]["ListIndex"], 2);
  EXPECT_EQ(controls["List6"]["ListIndex"], 1);
  EXPECT_EQ(controls["List6"]["Text"], "zolo.mdb");
  EXPECT_EQ(state["steps"].size(), 2u);
  EXPECT_EQ(state["steps"][0]["step"], "set Dir1=c:\\DATOS");
}

TEST_F(WindowCommand, FailingStepsAreReportedAndTheNextOnesRun) {
  const std::string steps_file = site.dir().File("steps.txt");
  testing::WriteFile(steps_file,
                     "set List1(3)=4\nset Text4=c:\\x y.mdb\n\nCommand99_Click\nset List11(2)=0\n");
  int status = 0;
  const json state = Run({"--steps", steps_file, "set Text3=modelo"}, &status);
  EXPECT_EQ(state["controls"]["Text4"]["Text"], "c:\\x y.mdb");
  EXPECT_EQ(state["controls"]["Text3"]["Text"], "modelo");
  ASSERT_EQ(state["messages"].size(), 3u);
  EXPECT_EQ(state["messages"][0]["look"], "critical");
  EXPECT_EQ(state["messages"][0]["text"].get<std::string>().rfind("Error 380:", 0), 0u);
  EXPECT_EQ(state["messages"][1]["text"].get<std::string>().rfind("Error 438:", 0), 0u);
  EXPECT_EQ(state["messages"][2]["text"].get<std::string>().rfind("Error 424:", 0), 0u);
  EXPECT_EQ(state["runLog"]["failures"].size(), 3u);
  EXPECT_EQ(state["runLog"]["failures"][0]["passedOver"], false);
  EXPECT_EQ(state["steps"][0]["ok"], true);  // the argument's step runs first
  EXPECT_EQ(state["steps"][1]["ok"], false);
}

TEST_F(WindowCommand, SalirEndsTheProgramAndTheRemainingStepsAreSkipped) {
  const json state = Run({"Command14_Click", "set Text2=no"});
  EXPECT_EQ(state["ended"], true);
  EXPECT_EQ(state["controls"]["Text2"]["Text"], "");
  EXPECT_EQ(state["steps"].size(), 1u);
  EXPECT_EQ(state["steps"][0]["ended"], true);
}

}  // namespace
}  // namespace actualiz::cli
