// The real `actualiz` program, started as a user starts it.
#include <gtest/gtest.h>
#include <QImage>
#include <cstdlib>
#include <filesystem>

#include "tests/support/temp_dir.h"
#include "tests/support/window_fixture.h"

namespace actualiz::testing {
namespace {

struct Outcome {
  int status = -1;
  std::string output;  // standard output and error together
};

// Runs the program on the offscreen platform with its own home, so that the
// per-user data directory and log file land in `home`.
Outcome RunWindow(const std::string& arguments, const std::filesystem::path& home) {
  const std::filesystem::path out = home / "output.txt";
  const std::string command = "env QT_QPA_PLATFORM=offscreen XDG_DATA_HOME='" + home.string() +
                              "' '" + ACTUALIZ_WINDOW + "' " + arguments + " > '" + out.string() +
                              "' 2>&1";
  Outcome run;
  const int raw = std::system(command.c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.output = ReadFile(out);
  return run;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

TEST(Program, OpensOnTheMappedDriveAndSavesAPictureOfTheWindow) {
  TestSite site;
  site.Database("c:\\prog\\modelos\\clientes.mdb");
  TempDir home;
  const std::string picture = home.File("window.png");
  const Outcome run =
      RunWindow("--drive " + Quoted("c=" + site.Host("c:\\")) + " --program-dir " +
                    Quoted(site.Host("c:\\prog")) + " --screenshot " + Quoted(picture),
                home.path());
  ASSERT_EQ(run.status, 0) << run.output;
  const QImage image(QString::fromStdString(picture));
  ASSERT_FALSE(image.isNull());
  // Enlarged to reach every control: well past the 283 by 149 of its design size.
  EXPECT_GT(image.width(), 900);
  EXPECT_GT(image.height(), 500);
}

TEST(Program, MapsDriveCToThePerUserDataDirectoryByDefault) {
  TempDir home;
  const Outcome run = RunWindow("--screenshot " + Quoted(home.File("w.png")), home.path());
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(std::filesystem::is_directory(home.path() / "actualiz" / "c"));
  // Start-up found no default data directory there and said so in the log.
  EXPECT_NE(ReadFile(home.path() / "actualiz" / "actualiz.log").find("Form_Activate"),
            std::string::npos);
}

TEST(Program, RefusesMalformedOrMissingDrives) {
  TempDir home;
  const std::vector<std::string> refused = {"--drive cc", "--drive '=/tmp'",
                                            "--drive 'e=" + home.File("nowhere") + "'"};
  for (const std::string& bad : refused) {
    const Outcome run = RunWindow(bad, home.path());
    EXPECT_NE(run.status, 0) << bad;
    EXPECT_NE(run.output.find("actualiz:"), std::string::npos) << run.output;
  }
}

}  // namespace
}  // namespace actualiz::testing
