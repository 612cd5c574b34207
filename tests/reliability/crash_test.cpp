// Short runs of scripts/crash-test.sh and crash-test-commands.sh: the batch
// and the other writing commands killed at random moments, every database
// checked after each kill and after a rerun.
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

// The same for import, import --all, migrate, init and restore, a few kills
// each: nothing half-made is trusted, every rerun ends as an uninterrupted run.
TEST(CrashTest, KilledCommandsLeaveNothingHalfMadeAndARerunFinishes) {
  const std::string command =
      ShellQuoted(std::string(ACTUALIZ_SOURCE_DIR) + "/scripts/crash-test-commands.sh") + " 4 " +
      ShellQuoted(ACTUALIZ_CLI);
  const CliRun run = Shell(command);
  if (run.status == 2) GTEST_SKIP() << run.out;
  EXPECT_EQ(run.status, 0) << run.out;
}

}  // namespace
}  // namespace actualiz::testing
