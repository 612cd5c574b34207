// The command line's shared options and the registry of its commands.
//
// Each command lives in its own file and registers itself with
// `ACTUALIZ_COMMAND(AddXxxCommand)`; the adder declares its options on the
// subcommand and sets its callback, which stores the exit status in
// `CliContext::exit_status`.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/actualiz.h"

namespace actualiz::cli {

struct CliContext {
  std::vector<std::string> drives;  // "--drive c=DIR", repeatable
  std::string program_dir;          // "--program-dir DIR"; the executable's own when empty
  int exit_status = 0;

  // The drive map: every --drive, and c: mapped to the per-user data
  // directory when not given.
  platform::DriveMap MakeDriveMap() const;
  // A file named on the command line as a host path: a path with a drive
  // letter ("c:\\x.mdb") or rooted with a backslash goes through the drive
  // map; any other is a host path, relative to the working directory.
  std::string HostPath(const std::string& path) const;
  // The environment of a window model for this run.
  app::Environment MakeEnvironment(platform::Operator& op) const;
};

// Prints message boxes: plain and information on standard output, critical
// and warning on standard error. Records that the program ended.
class TerminalOperator : public platform::Operator {
 public:
  void ShowMessage(std::string_view text, platform::MessageLook look) override;
  void EndProgram() override { ended = true; }
  bool ended = false;
};

// The per-user data directory that c: maps to by default (created if missing).
std::string DefaultDriveC();

using CommandAdder = void (*)(CLI::App& app, CliContext& context);
bool RegisterCommand(CommandAdder adder);
const std::vector<CommandAdder>& Commands();

#define ACTUALIZ_COMMAND(adder) \
  [[maybe_unused]] static const bool registered_##adder = ::actualiz::cli::RegisterCommand(adder)

}  // namespace actualiz::cli
