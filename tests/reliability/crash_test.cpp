// Short runs of scripts/crash-test.sh and crash-test-commands.sh: the batch
// and the other writing commands killed at random moments, every database
// checked after each kill and after a rerun.
#include <string>

#include <gtest/gtest.h>

#include "tests/support/program_run.h"

namespace actualiz::testing {
namespace {

// Runs scripts/`script` on actualiz-cli, killing it `kills` times.
ProgramRun CrashTest(const std::string& script, const std::string& kills) {
  return RunProgram({std::string(ACTUALIZ_SOURCE_DIR) + "/scripts/" + script, kills, ACTUALIZ_CLI},
                    ProgramSetting().Together());
}

TEST(CrashTest, KilledBatchesLoseNothingAndARerunReachesTheModel) {
  const ProgramRun run = CrashTest("crash-test.sh", "10");
  if (run.status == 2) GTEST_SKIP() << run.out;
  EXPECT_EQ(run.status, 0) << run.out;
}

// The same for import, import --all, migrate, init and restore, a few kills
// each: nothing half-made is trusted, every rerun ends as an uninterrupted run.
TEST(CrashTest, KilledCommandsLeaveNothingHalfMadeAndARerunFinishes) {
  const ProgramRun run = CrashTest("crash-test-commands.sh", "4");
  if (run.status == 2) GTEST_SKIP() << run.out;
  EXPECT_EQ(run.status, 0) << run.out;
}

}  // namespace
}  // namespace actualiz::testing
