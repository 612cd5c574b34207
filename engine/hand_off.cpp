#include "engine/hand_off.h"

#include <filesystem>
#include <mutex>
#include <set>

namespace actualiz::engine {

namespace {

struct Registry {
  std::mutex mutex;
  std::set<std::string> paths;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

// The path with links, "." and ".." resolved as far as it exists.
std::string Resolved(const std::string& host_path) {
  std::error_code ec;
  std::filesystem::path resolved = std::filesystem::weakly_canonical(host_path, ec);
  if (ec) resolved = std::filesystem::absolute(host_path, ec).lexically_normal();
  return resolved.string();
}

}  // namespace

void SetHandOff(const std::string& host_path) {
  Registry& registry = TheRegistry();
  const std::string resolved = Resolved(host_path);
  std::lock_guard lock(registry.mutex);
  registry.paths.insert(resolved);
}

bool IsHandOff(const std::string& host_path) {
  Registry& registry = TheRegistry();
  {
    // Most processes mark nothing: no need to resolve the path then.
    std::lock_guard lock(registry.mutex);
    if (registry.paths.empty()) return false;
  }
  const std::string resolved = Resolved(host_path);
  std::lock_guard lock(registry.mutex);
  return registry.paths.contains(resolved);
}

}  // namespace actualiz::engine
