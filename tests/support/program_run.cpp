#include "tests/support/program_run.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace actualiz::testing {

ProgramRun RunProgram(const std::vector<std::string>& argv, const ProgramSetting& setting) {
  int out_fds[2];
  int err_fds[2];  // [0] read here, [1] the program's standard error
  if (pipe(out_fds) != 0) throw std::runtime_error("pipe failed");
  if (setting.error_on_terminal) {
    if (openpty(&err_fds[0], &err_fds[1], nullptr, nullptr, nullptr) != 0) {
      throw std::runtime_error("openpty failed");
    }
  } else if (pipe(err_fds) != 0) {
    throw std::runtime_error("pipe failed");
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int null_in = open("/dev/null", O_RDONLY);
    dup2(null_in, STDIN_FILENO);
    dup2(out_fds[1], STDOUT_FILENO);
    dup2(err_fds[1], STDERR_FILENO);
    close(out_fds[0]);
    close(err_fds[0]);
    for (const std::string& name : setting.unset) unsetenv(name.c_str());
    execv(args[0], args.data());
    _exit(127);
  }
  close(out_fds[1]);
  close(err_fds[1]);
  ProgramRun run;
  // Both read as they come, so that neither fills while the other is waited on.
  pollfd streams[2] = {{out_fds[0], POLLIN, 0}, {err_fds[0], POLLIN, 0}};
  std::string* into[2] = {&run.out, &run.err};
  int open_streams = 2;
  while (open_streams > 0) {
    if (poll(streams, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (streams[i].fd < 0 || streams[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(streams[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        into[i]->append(buffer, static_cast<size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      // The end of a pipe, or EIO once the program closed its terminal.
      close(streams[i].fd);
      streams[i].fd = -1;
      --open_streams;
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  return run;
}

ProgramRun RunCli(const std::vector<std::string>& arguments, const ProgramSetting& setting) {
  std::vector<std::string> argv{ACTUALIZ_CLI};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return RunProgram(argv, setting);
}

}  // namespace actualiz::testing
