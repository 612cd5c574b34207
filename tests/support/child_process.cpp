#include "tests/support/child_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/program_start.h"

namespace actualiz::testing {

ChildProcess::ChildProcess(const Words& argv, const ProgramSetting& setting) {
  int pipe_fds[2];
  MakePipe(pipe_fds);
  pid_ = StartProgram(argv, setting, pipe_fds[1], pipe_fds[1]);
  close(pipe_fds[1]);
  fd_ = pipe_fds[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (fd_ >= 0) close(fd_);
}

bool ChildProcess::ReadSome(std::chrono::milliseconds timeout) {
  pollfd ready{fd_, POLLIN, 0};
  if (poll(&ready, 1, static_cast<int>(timeout.count())) <= 0) return true;
  char buffer[4096];
  const ssize_t n = read(fd_, buffer, sizeof buffer);
  if (n <= 0) return false;
  output_.append(buffer, static_cast<size_t>(n));
  return true;
}

bool ChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (output_.find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    if (!ReadSome(std::chrono::milliseconds(50))) return output_.find(text) != std::string::npos;
  }
  return true;
}

void ChildProcess::Signal(int signal) { kill(pid_, signal); }

int ChildProcess::Wait() {
  // A program that never ends fails the test rather than hanging it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
  while (ReadSome(std::chrono::milliseconds(1000))) {
    if (std::chrono::steady_clock::now() >= deadline) kill(pid_, SIGKILL);
  }
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return ExitStatus(status);
}

}  // namespace actualiz::testing
