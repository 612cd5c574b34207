#include "app/environment_options.h"

#include <chrono>
#include <filesystem>

#include "platform/drive_options.h"
#include "platform/file_system.h"

namespace actualiz::app {

Environment MakeEnvironment(const EnvironmentOptions& options, platform::Operator& op) {
  Environment env;
  env.drives = platform::DriveMapFromOptions(options.drives);
  // A program directory given as a host path is taken from the working
  // directory, as every path of a command line is; the window would read
  // a relative one as a path on c:.
  const std::string& dir = options.program_dir;
  const bool windows = platform::DriveMap::DriveOf(dir) || (!dir.empty() && dir.front() == '\\');
  env.program_dir = dir.empty() ? platform::ExecutableDirectory()
                    : windows   ? dir
                                : std::filesystem::absolute(dir).string();
  if (options.log_file) {
    env.log_file = (std::filesystem::path(platform::UserDataDirectory()) / "actualiz.log").string();
  }
  env.op = &op;
  env.lock_wait = std::chrono::milliseconds(static_cast<long long>(options.wait_seconds * 1000));
  env.stop = options.stop;
  return env;
}

}  // namespace actualiz::app
