#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "app/environment_options.h"
#include "base/server_address.h"
#include "base/terminal_text.h"
#include "cli/command.h"
#include "platform/drive_options.h"

namespace actualiz::cli {

namespace {
std::vector<CommandAdder>& Registry() {
  static std::vector<CommandAdder> adders;
  return adders;
}
}  // namespace

bool RegisterCommand(CommandAdder adder) {
  Registry().push_back(adder);
  return true;
}

const std::vector<CommandAdder>& Commands() { return Registry(); }

bool CliContext::ShowsProgress() const {
  return !quiet && (progress || isatty(STDERR_FILENO) == 1);
}

platform::DriveMap CliContext::MakeDriveMap() const {
  return platform::DriveMapFromOptions(drives);
}

std::string CliContext::WindowsPath(const std::string& path) const {
  // A malformed address (or one with a password) is refused here, before
  // anything echoes it.
  if (ParseServerAddress(path)) return path;
  if (platform::DriveMap::DriveOf(path) || (!path.empty() && path.front() == '\\')) return path;
  const std::string host = std::filesystem::absolute(path).lexically_normal().string();
  return MakeDriveMap().FromHost(host).value_or(host);
}

std::string CliContext::HostPath(const std::string& path) const {
  if (ParseServerAddress(path)) return path;
  if (platform::DriveMap::DriveOf(path) || (!path.empty() && path.front() == '\\')) {
    return MakeDriveMap().ToHost(path);
  }
  return std::filesystem::absolute(path).lexically_normal().string();
}

app::Environment CliContext::MakeEnvironment(platform::Operator& op) const {
  return app::MakeEnvironment(
      {.drives = drives, .program_dir = program_dir, .wait_seconds = wait_seconds, .stop = stop},
      op);
}

std::string CliContext::DirectoryOf(const std::string& file) {
  if (file.empty()) return "";
  if (const std::optional<ServerAddress> address = ParseServerAddress(file)) {
    return address->Location().Display();
  }
  const size_t slash = file.find_last_of("\\/");
  if (slash == std::string::npos) {
    return platform::DriveMap::DriveOf(file) ? file.substr(0, 2) : ".";
  }
  // A root keeps its separator: "/", "c:\\".
  const bool root = slash == 0 || (slash == 2 && platform::DriveMap::DriveOf(file));
  return file.substr(0, root ? slash + 1 : slash);
}

std::string CliContext::DataDirectoryOfBackup(const std::string& folder) {
  std::string dated = folder;
  while (dated.size() > 1 && (dated.back() == '/' || dated.back() == '\\')) dated.pop_back();
  return DirectoryOf(DirectoryOf(dated));
}

app::RunLocks CliContext::LockForWriting(std::string_view command, bool catalogues,
                                         const std::vector<std::string>& given) const {
  namespace fs = std::filesystem;
  std::vector<std::string> directories;
  for (const std::string& directory : given) {
    if (!directory.empty()) directories.push_back(HostPath(directory));
  }
  TerminalOperator unused;
  const app::Environment env = MakeEnvironment(unused);
  if (catalogues) {
    // The command is about to make the catalogue directory: its lock must
    // be had before, not after.
    const std::string directory = app::CatalogueHostDirectory(env.drives);
    std::error_code ec;
    if (!directory.empty()) fs::create_directories(directory, ec);
  }
  return app::LockRun(env, catalogues, directories, platform::LockMode::kExclusive,
                      "actualiz-cli " + std::string(command));
}

void TerminalOperator::ShowMessage(std::string_view text, platform::MessageLook look) {
  const bool to_error =
      look == platform::MessageLook::kCritical || look == platform::MessageLook::kWarning;
  std::ostream& out = to_error ? std::cerr : std::cout;
  out << "[" << platform::LookName(look) << "] " << TerminalSafe(text) << "\n";
}

}  // namespace actualiz::cli
