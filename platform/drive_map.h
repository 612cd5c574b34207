// Windows paths on a host that has no drives.
//
// Each drive letter maps to a host directory. A Windows path
// ("C:\Zarade\indices.mdb", "c:/x", "c:") is turned into a host path by taking the
// drive's directory and matching each further component without regard to
// case against the entries that exist (a component that does not exist yet
// is kept as written). `\` and `/` both separate, doubled separators count
// as one. A plain host path (one that starts with "/") keeps its meaning;
// a Windows tail joined to it ("/opt/p\modelos\x.mdb") is resolved the
// same way. The address of a database on a server ("postgresql://...",
// base/server_address.h) is no path: it passes through both as written.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace actualiz::platform {

class DriveMap {
 public:
  // Maps `letter` (either case) to `host_dir`; error 76 "Path not found"
  // when that directory does not exist.
  void Map(char letter, std::string host_dir);
  bool IsMapped(char letter) const;
  // Maps the folder `windows_folder` ("C:\\Zarade") of a mapped drive to
  // `host_dir`, in place of where the drive would put it: every path in it
  // or under it resolves under `host_dir` instead, and FromHost gives such
  // host paths back as paths in the folder. A run that must keep a folder of
  // its own (a fleet location's catalogues) is given one this way while
  // every name it shows stays the same. Error 76 "Path not found" when
  // `host_dir` does not exist, 68 when the drive is not mapped, 3044 for a
  // drive's root.
  void MapFolder(std::string_view windows_folder, std::string host_dir);
  // Mapped letters in lower case, in order.
  std::vector<char> Drives() const;
  // The host directory of a drive; nullopt when unmapped.
  std::optional<std::string> Root(char letter) const;

  // Windows or host path to host path. Error 68 "Device unavailable" for an
  // unmapped drive letter.
  std::string ToHost(std::string_view path) const;

  // A Windows path made whole: the drive's current directory supplies what
  // "c:" or "c:rel" leave out (drive c for a path without a drive), `/`
  // becomes `\`, doubled separators, "." and ".." are resolved, and only a
  // drive root ends in `\` ("c:\"). The case is kept as written. Touches
  // neither the drive map nor the disk.
  std::string Absolute(std::string_view path) const;

  // The Windows path of a host path that lies under a mapped drive
  // ("/srv/c/prog" -> "c:\prog", a drive's own directory -> "c:\"); nullopt
  // when it lies under none.
  std::optional<std::string> FromHost(std::string_view host_path) const;

  // The current directory of each drive, as a Windows path ("c:\" at first).
  std::string CurrentDirectory(char letter) const;
  void SetCurrentDirectory(char letter, std::string windows_path);

  // The drive letter of a Windows path ("c:\x" -> 'c'), or nullopt.
  static std::optional<char> DriveOf(std::string_view path);

 private:
  std::map<char, std::string> roots_;
  std::map<char, std::string> current_;
  struct MappedFolder {
    char drive;
    std::vector<std::string> components;  // below the drive root, as written
    std::string host_dir;
  };
  std::vector<MappedFolder> folders_;
};

}  // namespace actualiz::platform
