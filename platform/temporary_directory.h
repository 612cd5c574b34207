// A private directory under the temporary folder ($TMPDIR), removed with its
// contents when the object goes: the scratch places of a plan and of a model
// converted on its way in.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace actualiz::platform {

class TemporaryDirectory {
 public:
  // Creates "<temporary folder>/<prefix>XXXXXX", readable by the user alone.
  // Error 76 when the temporary folder is missing, 70 when it refuses the
  // directory; `purpose` says what the directory was for.
  TemporaryDirectory(std::string_view prefix, const std::string& purpose);
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace actualiz::platform
