// The window program's --help and --version, which need no display.
#include <gtest/gtest.h>

#include "tests/support/program_run.h"

namespace actualiz::testing {
namespace {

TEST(ProgramOptions, HelpAndVersionPrintAndExitZeroWithoutADisplay) {
  const ProgramSetting no_display{.error_on_terminal = false,
                                  .unset = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}};
  const ProgramRun help = RunProgram({ACTUALIZ_WINDOW, "--help"}, no_display);
  EXPECT_EQ(help.status, 0) << help.err;
  EXPECT_NE(help.out.find("--drive"), std::string::npos) << help.out;
  const ProgramRun version = RunProgram({ACTUALIZ_WINDOW, "--version"}, no_display);
  EXPECT_EQ(version.status, 0) << version.err;
  EXPECT_EQ(version.out, "actualiz " ACTUALIZ_VERSION "\n");
}

}  // namespace
}  // namespace actualiz::testing
