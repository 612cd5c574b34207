// A program run in the background with its output on a pipe, for tests that
// must act while it runs (send it a signal, hold a lock it waits for).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

#include "tests/support/program_run.h"

namespace actualiz::testing {

class ChildProcess {
 public:
  // Starts `argv` (argv[0] a path) with standard output and error together
  // on a pipe, and its input, environment and working directory as `setting`
  // says (its choice of streams does not apply).
  explicit ChildProcess(const Words& argv, const ProgramSetting& setting = {});
  // Kills the program if it still runs, and reaps it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads output until it holds `text`; false when the program ended or
  // `timeout` passed first.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);
  void Signal(int signal);
  // Reads the rest of the output and waits for the end: the exit status, or
  // -N when signal N killed it.
  int Wait();
  const std::string& Output() const { return output_; }

 private:
  // Reads what is there within `timeout`; false at the end of the output.
  bool ReadSome(std::chrono::milliseconds timeout);

  pid_t pid_ = -1;
  int fd_ = -1;
  std::string output_;
};

}  // namespace actualiz::testing
