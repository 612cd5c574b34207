#include "tests/support/program_run.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "tests/support/program_start.h"

namespace actualiz::testing {

Words Joined(Words a, const Words& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

ProgramRun RunProgram(const Words& argv, const ProgramSetting& setting) {
  int out_fds[2];
  int err_fds[2] = {-1, -1};  // [0] read here, [1] the program's standard error
  MakePipe(out_fds);
  if (setting.error_into_output) {
    err_fds[1] = out_fds[1];
  } else if (setting.error_on_terminal) {
    if (openpty(&err_fds[0], &err_fds[1], nullptr, nullptr, nullptr) != 0) {
      throw std::runtime_error("openpty failed");
    }
    fcntl(err_fds[0], F_SETFD, FD_CLOEXEC);
    fcntl(err_fds[1], F_SETFD, FD_CLOEXEC);
  } else {
    MakePipe(err_fds);
  }
  const pid_t pid = StartProgram(argv, setting, out_fds[1], err_fds[1]);
  close(out_fds[1]);
  if (err_fds[0] >= 0) close(err_fds[1]);
  ProgramRun run;
  // Both read as they come, so that neither fills while the other is waited
  // on; a stream of -1 (standard error gone with the output) is passed over.
  pollfd streams[2] = {{out_fds[0], POLLIN, 0}, {err_fds[0], POLLIN, 0}};
  std::string* into[2] = {&run.out, &run.err};
  int open_streams = err_fds[0] >= 0 ? 2 : 1;
  while (open_streams > 0) {
    if (poll(streams, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
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
  for (const pollfd& stream : streams) {
    if (stream.fd >= 0) close(stream.fd);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = ExitStatus(status);
  return run;
}

ProgramRun RunCli(const Words& arguments, const ProgramSetting& setting) {
  return RunProgram(Joined({ACTUALIZ_CLI}, arguments), setting);
}

}  // namespace actualiz::testing
