#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "cli/command.h"

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

std::string DefaultDriveC() {
  std::filesystem::path base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::filesystem::path(home) / ".local" / "share";
  } else {
    base = std::filesystem::temp_directory_path();
  }
  std::filesystem::path dir = base / "actualiz" / "c";
  std::filesystem::create_directories(dir);
  return dir.string();
}

platform::DriveMap CliContext::MakeDriveMap() const {
  platform::DriveMap map;
  for (const std::string& spec : drives) {
    const auto eq = spec.find('=');
    if (eq != 1 || !std::isalpha(static_cast<unsigned char>(spec[0]))) {
      throw Error(err::kInvalidArgument, "A drive is given as LETTER=DIR, not '" + spec + "'");
    }
    map.Map(spec[0], spec.substr(2));
  }
  if (!map.IsMapped('c')) map.Map('c', DefaultDriveC());
  return map;
}

app::Environment CliContext::MakeEnvironment(platform::Operator& op) const {
  app::Environment env;
  env.drives = MakeDriveMap();
  env.program_dir = program_dir.empty() ? platform::ExecutableDirectory() : program_dir;
  env.op = &op;
  return env;
}

void TerminalOperator::ShowMessage(std::string_view text, platform::MessageLook look) {
  const bool to_error = look == platform::MessageLook::kCritical ||
                        look == platform::MessageLook::kWarning;
  std::ostream& out = to_error ? std::cerr : std::cout;
  out << "[" << platform::LookName(look) << "] " << text << "\n";
}

}  // namespace actualiz::cli
