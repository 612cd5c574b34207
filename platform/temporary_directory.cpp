#include "platform/temporary_directory.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>

#include "base/error.h"

namespace actualiz::platform {

namespace fs = std::filesystem;

namespace {

// The process id in "<prefix><id>-XXXXXX"; 0 when `name` is not so made.
pid_t OwnerOf(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix)) return 0;
  name.remove_prefix(prefix.size());
  const size_t dash = name.find('-');
  if (dash == std::string_view::npos || dash == 0) return 0;
  pid_t pid = 0;
  const auto [end, ec] = std::from_chars(name.data(), name.data() + dash, pid);
  if (ec != std::errc() || end != name.data() + dash || pid <= 0) return 0;
  return pid;
}

bool ProcessEnded(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

// Removes the user's own directories of `prefix` in `base` whose process has
// ended. Only real directories are touched, never what a link points to;
// one that cannot be removed is left for a later run.
void SweepEnded(const fs::path& base, std::string_view prefix) {
  std::error_code ec;
  for (fs::directory_iterator it(base, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const pid_t owner = OwnerOf(name, prefix);
    if (owner == 0 || owner == ::getpid() || !ProcessEnded(owner)) continue;
    struct stat st {};
    if (::lstat(it->path().c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
      continue;
    }
    std::error_code ignored;
    fs::remove_all(it->path(), ignored);
  }
}

}  // namespace

TemporaryDirectory::TemporaryDirectory(std::string_view prefix, const std::string& purpose) {
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  // A TMPDIR that names no directory leaves the path empty: name it still.
  if (ec) base = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "";
  if (!ec) SweepEnded(base, prefix);
  std::string pattern =
      (base / (std::string(prefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
  if (!ec && ::mkdtemp(pattern.data()) != nullptr) {
    path_ = pattern;
    return;
  }
  const bool missing = ec || errno == ENOENT || errno == ENOTDIR;
  if (missing) {
    throw MakeError(err::kPathNotFound,
                    "temporary folder '" + base.string() + "' for the " + purpose);
  }
  throw MakeError(err::kPermissionDenied,
                  "temporary folder '" + base.string() + "' for the " + purpose);
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

}  // namespace actualiz::platform
