#include "platform/drive_options.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "base/error.h"

namespace actualiz::platform {

std::string UserDataDirectory() {
  std::filesystem::path base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::filesystem::path(home) / ".local" / "share";
  } else {
    base = std::filesystem::temp_directory_path();
  }
  const std::filesystem::path dir = base / "actualiz";
  std::filesystem::create_directories(dir);
  return dir.string();
}

std::string DefaultDriveC() {
  const std::filesystem::path dir = std::filesystem::path(UserDataDirectory()) / "c";
  std::filesystem::create_directories(dir);
  return dir.string();
}

DriveMap DriveMapFromOptions(const std::vector<std::string>& options) {
  DriveMap map;
  for (const std::string& option : options) {
    const bool well_formed = option.size() > 2 && option[1] == '=' &&
                             std::isalpha(static_cast<unsigned char>(option[0]));
    if (!well_formed) {
      throw Error(err::kInvalidArgument, "A drive is given as LETTER=DIR, not '" + option + "'");
    }
    // The map would keep only the last of two directories for one letter:
    // refuse rather than work on a directory the caller may not have meant.
    if (map.IsMapped(option[0])) {
      throw Error(err::kInvalidArgument,
                  std::string("Drive ") +
                      static_cast<char>(std::toupper(static_cast<unsigned char>(option[0]))) +
                      ": is given twice with --drive");
    }
    map.Map(option[0], option.substr(2));
  }
  if (!map.IsMapped('c')) map.Map('c', DefaultDriveC());
  return map;
}

}  // namespace actualiz::platform
