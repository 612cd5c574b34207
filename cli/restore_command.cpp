// actualiz-cli restore BACKUP-FOLDER [--data DIR | --into DIR] [--force] [--yes]
//
// Puts the databases a batch run backed up back into their data directory
// (by default the one that holds the folder's ".actualiz-backups"; --data
// names it, and must agree with the folder's manifest) and moves aside the
// databases that run copied in. --into restores into a directory the
// manifest does not name. A database changed since the run is refused
// unless --force. What the restore replaces is first kept in a new backup
// folder, named in the output. Asks first on standard input unless --yes.
// Exit status 0 when everything was restored, 1 when the folder is not a
// backup folder, the restore is refused, the operator said no, or a file
// could not be restored.
//
// A folder of a server's databases (kept in the program directory's
// ".actualiz-backups") restores into the server location its manifest
// names; --data and --into then name server locations too.
#include <chrono>
#include <filesystem>
#include <iostream>
#include <optional>

#include "app/backups.h"
#include "app/operator_advice.h"
#include "base/terminal_text.h"
#include "cli/command.h"

namespace actualiz::cli {

namespace {

struct RestoreOptions {
  std::string folder;
  std::string data;
  std::string into;
  bool force = false;
  bool yes = false;
};

// The question waits for an answer: it is shown even with --quiet.
bool Confirmed(const CliContext& context, const std::string& question) {
  *context.output << question << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) answer.clear();
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

// A host path that exists is taken as it stands (relative to the current
// directory); anything else goes through the drive map.
std::string HostPath(const platform::DriveMap& drives, const std::string& path) {
  std::error_code ec;
  if (!platform::DriveMap::DriveOf(path) && std::filesystem::exists(path, ec)) {
    return std::filesystem::absolute(path).lexically_normal().string();
  }
  return drives.ToHost(path);
}

// The data directory a restore of `folder` goes to without --data, to lock
// it: the one holding the folder, or the server location a folder of a
// server's databases names. What the manifest says is checked again once
// locked.
std::string DefaultDataDirectory(const CliContext& context, const std::string& folder) {
  try {
    const app::BackupFolder backup = app::ReadBackupFolder(context.HostPath(folder));
    if (backup.OnServer()) return backup.host_data_directory;
  } catch (const Error&) {
    // Not a backup folder: the restore itself says so.
  }
  return CliContext::DataDirectoryOfBackup(folder);
}

void PrintDone(const app::BackupFolder& backup, const app::RestoreResult& result) {
  for (const app::RestoredFile& file : result.done) {
    std::cout << file.action << " " << TerminalSafe(file.name)
              << (file.action == "moved aside" ? " to " + TerminalSafe(backup.folder) + "/copied-in"
                                               : "")
              << "\n";
  }
  if (!result.kept_folder.empty()) {
    std::cout << "The databases as they were before this restore are kept in "
              << TerminalSafe(result.kept_folder) << "\n";
  }
}

int RunRestore(const CliContext& context, const RestoreOptions& options) {
  const platform::DriveMap drives = context.MakeDriveMap();
  app::RestoreResult result;
  std::optional<app::BackupFolder> backup;
  try {
    backup = app::ReadBackupFolder(HostPath(drives, options.folder));
    app::RestoreRequest request;
    request.into = !options.into.empty();
    request.force = options.force;
    const std::string own_default =
        backup->OnServer() ? backup->host_data_directory : app::HostDataDirectoryOf(backup->folder);
    request.host_data_directory = request.into           ? HostPath(drives, options.into)
                                  : options.data.empty() ? own_default
                                                         : HostPath(drives, options.data);
    request.data_directory =
        drives.FromHost(request.host_data_directory).value_or(request.host_data_directory);
    request.own_data_directory = app::OwnDataDirectory(*backup, drives);
    const app::RestoreCheck check = app::CheckRestore(*backup, request);
    for (const std::string& name : check.changed) {
      std::cerr << TerminalSafe(name) << " was changed since the run; --force replaces it.\n";
    }
    for (const std::string& name : check.unrecorded) {
      std::cerr << TerminalSafe(name)
                << " may have been changed since the run; --force replaces it.\n";
    }
    const size_t count = backup->databases.size();
    std::string question = "Restore " + std::to_string(count) + " database" +
                           (count == 1 ? "" : "s") + " into " +
                           TerminalSafe(request.data_directory);
    if (request.into)
      question += " (the backup was taken from " + TerminalSafe(backup->data_directory) + ")";
    question += "?";
    if (!backup->copied_in.empty()) {
      std::cout << "The run also copied in " << backup->copied_in.size() << " database"
                << (backup->copied_in.size() == 1 ? "" : "s") << "; restoring moves "
                << (backup->copied_in.size() == 1 ? "it" : "them")
                << " aside into the backup folder.\n";
    }
    if (!options.yes && !Confirmed(context, question)) {
      std::cout << "Nothing was restored.\n";
      return 1;
    }
    request.now = std::chrono::system_clock::now();
    app::RestoreDatabases(*backup, request, result);
    PrintDone(*backup, result);
    return 0;
  } catch (const Error& e) {
    if (backup) PrintDone(*backup, result);
    std::cerr << "actualiz-cli restore: " << TerminalSafe(app::OperatorLine(e)) << "\n";
    return 1;
  }
}

void AddRestoreCommand(CLI::App& app, CliContext& context) {
  auto options = std::make_shared<RestoreOptions>();
  CLI::App* command =
      app.add_subcommand("restore", "Put back the databases of a backup folder made by batch");
  command->add_option("folder", options->folder, "The dated backup folder")->required();
  CLI::Option* data = command->add_option(
      "--data", options->data,
      "The data directory to restore into (default: the one holding the folder); it must be "
      "the one the folder was taken from");
  command
      ->add_option("--into", options->into,
                   "Restore into this directory even though the folder was taken from another")
      ->excludes(data);
  command->add_flag("--force", options->force,
                    "Also replace databases changed since the run (what is replaced is kept)");
  command->add_flag("--yes", options->yes, "Restore without asking");
  command->callback([&context, options] {
    const app::RunLocks locks = context.LockForWriting(
        "restore", false,
        {options->data.empty() ? DefaultDataDirectory(context, options->folder) : options->data});
    context.exit_status = RunRestore(context, *options);
  });
}

}  // namespace

ACTUALIZ_COMMAND(AddRestoreCommand);

}  // namespace actualiz::cli
