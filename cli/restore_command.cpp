// actualiz-cli restore BACKUP-FOLDER [--data DIR] [--yes]
//
// Puts the databases a batch run backed up back into their data directory
// (by default the one that holds the folder's ".actualiz-backups") and
// moves aside the databases that run copied in. Asks first on standard
// input unless --yes. Exit status 0 when everything was restored, 1 when
// the folder is not a backup folder, the operator said no, or a file could
// not be restored.
#include <filesystem>
#include <iostream>

#include "app/backups.h"
#include "cli/command.h"

namespace actualiz::cli {

namespace {

struct RestoreOptions {
  std::string folder;
  std::string data;
  bool yes = false;
};

bool Confirmed(const std::string& question) {
  std::cout << question << " [y/N] " << std::flush;
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

int RunRestore(const CliContext& context, const RestoreOptions& options) {
  const platform::DriveMap drives = context.MakeDriveMap();
  std::vector<app::RestoredFile> done;
  try {
    const app::BackupFolder backup = app::ReadBackupFolder(HostPath(drives, options.folder));
    const std::string host_data = options.data.empty() ? app::HostDataDirectoryOf(backup.folder)
                                                       : HostPath(drives, options.data);
    const std::string shown = options.data.empty() ? backup.data_directory : options.data;
    const size_t count = backup.databases.size();
    const std::string question = "Restore " + std::to_string(count) + " database" +
                                 (count == 1 ? "" : "s") + " into " + shown + "?";
    if (!backup.copied_in.empty()) {
      std::cout << "The run also copied in " << backup.copied_in.size() << " database"
                << (backup.copied_in.size() == 1 ? "" : "s") << "; restoring moves "
                << (backup.copied_in.size() == 1 ? "it" : "them")
                << " aside into the backup folder.\n";
    }
    if (!options.yes && !Confirmed(question)) {
      std::cout << "Nothing was restored.\n";
      return 1;
    }
    app::RestoreDatabases(backup, host_data, done);
    for (const app::RestoredFile& file : done) {
      std::cout << file.action << " " << file.name
                << (file.action == "moved aside" ? " to " + backup.folder + "/copied-in" : "")
                << "\n";
    }
    return 0;
  } catch (const Error& e) {
    for (const app::RestoredFile& file : done) std::cout << file.action << " " << file.name << "\n";
    std::cerr << "actualiz-cli restore: error " << e.Number() << " " << e.Text()
              << (e.Context().empty() ? "" : " [" + e.Context() + "]") << "\n";
    return 1;
  }
}

void AddRestoreCommand(CLI::App& app, CliContext& context) {
  auto options = std::make_shared<RestoreOptions>();
  CLI::App* command =
      app.add_subcommand("restore", "Put back the databases of a backup folder made by batch");
  command->add_option("folder", options->folder, "The dated backup folder")->required();
  command->add_option("--data", options->data,
                      "The data directory to restore into (default: the one holding the folder)");
  command->add_flag("--yes", options->yes, "Restore without asking");
  command->callback([&context, options] {
    const app::RunLocks locks = context.LockForWriting(
        "restore", false,
        {options->data.empty() ? CliContext::DataDirectoryOfBackup(options->folder)
                               : options->data});
    context.exit_status = RunRestore(context, *options);
  });
}

}  // namespace

ACTUALIZ_COMMAND(AddRestoreCommand);

}  // namespace actualiz::cli
