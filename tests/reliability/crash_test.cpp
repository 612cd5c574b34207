// A short run of scripts/crash-test.sh: the batch killed at random moments,
// every database checked after each kill and after a rerun.
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "tests/reliability/demo_site.h"

namespace actualiz::testing {
namespace {

TEST(CrashTest, KilledBatchesLoseNothingAndARerunReachesTheModel) {
  const std::string command =
      ShellQuoted(std::string(ACTUALIZ_SOURCE_DIR) + "/scripts/crash-test.sh") + " 10 " +
      ShellQuoted(ACTUALIZ_CLI);
  const CliRun run = Shell(command);
  if (run.status == 2) GTEST_SKIP() << run.out;
  EXPECT_EQ(run.status, 0) << run.out;
}

}  // namespace
}  // namespace actualiz::testing
