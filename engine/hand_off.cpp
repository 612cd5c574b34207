#include "engine/hand_off.h"

#include <filesystem>

namespace actualiz::engine {

namespace {

// The path with links, "." and ".." resolved as far as it exists.
std::string Resolved(const std::string& host_path) {
  std::error_code ec;
  std::filesystem::path resolved = std::filesystem::weakly_canonical(host_path, ec);
  if (ec) resolved = std::filesystem::absolute(host_path, ec).lexically_normal();
  return resolved.string();
}

}  // namespace

void HandOffPaths::Mark(const std::string& host_path) {
  if (!spelled_.insert(host_path).second) return;
  if (paths_.insert(Resolved(host_path)).second) answers_.clear();
}

bool HandOffPaths::Contains(const std::string& host_path) const {
  // Most sessions mark nothing: no need to resolve the path then.
  if (paths_.empty()) return false;
  // The batch asks about the same few paths at every open; resolving one
  // reads every link on its way.
  auto [answer, added] = answers_.try_emplace(host_path, false);
  if (added) answer->second = paths_.contains(Resolved(host_path));
  return answer->second;
}

}  // namespace actualiz::engine
