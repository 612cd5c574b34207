// The lock a run takes before it writes the catalogues or a data directory,
// so that two runs (two batches, a batch and the window) never interleave.
//
// A run lock is an advisory lock (flock) on a hidden file, ".actualiz.lock",
// in the directory it guards. The kernel releases it when its holder closes
// it or dies, so a killed run never leaves a directory locked. The holder of
// the exclusive lock writes its program, process id and start time into the
// file, so that a run refused after its wait can say who is in the way; the
// holder empties the file again when it lets go.
//
// Shared locks are for runs that only read (the plan copying the
// catalogues): any number of them at once, none while an exclusive lock is
// held, and an exclusive lock waits for every one of them.
#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace actualiz::platform {

// The name of the lock file in each guarded directory.
inline constexpr const char* kRunLockFileName = ".actualiz.lock";

// How long a run waits for another's lock by default.
inline constexpr std::chrono::milliseconds kDefaultRunLockWait{5000};

enum class LockMode { kShared, kExclusive };

// Who holds an exclusive run lock, as the holder wrote it.
struct LockHolder {
  std::string program;  // "actualiz-cli batch"
  long pid = 0;
  std::string started;  // the holder process's start, "2026-12-07 18:55:17 UTC"
  // "actualiz-cli batch (process 4242, started 2026-12-07 18:55:17 UTC)"
  std::string Describe() const;
};

class RunLock {
 public:
  // Locks the directory `directory` (a host path, which must exist) in
  // `mode` for `program`, trying again every few milliseconds for up to
  // `wait`. `stop`, when given, ends the wait early once it is non-zero (a
  // signal asked the run to stop).
  // Error 3260 "Couldn't update; currently locked" naming the holder (when
  // known) and the directory when the wait ends first; 70 "Permission denied"
  // naming the lock file when it cannot be opened or created.
  RunLock(const std::string& directory, LockMode mode, std::chrono::milliseconds wait,
          std::string_view program, const std::atomic<int>* stop = nullptr);
  // Lets go: an exclusive holder empties the file first.
  ~RunLock();
  RunLock(RunLock&& other) noexcept;
  RunLock& operator=(RunLock&&) = delete;
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // The host path of the lock file.
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  LockMode mode_;
  std::string path_;
};

// The holder written in the lock file at `path`; nullopt when the file is
// missing, empty or unreadable, or its process no longer runs (a holder
// that was killed never empties it).
std::optional<LockHolder> ReadLockHolder(const std::string& path);

// When this process started, "YYYY-MM-DD HH:MM:SS UTC".
std::string ProcessStartTime();

}  // namespace actualiz::platform
