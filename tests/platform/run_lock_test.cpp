#include "platform/run_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <thread>

#include "base/error.h"
#include "tests/support/temp_dir.h"

namespace actualiz::platform {
namespace {

using std::chrono::milliseconds;
using testing::TempDir;

// The error of taking a second lock on `dir` while a first is held, or
// nullopt when the second is had.
std::optional<Error> SecondLock(const std::string& dir, LockMode first, LockMode second) {
  const RunLock held(dir, first, milliseconds(0), "actualiz-cli batch");
  try {
    const RunLock other(dir, second, milliseconds(60), "actualiz-cli check");
    return std::nullopt;
  } catch (const Error& e) {
    return e;
  }
}

TEST(RunLock, ExclusiveKeepsEveryOtherOutAndNamesItsHolder) {
  struct Case {
    LockMode first, second;
    bool refused;
  };
  const Case cases[] = {{LockMode::kExclusive, LockMode::kExclusive, true},
                        {LockMode::kExclusive, LockMode::kShared, true},
                        {LockMode::kShared, LockMode::kExclusive, true},
                        {LockMode::kShared, LockMode::kShared, false}};
  TempDir dir;
  const std::string holder = "actualiz-cli batch (process " + std::to_string(getpid()) +
                             ", started " + ProcessStartTime() + ")";
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.first) * 2 + static_cast<int>(c.second));
    const std::optional<Error> refusal = SecondLock(dir.path().string(), c.first, c.second);
    ASSERT_EQ(refusal.has_value(), c.refused);
    if (!refusal) continue;
    EXPECT_EQ(refusal->Number(), err::kLockedByOtherUser);
    EXPECT_EQ(refusal->Context(), dir.path().string());
    // A shared holder writes no name; an exclusive one is named in full.
    if (c.first == LockMode::kExclusive) {
      EXPECT_NE(refusal->Text().find(holder), std::string::npos) << refusal->Text();
    }
  }
  // Let go, the lock is had at once, and no stale name is left behind.
  EXPECT_NO_THROW(RunLock(dir.path().string(), LockMode::kExclusive, milliseconds(0), "x"));
  EXPECT_FALSE(ReadLockHolder(dir.File(kRunLockFileName)).has_value());
}

TEST(RunLock, WaitsForAHolderThatLetsGoInTimeAndStopsWaitingWhenAsked) {
  TempDir dir;
  const std::string path = dir.path().string();
  std::optional<RunLock> held(std::in_place, path, LockMode::kExclusive, milliseconds(0), "a");
  std::thread release([&] {
    std::this_thread::sleep_for(milliseconds(150));
    held.reset();
  });
  EXPECT_NO_THROW(RunLock(path, LockMode::kExclusive, milliseconds(5000), "b"));
  release.join();

  const RunLock again(path, LockMode::kExclusive, milliseconds(0), "a");
  std::atomic<int> stop{2};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(RunLock(path, LockMode::kExclusive, milliseconds(10000), "b", &stop), Error);
  EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(2000));
}

}  // namespace
}  // namespace actualiz::platform
