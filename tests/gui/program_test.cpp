// The real `actualiz` program, started as a user starts it.
#include <gtest/gtest.h>
#include <QImage>
#include <filesystem>

#include "tests/support/demo_fleet.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_fixture.h"

namespace actualiz::testing {
namespace {

// Runs the program on the offscreen platform with its own home, so that the
// per-user data directory and log file land in `home`; standard error in
// with the output.
ProgramRun RunWindow(const Words& arguments, const std::filesystem::path& home) {
  return RunProgram(Joined({ACTUALIZ_WINDOW}, arguments),
                    ProgramSetting()
                        .Together()
                        .Set("QT_QPA_PLATFORM=offscreen")
                        .Set("XDG_DATA_HOME=" + home.string()));
}

TEST(Program, OpensOnTheMappedDriveAndSavesAPictureOfTheWindow) {
  TestSite site;
  site.Database("c:\\prog\\modelos\\clientes.mdb");
  TempDir home;
  const std::string picture = home.File("window.png");
  const ProgramRun run = RunWindow({"--drive", "c=" + site.Host("c:\\"), "--program-dir",
                                    site.Host("c:\\prog"), "--screenshot", picture},
                                   home.path());
  ASSERT_EQ(run.status, 0) << run.out;
  const QImage image(QString::fromStdString(picture));
  ASSERT_FALSE(image.isNull());
  // Enlarged to reach every control: well past the 283 by 149 of its design size.
  EXPECT_GT(image.width(), 900);
  EXPECT_GT(image.height(), 500);
}

TEST(Program, MapsDriveCToThePerUserDataDirectoryByDefault) {
  TempDir home;
  const ProgramRun run = RunWindow({"--screenshot", home.File("w.png")}, home.path());
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(std::filesystem::is_directory(home.path() / "actualiz" / "c"));
  // Start-up found no default data directory there and said so in the log.
  EXPECT_NE(ReadFile(home.path() / "actualiz" / "actualiz.log").find("Form_Activate"),
            std::string::npos);
}

TEST(Program, RefusesMalformedOrMissingDrives) {
  TempDir home;
  const std::vector<Words> refused = {
      {"--drive", "cc"}, {"--drive", "=/tmp"}, {"--drive", "e=" + home.File("nowhere")}};
  for (const Words& bad : refused) {
    const ProgramRun run = RunWindow(bad, home.path());
    EXPECT_NE(run.status, 0) << ::testing::PrintToString(bad);
    EXPECT_NE(run.out.find("actualiz:"), std::string::npos) << run.out;
  }
}

// The fleet window: --run runs the batch before the picture is taken, and
// a fleet file that cannot be read is said and ends with status 1, the
// picture (the window saying so) taken all the same.
TEST(Program, ShowsTheFleetWindowAndSaysWhyAFleetFileCannotBeRead) {
  const DemoSite site;
  TempDir home;
  const std::string good =
      WriteFleetFile(home, nlohmann::json::array({DemoLocation("norte", site, "c:\\datos")}));
  const std::string bad = home.File("bad.json");
  WriteFile(bad, R"({"locations": [{"data": "c:\\datos", "drives": {}}]})");
  const struct {
    std::string fleet;
    Words more;
    int status;
    const char* says;
  } cases[] = {
      {good, {"--run", "--no-backup"}, 0, ""},
      {bad, {}, 1, "unknown key 'drives'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fleet);
    const std::string picture = home.File("fleet.png");
    std::filesystem::remove(picture);
    const ProgramRun run =
        RunWindow(Joined({"--fleet", c.fleet, "--screenshot", picture}, c.more), home.path());
    EXPECT_EQ(run.status, c.status) << run.out;
    EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;
    EXPECT_FALSE(QImage(QString::fromStdString(picture)).isNull());
  }
  EXPECT_NE(ReadFile(good + ".state").find("\"done\""), std::string::npos);
}

}  // namespace
}  // namespace actualiz::testing
