// The environment both front ends build from their shared options.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "app/environment_options.h"
#include "platform/file_system.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_fixture.h"

namespace actualiz::testing {
namespace {

// A relative host path for the program directory is taken from the working
// directory, in the window as on the command line; the window used to read
// it as a path on c:, away from the models the operator named.
TEST(EnvironmentOptions, ProgramDirectoryAsTheOperatorGaveIt) {
  TempDir drive_c;
  RecordingOperator op;
  const struct {
    std::string given;
    std::string expected;
  } cases[] = {
      {"", platform::ExecutableDirectory()},
      {"c:\\prog", "c:\\prog"},
      {"\\prog", "\\prog"},
      {"/srv/prog", "/srv/prog"},
      {"prog", (std::filesystem::current_path() / "prog").string()},
  };
  for (const auto& c : cases) {
    const app::Environment env = app::MakeEnvironment(
        {.drives = {"c=" + drive_c.path().string()}, .program_dir = c.given}, op);
    EXPECT_EQ(env.program_dir, c.expected) << c.given;
    EXPECT_EQ(env.op, &op);
    EXPECT_TRUE(env.log_file.empty());
  }
}

}  // namespace
}  // namespace actualiz::testing
