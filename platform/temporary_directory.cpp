#include "platform/temporary_directory.h"

#include <stdlib.h>

#include <cerrno>
#include <cstdlib>

#include "base/error.h"

namespace actualiz::platform {

namespace fs = std::filesystem;

TemporaryDirectory::TemporaryDirectory(std::string_view prefix, const std::string& purpose) {
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  // A TMPDIR that names no directory leaves the path empty: name it still.
  if (ec) base = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "";
  std::string pattern = (base / (std::string(prefix) + "XXXXXX")).string();
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
