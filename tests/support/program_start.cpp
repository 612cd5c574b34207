#include "tests/support/program_start.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

extern char** environ;

namespace actualiz::testing {
namespace {

std::string NameOf(const std::string& entry) { return entry.substr(0, entry.find('=')); }

// The test's environment with the changes of `setting`: the variables it
// unsets left out, the ones it sets in place of their old values.
Words Environment(const ProgramSetting& setting) {
  auto replaced = [&](const std::string& name) {
    for (const std::string& unset : setting.unset) {
      if (unset == name) return true;
    }
    for (const std::string& set : setting.set) {
      if (NameOf(set) == name) return true;
    }
    return false;
  };
  Words environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!replaced(NameOf(*entry))) environment.emplace_back(*entry);
  }
  environment.insert(environment.end(), setting.set.begin(), setting.set.end());
  return environment;
}

// The null-ended list of C strings exec takes; `words` must outlive it.
std::vector<char*> Pointers(const Words& words) {
  std::vector<char*> pointers;
  for (const std::string& word : words) pointers.push_back(const_cast<char*>(word.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// A descriptor to read `text` from: a pipe that already holds all of it
// (so nothing waits on the program to read), or /dev/null for no text.
int InputOf(const std::string& text) {
  if (text.empty()) {
    const int null_in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null_in < 0) throw std::runtime_error("cannot open /dev/null");
    return null_in;
  }
  if (text.size() > 65536) throw std::invalid_argument("standard input over a pipe's 64 KiB");
  int fds[2];
  MakePipe(fds);
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = write(fds[1], text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("cannot write standard input");
    done += static_cast<size_t>(n);
  }
  close(fds[1]);
  return fds[0];
}

}  // namespace

void MakePipe(int fds[2]) {
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
}

int ExitStatus(int wait_status) {
  return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -WTERMSIG(wait_status);
}

pid_t StartProgram(const Words& argv, const ProgramSetting& setting, int out_fd, int err_fd) {
  const Words environment = Environment(setting);
  std::vector<char*> args = Pointers(argv);
  std::vector<char*> envp = Pointers(environment);
  const int in_fd = InputOf(setting.input);
  const pid_t pid = fork();
  if (pid < 0) {
    close(in_fd);
    throw std::runtime_error("fork failed");
  }
  if (pid == 0) {
    dup2(in_fd, STDIN_FILENO);
    dup2(out_fd, STDOUT_FILENO);
    dup2(err_fd, STDERR_FILENO);
    if (!setting.directory.empty() && chdir(setting.directory.c_str()) != 0) _exit(126);
    if (setting.file_size_limit > 0) {
      const rlimit limit{setting.file_size_limit, setting.file_size_limit};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
      signal(SIGXFSZ, SIG_IGN);
    }
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  close(in_fd);
  return pid;
}

}  // namespace actualiz::testing
