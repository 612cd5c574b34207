// The drive options of the front ends: "--drive LETTER=DIR" (repeatable),
// with c: mapped to a per-user data directory when no option names it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/drive_map.h"

namespace actualiz::platform {

// The per-user directory of the program's own files: $XDG_DATA_HOME/actualiz,
// else ~/.local/share/actualiz, else the temporary folder's "actualiz".
// Created if missing.
std::string UserDataDirectory();

// The directory c: maps to by default: UserDataDirectory()/c, created if missing.
std::string DefaultDriveC();

// A drive map with every "LETTER=DIR" of `options`, and c: mapped to
// DefaultDriveC() when none of them names it. Error 3001 for an option that is
// not LETTER=DIR or for a letter given twice; the drive map's own error for a directory that does
// not exist.
DriveMap DriveMapFromOptions(const std::vector<std::string>& options);

}  // namespace actualiz::platform
