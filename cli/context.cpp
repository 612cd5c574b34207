#include <cstdlib>
#include <filesystem>
#include <iostream>

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

// The window program shares these rules: they live in platform/drive_options.
std::string DefaultDriveC() { return platform::DefaultDriveC(); }

platform::DriveMap CliContext::MakeDriveMap() const {
  return platform::DriveMapFromOptions(drives);
}

std::string CliContext::HostPath(const std::string& path) const {
  if (platform::DriveMap::DriveOf(path) || (!path.empty() && path.front() == '\\')) {
    return MakeDriveMap().ToHost(path);
  }
  return std::filesystem::absolute(path).lexically_normal().string();
}

app::Environment CliContext::MakeEnvironment(platform::Operator& op) const {
  app::Environment env;
  env.drives = MakeDriveMap();
  env.program_dir = program_dir.empty() ? platform::ExecutableDirectory() : program_dir;
  env.op = &op;
  return env;
}

void TerminalOperator::ShowMessage(std::string_view text, platform::MessageLook look) {
  const bool to_error =
      look == platform::MessageLook::kCritical || look == platform::MessageLook::kWarning;
  std::ostream& out = to_error ? std::cerr : std::cout;
  out << "[" << platform::LookName(look) << "] " << TerminalSafe(text) << "\n";
}

}  // namespace actualiz::cli
