// Run locks: flock(2) on "<directory>/.actualiz.lock".
//
// The file is opened (created when missing) for reading and writing and
// locked without blocking, again and again with short sleeps until the wait
// ends, so that a run never hangs on another and a stop request is seen at
// once. The holder line is "program\tpid\tstarted\n".
//
// The last holder removes the file as it lets go, so that a directory keeps
// no trace of the runs that locked it (a killed holder leaves it; the next
// one removes it). A run may therefore lock a file that has just been
// removed; it then finds the name no longer leads to what it locked, and
// opens the name again.
#include "platform/run_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "base/error.h"

namespace actualiz::platform {

namespace {

constexpr std::chrono::milliseconds kRetryEvery{25};

std::string FormatUtc(std::time_t when) {
  std::tm parts{};
  gmtime_r(&when, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
  return text;
}

// The boot time of the machine in seconds since the epoch; 0 when unknown.
long long BootTime() {
  std::ifstream stat("/proc/stat");
  std::string key;
  long long value = 0;
  while (stat >> key) {
    if (key == "btime" && stat >> value) return value;
    stat.ignore(1 << 20, '\n');
  }
  return 0;
}

// The process's start in clock ticks after boot; -1 when unknown.
long long StartTicks() {
  std::ifstream stat("/proc/self/stat");
  std::string line;
  if (!std::getline(stat, line)) return -1;
  // The command name in parentheses may hold spaces: count from its end.
  const size_t close = line.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(line.substr(close + 1));
  std::string field;
  // Fields after the name start at the third; the start time is the 22nd.
  for (int number = 3; fields >> field; ++number) {
    if (number == 22) return std::atoll(field.c_str());
  }
  return -1;
}

// Whether `fd` is still the file named `path` (not one removed since).
bool StillNamed(int fd, const std::string& path) {
  struct stat opened {};
  struct stat named {};
  return fstat(fd, &opened) == 0 && stat(path.c_str(), &named) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

bool ProcessRuns(long pid) {
  return pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[512];
  for (off_t at = 0;;) {
    const ssize_t n = pread(fd, buffer, sizeof buffer, at);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
    at += n;
    if (text.size() > 4096) break;  // a holder line is short; anything longer is not ours
  }
  return text;
}

std::optional<LockHolder> ParseHolder(const std::string& text) {
  std::istringstream in(text);
  LockHolder holder;
  std::string pid;
  if (!std::getline(in, holder.program, '\t') || !std::getline(in, pid, '\t') ||
      !std::getline(in, holder.started, '\n')) {
    return std::nullopt;
  }
  holder.pid = std::atol(pid.c_str());
  if (holder.program.empty() || !ProcessRuns(holder.pid)) return std::nullopt;
  return holder;
}

void WriteHolder(int fd, std::string_view program) {
  std::string line(program);
  line += "\t" + std::to_string(getpid()) + "\t" + ProcessStartTime() + "\n";
  // Who holds the lock is only told to runs that are refused: a failure to
  // write it leaves them without a name, never without the lock.
  if (ftruncate(fd, 0) == 0) {
    [[maybe_unused]] const ssize_t written = pwrite(fd, line.data(), line.size(), 0);
  }
}

}  // namespace

std::string LockHolder::Describe() const {
  return program + " (process " + std::to_string(pid) + ", started " + started + ")";
}

std::string ProcessStartTime() {
  static const std::string started = [] {
    const long long ticks = StartTicks();
    const long long boot = BootTime();
    const long per_second = sysconf(_SC_CLK_TCK);
    if (ticks < 0 || boot == 0 || per_second <= 0) return FormatUtc(std::time(nullptr));
    return FormatUtc(static_cast<std::time_t>(boot + ticks / per_second));
  }();
  return started;
}

std::optional<LockHolder> ReadLockHolder(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  const std::string text = ReadAll(fd);
  close(fd);
  return ParseHolder(text);
}

RunLock::RunLock(const std::string& directory, LockMode mode, std::chrono::milliseconds wait,
                 std::string_view program, const std::atomic<int>* stop)
    : mode_(mode), path_((std::filesystem::path(directory) / kRunLockFileName).string()) {
  const int operation = (mode == LockMode::kExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    // Another user's lock file may be read-only to us: a lock needs no more,
    // only the holder's name goes unwritten.
    if (fd_ < 0 && errno == EACCES) fd_ = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
      throw MakeError(err::kPermissionDenied, "lock file " + path_);
    }
    if (flock(fd_, operation) == 0) {
      if (StillNamed(fd_, path_)) break;
      close(fd_);  // its last holder removed it: lock the one the name leads to now
      continue;
    }
    const bool busy = errno == EWOULDBLOCK || errno == EINTR;
    const bool stopping = stop != nullptr && stop->load() != 0;
    if (!busy || stopping || std::chrono::steady_clock::now() >= deadline) {
      const std::optional<LockHolder> holder = busy ? ParseHolder(ReadAll(fd_)) : std::nullopt;
      close(fd_);
      fd_ = -1;
      if (!busy) throw MakeError(err::kPermissionDenied, "lock file " + path_);
      const std::string text = ErrorText(
          err::kLockedByOtherUser, {holder ? holder->Describe() : std::string("another run")});
      if (stopping) throw Error(err::kLockedByOtherUser, text, directory + "; stopped waiting");
      throw Error(err::kLockedByOtherUser, text, directory);
    }
    close(fd_);
    fd_ = -1;
    std::this_thread::sleep_for(kRetryEvery);
  }
  if (mode == LockMode::kExclusive) WriteHolder(fd_, program);
}

RunLock::RunLock(RunLock&& other) noexcept
    : fd_(other.fd_), mode_(other.mode_), path_(std::move(other.path_)) {
  other.fd_ = -1;
}

RunLock::~RunLock() {
  if (fd_ < 0) return;
  // Only a sole holder removes the file: a shared holder first makes sure
  // no other is left (the conversion may let a waiting run in first; then
  // that run has it and the file stays).
  if (mode_ == LockMode::kExclusive || flock(fd_, LOCK_EX | LOCK_NB) == 0) {
    [[maybe_unused]] const int emptied = ftruncate(fd_, 0);
    unlink(path_.c_str());
  }
  close(fd_);
}

}  // namespace actualiz::platform
