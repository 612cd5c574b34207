// The window model's environment as both front ends build it from the
// options they share: "--drive LETTER=DIR" (repeatable), "--program-dir DIR"
// and "--wait SECONDS".
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "app/actualiz.h"
#include "platform/operator.h"

namespace actualiz::app {

struct EnvironmentOptions {
  std::vector<std::string> drives{};  // "LETTER=DIR" each; c: mapped by default when none names it
  // The program directory, whose "modelos" folder holds the models: a
  // Windows path stays as written, a host path is taken from the working
  // directory; "" for the executable's own directory.
  std::string program_dir{};
  double wait_seconds = 5;  // how long a run that writes waits for another run's lock
  // Whether the run log is also appended to "actualiz.log" in the per-user
  // data directory (the window keeps one; the command line does not).
  bool log_file = false;
  // Set non-zero by the front end when the operator asks the run to stop;
  // null when nothing can ask.
  const std::atomic<int>* stop = nullptr;
};

// The environment for `options`, with `op` (which must outlive every window
// built from it) showing the messages. Error 3001 for a drive option that is
// not LETTER=DIR or a letter given twice; the drive map's own error for a
// directory that does not exist.
Environment MakeEnvironment(const EnvironmentOptions& options, platform::Operator& op);

}  // namespace actualiz::app
