#include "app/fleet_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "base/server_address.h"
#include "platform/drive_map.h"
#include "platform/drive_options.h"

namespace actualiz::app {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

[[noreturn]] void Refuse(const std::string& file, const std::string& what) {
  throw Error(err::kInvalidArgument, "fleet file " + file + ": " + what, file);
}

bool WindowsPath(const std::string& path) {
  return platform::DriveMap::DriveOf(path) || (!path.empty() && path.front() == '\\');
}

// A host path taken from the fleet file's folder when relative.
std::string FromFolder(const fs::path& folder, const std::string& path) {
  return (folder / path).lexically_normal().string();
}

std::string Text(const json& value, const std::string& file, const std::string& where) {
  if (!value.is_string() || value.get<std::string>().empty()) {
    Refuse(file, where + " is not a text");
  }
  return value.get<std::string>();
}

// The one spelling of a server location: the host without regard to case,
// a socket directory without its dots and trailing slash, the default port
// written out.
std::string ServerIdentity(const ServerAddress& address) {
  ServerAddress location = address.Location();
  if (!location.host.empty() && location.host.front() == '/') {
    location.host = fs::path(location.host).lexically_normal().string();
    while (location.host.size() > 1 && location.host.back() == '/') location.host.pop_back();
  } else {
    std::transform(location.host.begin(), location.host.end(), location.host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  }
  if (location.port.empty()) location.port = "5432";
  return location.Display();
}

// The folder a file location is: its host path through the location's own
// drive map, every link followed. A map that cannot be made (a drive's
// directory missing) leaves the location unreachable, which its run
// reports; its spelling is then compared as written.
std::string FolderIdentity(const FleetLocation& location) {
  try {
    const platform::DriveMap drives = platform::DriveMapFromOptions(location.drives);
    std::error_code ec;
    const fs::path host = drives.ToHost(location.data);
    const fs::path canonical = fs::weakly_canonical(host, ec);
    return (ec ? host : canonical).lexically_normal().string();
  } catch (const Error&) {
    return location.data;
  }
}

FleetLocation ReadLocation(const json& entry, const fs::path& folder, const std::string& file,
                           const FleetDefaults& defaults, size_t index) {
  const std::string at = "location " + std::to_string(index + 1);
  if (!entry.is_object()) Refuse(file, at + " is not an object");
  FleetLocation location;
  if (entry.contains("data")) location.data = Text(entry["data"], file, at + ": \"data\"");
  location.name =
      entry.contains("name") ? Text(entry["name"], file, at + ": \"name\"") : location.data;
  const std::string named = location.name.empty() ? at : "location '" + location.name + "'";
  for (const auto& [key, value] : entry.items()) {
    if (key != "name" && key != "data" && key != "drive" && key != "program-dir") {
      Refuse(file, named + ": unknown key '" + key +
                       "' (a location takes \"name\", \"data\", \"drive\" and \"program-dir\")");
    }
  }
  if (location.data.empty()) Refuse(file, named + ": no \"data\"");
  location.drives = defaults.drives;
  if (entry.contains("drive")) {
    const json& drives = entry["drive"];
    if (!drives.is_object()) Refuse(file, named + ": \"drive\" maps letters to directories");
    location.drives.clear();
    for (const auto& [letter, dir] : drives.items()) {
      if (letter.size() != 1 || !std::isalpha(static_cast<unsigned char>(letter[0]))) {
        Refuse(file, named + ": \"drive\": '" + letter + "' is no drive letter");
      }
      const std::string host = Text(dir, file, named + ": drive " + letter);
      for (const std::string& given : location.drives) {
        if (std::tolower(static_cast<unsigned char>(given[0])) ==
            std::tolower(static_cast<unsigned char>(letter[0]))) {
          Refuse(file, named + ": drive " + letter + ": is mapped twice");
        }
      }
      location.drives.push_back(letter + "=" + FromFolder(folder, host));
    }
  }
  location.program_dir = defaults.program_dir;
  if (entry.contains("program-dir")) {
    const std::string dir = Text(entry["program-dir"], file, named + ": \"program-dir\"");
    location.program_dir = WindowsPath(dir) ? dir : FromFolder(folder, dir);
  }
  std::optional<ServerAddress> address;
  try {
    address = ParseServerAddress(location.data);
  } catch (const Error& e) {
    Refuse(file, named + ": " + e.Text());
  }
  if (address) {
    if (!address->schema.empty()) {
      Refuse(file, named + ": a data location on a server is named .../DATABASE");
    }
    location.identity = ServerIdentity(*address);
  } else {
    if (!WindowsPath(location.data)) {
      // A host path under a mapped drive is taken as that drive's Windows
      // path, as the command line's --data is.
      location.data = FromFolder(folder, location.data);
      try {
        const platform::DriveMap drives = platform::DriveMapFromOptions(location.drives);
        location.data = drives.FromHost(location.data).value_or(location.data);
      } catch (const Error&) {
        // The location's drives cannot be mapped: its run says so.
      }
    }
    location.identity = FolderIdentity(location);
  }
  return location;
}

}  // namespace

Fleet ReadFleetFile(const std::string& path, const FleetDefaults& defaults) {
  Fleet fleet;
  fleet.file = fs::absolute(path).lexically_normal().string();
  std::ifstream in(fleet.file, std::ios::binary);
  if (!in) throw MakeError(err::kFileNotFound, {fleet.file}, "fleet file " + fleet.file);
  json document;
  try {
    document = json::parse(in);
  } catch (const json::exception& e) {
    Refuse(path, std::string("not JSON: ") + e.what());
  }
  if (!document.is_object()) Refuse(path, "not an object with \"locations\"");
  for (const auto& [key, value] : document.items()) {
    if (key != "locations")
      Refuse(path, "unknown key '" + key + "' (the file holds \"locations\")");
  }
  if (!document.contains("locations") || !document["locations"].is_array() ||
      document["locations"].empty()) {
    Refuse(path, "\"locations\" lists no location");
  }
  const fs::path folder = fs::path(fleet.file).parent_path();
  const json& entries = document["locations"];
  for (size_t i = 0; i < entries.size(); ++i) {
    FleetLocation location = ReadLocation(entries[i], folder, path, defaults, i);
    for (const FleetLocation& before : fleet.locations) {
      if (before.name == location.name) {
        Refuse(path, "location '" + location.name + "' is named twice");
      }
      if (before.identity == location.identity) {
        Refuse(path, "location '" + location.name + "' is location '" + before.name +
                         "' again (both are " + location.identity + ")");
      }
    }
    fleet.locations.push_back(std::move(location));
  }
  return fleet;
}

}  // namespace actualiz::app
