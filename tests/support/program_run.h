// A program run to its end as a user runs it: the one way the tests start
// actualiz-cli, actualiz and the scripts, with the words of the command line
// as a list (no shell in between, so nothing needs quoting).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace actualiz::testing {

// The words of a command line.
using Words = std::vector<std::string>;

// `a` followed by `b`.
Words Joined(Words a, const Words& b);

struct ProgramRun {
  int status = -1;  // the exit status, or -N when signal N ended it
  std::string out;  // standard output (and standard error, when asked to go with it)
  std::string err;  // standard error (a terminal's line ends read "\r\n")
};

// How a program is run. Set it up in a chain from the default, which gives
// standard output and error on pipes of their own, standard input from
// /dev/null and the test's environment and working directory:
//   ProgramSetting().Together().In(directory)
struct ProgramSetting {
  // Standard error on a terminal (a pseudo-terminal) rather than a pipe.
  ProgramSetting& ErrorOnTerminal(bool on_terminal = true) {
    error_on_terminal = on_terminal;
    return *this;
  }
  // Standard error on standard output's pipe, the two in the order written
  // as one screen shows them: all of it in `out`, `err` empty.
  ProgramSetting& Together() {
    error_into_output = true;
    return *this;
  }
  // Environment variables taken away from the program's environment.
  ProgramSetting& Unset(std::vector<std::string> names) {
    unset = std::move(names);
    return *this;
  }
  // An environment variable set for the program, as "NAME=VALUE".
  ProgramSetting& Set(std::string name_value) {
    set.push_back(std::move(name_value));
    return *this;
  }
  // What the program reads on standard input (up to 64 KiB).
  ProgramSetting& Input(std::string text) {
    input = std::move(text);
    return *this;
  }
  // The working directory.
  ProgramSetting& In(std::string directory_path) {
    directory = std::move(directory_path);
    return *this;
  }
  // The largest file the program may write, in bytes; 0 for no limit.
  // SIGXFSZ is ignored, so that a write past it fails with EFBIG as on a
  // full disk.
  ProgramSetting& FileSizeLimit(std::uint64_t bytes) {
    file_size_limit = bytes;
    return *this;
  }

  bool error_on_terminal = false;
  bool error_into_output = false;
  std::vector<std::string> unset;
  std::vector<std::string> set;
  std::string input;      // "" reads /dev/null
  std::string directory;  // "" for the test's own
  std::uint64_t file_size_limit = 0;
};

// Runs `argv` (argv[0] a path) and waits for its end.
ProgramRun RunProgram(const Words& argv, const ProgramSetting& setting = {});

// Runs the real actualiz-cli with `arguments`.
ProgramRun RunCli(const Words& arguments, const ProgramSetting& setting = {});

}  // namespace actualiz::testing
