#include "app/run_locks.h"

#include <algorithm>
#include <filesystem>

#include "app/catalogues.h"
#include "base/server_address.h"

namespace actualiz::app {

namespace fs = std::filesystem;

std::string CatalogueHostDirectory(const platform::DriveMap& drives) {
  if (!drives.IsMapped('c')) return "";
  return fs::path(drives.ToHost(kIndexCatalogue)).parent_path().string();
}

RunLocks LockRun(const Environment& env, bool catalogues,
                 const std::vector<std::string>& host_directories, platform::LockMode mode,
                 std::string_view program) {
  std::vector<std::string> directories;
  if (catalogues) directories.push_back(CatalogueHostDirectory(env.drives));
  directories.insert(directories.end(), host_directories.begin(), host_directories.end());
  std::vector<fs::path> seen;
  std::vector<std::string> seen_locations;
  RunLocks locks;
  for (const std::string& directory : directories) {
    if (IsServerAddress(directory)) {
      // Two connections of one process would wait for each other too.
      const std::string location = ParseServerAddress(directory)->Location().Display();
      if (std::find(seen_locations.begin(), seen_locations.end(), location) !=
          seen_locations.end()) {
        continue;
      }
      seen_locations.push_back(location);
      locks.servers.emplace_back(location, mode == platform::LockMode::kExclusive, env.lock_wait,
                                 program, env.stop);
      continue;
    }
    std::error_code ec;
    if (directory.empty() || !fs::is_directory(directory, ec)) continue;
    // Two locks of one process on one file would wait for each other.
    const fs::path same = fs::weakly_canonical(directory, ec);
    bool taken = false;
    for (const fs::path& before : seen) taken = taken || before == same;
    if (taken) continue;
    seen.push_back(same);
    locks.directories.emplace_back(directory, mode, env.lock_wait, program, env.stop);
  }
  return locks;
}

bool ClickWrites(std::string_view handler) { return handler != "Command14_Click"; }

RunLocks LockForClick(const Actualiz& window, std::string_view program) {
  std::string data;
  try {
    data = window.Env().drives.ToHost(window.Dir1.Path());
  } catch (const Error&) {
    // A data directory on a drive no longer mapped: the click fails there.
  }
  return LockRun(window.Env(), true, {data}, platform::LockMode::kExclusive, program);
}

}  // namespace actualiz::app
