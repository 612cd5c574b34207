// Turns SIGINT and SIGTERM into a request to stop, for runs that must end at
// a safe point rather than at once.
//
// While a StopSignals object lives, the first SIGINT or SIGTERM only stores
// its number in Flag(); the run reads the flag at its safe points and winds
// up. The handlers are reset as they fire, so a second signal ends the
// process at once, as without them (the operator who presses Ctrl-C twice
// means it). The previous handlers come back when the object goes. One
// object at a time per process.
#pragma once

#include <atomic>
#include <csignal>

namespace actualiz::platform {

class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // 0 until a signal came; then SIGINT or SIGTERM.
  static const std::atomic<int>& Flag();
  // The exit status of a process that stopped for `signal`: 128 + its number.
  static int ExitStatus(int signal) { return 128 + signal; }

 private:
  struct sigaction previous_int_ {};
  struct sigaction previous_term_ {};
};

}  // namespace actualiz::platform
