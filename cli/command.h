// The command line's shared options and the registry of its commands.
//
// Each command lives in its own file and registers itself with
// `ACTUALIZ_COMMAND(AddXxxCommand)`; the adder declares its options on the
// subcommand and sets its callback, which stores the exit status in
// `CliContext::exit_status`.
#pragma once

#include <atomic>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/actualiz.h"
#include "app/run_locks.h"

namespace actualiz::cli {

// A mistake in the command line itself (an unknown command, an option
// that does not fit): the program says what is wrong on standard error and
// ends with status 2 before any command runs.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct CliContext {
  // The options every command takes, before or after its name
  // (cli/shared_options.h), gathered from both places.
  std::vector<std::string> drives;  // "--drive c=DIR", repeatable
  std::string program_dir;          // "--program-dir DIR"; the executable's own when empty
  double wait_seconds = 5;          // "--wait SECONDS": how long to wait for another run's lock
  bool quiet = false;               // "--quiet": no progress and no report text
  bool progress = false;            // "--progress": progress even when stderr is no terminal
  // Standard output for what a command is asked to produce whatever
  // --quiet says: JSON (`--json -`, `window`, `describe`) and a question
  // that waits for an answer. --quiet silences std::cout, the report text,
  // and leaves this one alone.
  std::ostream* output = &std::cout;
  // Non-zero once SIGINT or SIGTERM asked the run to stop (the signal's
  // number); null while no command listens for them.
  const std::atomic<int>* stop = nullptr;
  int exit_status = 0;

  // Whether a long run shows its progress on standard error: with
  // --progress, or when standard error is a terminal; never with --quiet.
  bool ShowsProgress() const;

  // Takes the locks of a command that writes, for the command named
  // `command` ("batch"): the catalogue directory "C:\\Zarade" (with
  // `catalogues`; made first when missing) and each of `directories`, as
  // given on the command line (an empty one is passed over), waiting up to
  // --wait for each. They are held until the returned object goes. Error
  // 3260 naming the run that holds one when the wait ends first
  // (app/run_locks.h).
  app::RunLocks LockForWriting(std::string_view command, bool catalogues,
                               const std::vector<std::string>& directories) const;
  // The directory of a file named on the command line, as written ("." for
  // a bare name, "" for ""); and the data directory that holds a backup
  // folder ("<data>/.actualiz-backups/<dated folder>").
  static std::string DirectoryOf(const std::string& file);
  static std::string DataDirectoryOfBackup(const std::string& folder);

  // The drive map: every --drive, and c: mapped to the per-user data
  // directory when not given.
  platform::DriveMap MakeDriveMap() const;
  // A file named on the command line as a host path: a path with a drive
  // letter ("c:\\x.mdb") or rooted with a backslash goes through the drive
  // map; any other is a host path, relative to the working directory.
  std::string HostPath(const std::string& path) const;
  // A directory named on the command line as the window takes it: a Windows
  // path stays as written; a host path, relative to the working directory,
  // becomes the Windows path of the mapped drive it lies on, or stays a
  // whole host path when it lies on none.
  std::string WindowsPath(const std::string& path) const;
  // The environment of a window model for this run: the drive map, the
  // program directory (a relative --program-dir taken from the working
  // directory), the lock wait and the stop flag.
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

using CommandAdder = void (*)(CLI::App& app, CliContext& context);
bool RegisterCommand(CommandAdder adder);
const std::vector<CommandAdder>& Commands();

#define ACTUALIZ_COMMAND(adder) \
  [[maybe_unused]] static const bool registered_##adder = ::actualiz::cli::RegisterCommand(adder)

}  // namespace actualiz::cli
