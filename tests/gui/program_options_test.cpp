// The window program's --help and --version, which need no display.
#include <gtest/gtest.h>

#include "tests/support/program_run.h"

namespace actualiz::testing {
namespace {

// With no display for the program to open.
ProgramSetting NoDisplay() {
  return ProgramSetting().Unset({"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
}

TEST(ProgramOptions, HelpAndVersionPrintAndExitZeroWithoutADisplay) {
  const ProgramRun help = RunProgram({ACTUALIZ_WINDOW, "--help"}, NoDisplay());
  EXPECT_EQ(help.status, 0) << help.err;
  EXPECT_NE(help.out.find("--drive"), std::string::npos) << help.out;
  const ProgramRun version = RunProgram({ACTUALIZ_WINDOW, "--version"}, NoDisplay());
  EXPECT_EQ(version.status, 0) << version.err;
  EXPECT_EQ(version.out, "actualiz " ACTUALIZ_VERSION "\n");
}

// Usage errors end the window program before any window, with status 2 as
// actualiz-cli's do; a letter mapped twice would otherwise keep the last.
TEST(ProgramOptions, UsageErrorsExitTwoBeforeAnyWindow) {
  const std::string dir = ::testing::TempDir();
  const struct {
    std::vector<std::string> argv;
    std::string says;
  } cases[] = {
      {{ACTUALIZ_WINDOW, "-platform", "offscreen", "--no-such-option"}, "--no-such-option"},
      {{ACTUALIZ_WINDOW, "-platform", "offscreen", "--drive", "c=" + dir, "--drive", "C=" + dir},
       "Drive C: is given twice"},
  };
  for (const auto& c : cases) {
    const ProgramRun run = RunProgram(c.argv, NoDisplay());
    EXPECT_EQ(run.status, 2) << c.says << "\n" << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
  }
}

}  // namespace
}  // namespace actualiz::testing
