// A private directory under the temporary folder ($TMPDIR), removed with its
// contents when the object goes: the scratch places of a plan, of a fleet
// location's catalogues and of a model converted on its way in.
//
// A run that is killed cannot remove its directory, and a plan's holds whole
// copies of customer databases. So each name carries the process's id, and
// making a directory first removes those of the same prefix whose process
// has ended.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace actualiz::platform {

class TemporaryDirectory {
 public:
  // Creates "<temporary folder>/<prefix><process id>-XXXXXX", readable by the
  // user alone, after removing the user's directories "<prefix><id>-*" left
  // there by processes that have ended. Error 76 when the temporary folder
  // is missing, 70 when it refuses the directory; `purpose` says what the
  // directory was for.
  TemporaryDirectory(std::string_view prefix, const std::string& purpose);
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace actualiz::platform
