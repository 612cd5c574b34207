// Starting a program for RunProgram and ChildProcess: the one place the
// tests fork and exec.
#pragma once

#include <sys/types.h>

#include "tests/support/program_run.h"

namespace actualiz::testing {

// Starts `argv` (argv[0] a path) with standard output on `out_fd` and
// standard error on `err_fd` (the same descriptor to have them together),
// its standard input, environment, working directory and file size limit as
// `setting` says. The caller keeps and closes its descriptors; the program
// gets none of the test's other open descriptors that were opened
// close-on-exec, as every pipe here is. Returns the program's process id.
pid_t StartProgram(const Words& argv, const ProgramSetting& setting, int out_fd, int err_fd);

// The status of a process waitpid reported: its exit status, or -N when
// signal N ended it.
int ExitStatus(int wait_status);

// A pipe whose two ends are closed on exec: [0] to read, [1] to write.
void MakePipe(int fds[2]);

}  // namespace actualiz::testing
