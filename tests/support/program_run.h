// A program run to its end as a user runs it, with standard output and
// standard error kept apart, for tests of what goes to which stream.
#pragma once

#include <string>
#include <vector>

namespace actualiz::testing {

struct ProgramRun {
  int status = -1;  // the exit status, or -N when signal N ended it
  std::string out;  // standard output
  std::string err;  // standard error (a terminal's line ends read "\r\n")
};

struct ProgramSetting {
  // Standard error on a terminal (a pseudo-terminal) rather than a pipe.
  bool error_on_terminal = false;
  // Environment variables taken away from the program's environment.
  std::vector<std::string> unset;
};

// Runs `argv` (argv[0] a path) with standard input from /dev/null and waits
// for its end.
ProgramRun RunProgram(const std::vector<std::string>& argv, const ProgramSetting& setting = {});

// Runs the real actualiz-cli with `arguments`.
ProgramRun RunCli(const std::vector<std::string>& arguments, const ProgramSetting& setting = {});

}  // namespace actualiz::testing
