// Backups of customer databases around a batch run, and putting them back.
//
// Before the batch changes anything, each target database it will work on
// is copied (consistently, through the engine's CopyDatabase) into a dated
// folder of the data directory:
//   <data directory>/.actualiz-backups/<YYYY-MM-DD_HHMMSS>/<name>
// together with a manifest, "actualiz-backup.json", that marks the folder
// as a backup folder and names what it holds. After the run, the backups of
// databases the run left as they were (same description, rows included) are
// removed, and the databases the run copied in are added to the manifest so
// that a restore can take them out again.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "app/actualiz.h"

namespace actualiz::app {

inline constexpr const char* kBackupsDirectory = ".actualiz-backups";
inline constexpr const char* kBackupManifest = "actualiz-backup.json";

// A database left out of the backup because it cannot be opened at all, or
// is a read-only Access file: the run cannot change it either.
struct UnopenedDatabase {
  std::string name;  // the file name, "roto.mdb"
  Error error;       // the engine's refusal, naming the file
};

struct BackupFolder {
  std::string folder;                  // host path of the dated folder
  std::string data_directory;          // the data directory as the window names it ("c:\datos")
  std::vector<std::string> databases;  // file names backed up, in the order they were saved
  std::vector<std::string> copied_in;  // file names the run copied into the data directory
  // Left out: not a database (3343), no longer there (3024, 3044) or a
  // read-only Access file (3027). The run cannot change them either; they
  // are not in the manifest.
  std::vector<UnopenedDatabase> unopened;
};

// The target databases the batch will change: List6 entries with a model of
// exactly the same name in List7, each once, in List6 order.
std::vector<std::string> PairedTargets(const Actualiz& window);

// Creates "<host_data_directory>/.actualiz-backups/<YYYY-MM-DD_HHMMSS>" for
// the local time `now` (with "-2", "-3", ... when that folder exists) and
// copies each of `names` from the data directory into it, then writes the
// manifest. A name whose file the engine refuses to open as a database at
// all (not a database, or gone) or opens as a read-only Access file is
// left out and listed in `unopened`: one
// damaged file must not keep every other database from its run. Any other
// failure (a database that opens but cannot be saved, one locked by
// another process) fails with the engine's error naming the database; the
// folder is then removed again, so no partial backup is left to be mistaken
// for a whole one.
BackupFolder BackUpDatabases(const std::string& host_data_directory,
                             const std::string& data_directory,
                             const std::vector<std::string>& names,
                             std::chrono::system_clock::time_point now);

// After the run: removes the backup of every database whose description
// (rows included) still equals its backup's, records `copied_in`, and
// rewrites the manifest. When nothing is left to restore, removes the dated
// folder (and the backups directory when it is then empty); `folder.folder`
// is then "". A database that cannot be described keeps its backup.
void KeepChangedOnly(BackupFolder& folder, const std::string& host_data_directory,
                     const std::vector<std::string>& copied_in);

// Reads the manifest of a backup folder. Fails with 76 "Path not found"
// when the folder does not exist and 3001 when it holds no manifest (it is
// not a backup folder) or a manifest that cannot be read.
BackupFolder ReadBackupFolder(const std::string& folder);

// The data directory a backup folder belongs to: the directory that holds
// its ".actualiz-backups".
std::string HostDataDirectoryOf(const std::string& folder);

// What a restore did to one file.
struct RestoredFile {
  std::string name;
  std::string action;  // "restored", "moved aside" (a database the run copied in)
};

// Puts every database of `backup` back into `host_data_directory`
// (replacing the file's content in one transaction), and moves each database
// the run copied in into "<folder>/copied-in/", so that the directory is as
// it was before the run. Nothing is touched when the data directory is
// missing (76) or a copy the manifest names is missing from the folder
// (3024). Otherwise stops at the first failure with the engine's error
// naming the file; `done` then tells what was already restored.
void RestoreDatabases(const BackupFolder& backup, const std::string& host_data_directory,
                      std::vector<RestoredFile>& done);

}  // namespace actualiz::app
