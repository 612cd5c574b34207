// Resolving Windows paths on a host without drives.
//
// A path is first made absolute in Windows terms ("c:" and "c:rel" take the
// drive's current directory, "\x" and "rel" take drive c's), then split into
// components on either separator; empty components (doubled separators) and
// "." drop out and ".." climbs one level, never above the root. Each
// component is then looked up in the host directory reached so far: an
// exact name wins, else the first entry equal without regard to case, else
// the component is kept as written (a file about to be created).
#include "platform/drive_map.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "base/error.h"
#include "base/names.h"
#include "base/server_address.h"

namespace fs = std::filesystem;

namespace actualiz::platform {

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::vector<std::string> SplitComponents(std::string_view path) {
  std::vector<std::string> parts;
  std::string current;
  auto flush = [&] {
    if (current.empty() || current == ".") {
    } else if (current == "..") {
      if (!parts.empty()) parts.pop_back();
    } else {
      parts.push_back(current);
    }
    current.clear();
  };
  for (char c : path) {
    if (IsSeparator(c)) {
      flush();
    } else {
      current += c;
    }
  }
  flush();
  return parts;
}

// The entry of `dir` named `name`: exact if it exists, else the first one
// equal without regard to case (in sorted order, so the choice is stable),
// else `name` itself.
std::string MatchEntry(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  if (fs::exists(dir / name, ec)) return name;
  std::vector<std::string> candidates;
  for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    std::string entry = it->path().filename().string();
    if (SameNameIgnoringCase(entry, name)) candidates.push_back(std::move(entry));
  }
  if (candidates.empty()) return name;
  return *std::min_element(candidates.begin(), candidates.end());
}

std::string Resolve(fs::path base, const std::vector<std::string>& components) {
  for (const std::string& component : components) base /= MatchEntry(base, component);
  return base.string();
}

}  // namespace

void DriveMap::Map(char letter, std::string host_dir) {
  std::error_code ec;
  if (!fs::is_directory(host_dir, ec)) {
    throw MakeError(err::kPathNotFound, "drive " + std::string(1, letter) + ": " + host_dir);
  }
  fs::path canonical = fs::canonical(host_dir, ec);
  roots_[Lower(letter)] = ec ? host_dir : canonical.string();
}

void DriveMap::MapFolder(std::string_view windows_folder, std::string host_dir) {
  std::error_code ec;
  if (!fs::is_directory(host_dir, ec)) {
    throw MakeError(err::kPathNotFound, std::string(windows_folder) + ": " + host_dir);
  }
  const std::string absolute = Absolute(windows_folder);
  if (!IsMapped(absolute[0])) throw MakeError(err::kDeviceUnavailable, std::string(windows_folder));
  std::vector<std::string> components = SplitComponents(std::string_view(absolute).substr(2));
  // A drive's root is the drive itself: Map it instead.
  if (components.empty())
    throw MakeError(err::kInvalidPath, {absolute}, std::string(windows_folder));
  fs::path canonical = fs::canonical(host_dir, ec);
  folders_.push_back({absolute[0], std::move(components), ec ? host_dir : canonical.string()});
}

bool DriveMap::IsMapped(char letter) const { return roots_.count(Lower(letter)) != 0; }

std::vector<char> DriveMap::Drives() const {
  std::vector<char> out;
  for (const auto& [letter, dir] : roots_) out.push_back(letter);
  return out;
}

std::optional<std::string> DriveMap::Root(char letter) const {
  auto it = roots_.find(Lower(letter));
  if (it == roots_.end()) return std::nullopt;
  return it->second;
}

std::optional<char> DriveMap::DriveOf(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
    return Lower(path[0]);
  }
  return std::nullopt;
}

std::string DriveMap::Absolute(std::string_view path) const {
  if (IsServerAddress(path)) return std::string(path);
  char drive = 'c';
  std::string rest;
  if (auto letter = DriveOf(path)) {
    drive = *letter;
    rest = std::string(path.substr(2));
  } else {
    rest = std::string(path);
  }
  if (rest.empty() || !IsSeparator(rest.front())) {
    rest = CurrentDirectory(drive).substr(2) + "\\" + rest;
  }
  std::string out = std::string(1, drive) + ":";
  for (const std::string& component : SplitComponents(rest)) out += "\\" + component;
  if (out.size() == 2) out += "\\";
  return out;
}

std::string DriveMap::ToHost(std::string_view path) const {
  if (IsServerAddress(path)) return std::string(path);
  if (!path.empty() && path.front() == '/') {
    return Resolve(fs::path("/"), SplitComponents(path));
  }
  const std::string absolute = Absolute(path);
  const char drive = absolute[0];
  const std::vector<std::string> components = SplitComponents(std::string_view(absolute).substr(2));
  for (const MappedFolder& folder : folders_) {
    if (folder.drive != drive || components.size() < folder.components.size()) continue;
    if (!std::equal(folder.components.begin(), folder.components.end(), components.begin(),
                    SameNameIgnoringCase)) {
      continue;
    }
    return Resolve(fs::path(folder.host_dir),
                   {components.begin() + static_cast<std::ptrdiff_t>(folder.components.size()),
                    components.end()});
  }
  auto root = Root(drive);
  if (!root) {
    throw MakeError(err::kDeviceUnavailable, std::string(path));
  }
  return Resolve(fs::path(*root), components);
}

std::optional<std::string> DriveMap::FromHost(std::string_view host_path) const {
  std::error_code ec;
  fs::path target = fs::weakly_canonical(fs::path(host_path), ec);
  if (ec) target = fs::path(host_path);
  for (const MappedFolder& folder : folders_) {
    fs::path relative = target.lexically_relative(folder.host_dir);
    if (relative.empty() || *relative.begin() == "..") continue;
    std::string out = std::string(1, folder.drive) + ":";
    for (const std::string& component : folder.components) out += "\\" + component;
    for (const auto& component : relative) {
      if (component != ".") out += "\\" + component.string();
    }
    return out;
  }
  for (const auto& [letter, root] : roots_) {
    fs::path relative = target.lexically_relative(root);
    if (relative.empty() || *relative.begin() == "..") continue;
    std::string out = std::string(1, letter) + ":";
    for (const auto& component : relative) {
      if (component == ".") continue;
      out += "\\" + component.string();
    }
    if (out.size() == 2) out += "\\";
    return out;
  }
  return std::nullopt;
}

std::string DriveMap::CurrentDirectory(char letter) const {
  auto it = current_.find(Lower(letter));
  if (it != current_.end()) return it->second;
  return std::string(1, Lower(letter)) + ":\\";
}

void DriveMap::SetCurrentDirectory(char letter, std::string windows_path) {
  current_[Lower(letter)] = std::move(windows_path);
}

}  // namespace actualiz::platform
