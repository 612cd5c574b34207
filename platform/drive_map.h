// Windows paths on a host that has no drives.
//
// Each drive letter maps to a host directory. A Windows path ("C:\Zarade\
// indices.mdb", "c:/x", "c:") is turned into a host path by taking the
// drive's directory and matching each further component without regard to
// case against the entries that exist (a component that does not exist yet
// is kept as written). `\` and `/` both separate. A plain host path (one
// that starts with "/") passes through unchanged.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace actualiz::platform {

class DriveMap {
 public:
  // Maps `letter` (either case) to `host_dir`, which must exist.
  void Map(char letter, std::string host_dir);
  bool IsMapped(char letter) const;
  // Mapped letters in lower case, in order.
  std::vector<char> Drives() const;
  // The host directory of a drive; nullopt when unmapped.
  std::optional<std::string> Root(char letter) const;

  // Windows or host path to host path. Error 68 "Device unavailable" for an
  // unmapped drive letter.
  std::string ToHost(std::string_view path) const;

  // The current directory of each drive, as a Windows path ("c:\" at first).
  std::string CurrentDirectory(char letter) const;
  void SetCurrentDirectory(char letter, std::string windows_path);

  // The drive letter of a Windows path ("c:\x" -> 'c'), or nullopt.
  static std::optional<char> DriveOf(std::string_view path);

 private:
  std::map<char, std::string> roots_;
  std::map<char, std::string> current_;
};

}  // namespace actualiz::platform
