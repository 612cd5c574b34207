// Backups of customer databases around a batch run, and putting them back.
//
// Before the batch changes anything, each target database it will work on
// is copied (consistently, through the engine's CopyDatabaseFile; an Access
// file as its bytes) into a dated
// folder of the data directory:
//   <data directory>/.actualiz-backups/<YYYY-MM-DD_HHMMSS>/<name>
// together with a manifest, "actualiz-backup.json", that marks the folder
// as a backup folder, names what it holds and the directory it was taken
// from (as the window names it and as a resolved host path). The dated
// folder is made with one mkdir, which fails when the name is taken: two
// runs in the same second never share a folder, and a run only ever removes
// a folder it made itself. After the run, the backups of databases the run
// log shows the run did not change are removed, and the
// databases the run copied in are added to the manifest so that a restore
// can take them out again, each with the SHA-256 of its file as the run
// left it.
//
// A restore is refused, before anything is touched, when the folder holds a
// symbolic link, when the directory it would restore into is not the one
// the manifest names (unless the operator names it explicitly), or when a
// database was changed since the run (unless forced): it would discard work
// done after the run. Whatever a restore replaces is first kept in a backup
// folder of its own.
//
// A data directory on a server (base/server_address.h) is backed up the
// same way, each schema as pg_dump's file "NAME.mdb.dump" in a dated folder
// of the program directory's ".actualiz-backups" (app/server_backups.h);
// its digests are those of the engine's description of the schema with its
// rows, and a restore puts each schema back in one transaction.
#pragma once

#include <chrono>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/database_pair.h"

#include "app/actualiz.h"
#include "platform/drive_map.h"

namespace actualiz::app {

inline constexpr const char* kBackupsDirectory = ".actualiz-backups";
inline constexpr const char* kBackupManifest = "actualiz-backup.json";

// A database left out of the backup because it cannot be opened at all:
// the run cannot change it either.
struct UnopenedDatabase {
  std::string name;  // the file name, "roto.mdb"
  Error error;       // the engine's refusal, naming the file
};

struct BackupFolder {
  std::string folder;          // host path of the dated folder
  std::string data_directory;  // the data directory as the window names it ("c:\datos")
  // The data directory as a host path with every symbolic link resolved
  // (a server location as its address); "" in manifests written before it
  // was recorded.
  std::string host_data_directory;
  std::vector<std::string> databases;  // file names backed up, in the order they were saved
  std::vector<std::string> copied_in;  // file names the run copied into the data directory
  // SHA-256 (hex) of each file of `databases` and `copied_in` as the run
  // left it, by name. Empty until the run has ended (KeepChangedOnly), and
  // in manifests written before digests were recorded.
  std::map<std::string, std::string> digests;
  // Left out: not a database (3343) or no longer there (3024, 3044). The
  // run cannot change them either; they are not in the manifest.
  std::vector<UnopenedDatabase> unopened;

  // Whether the databases were taken from a server location.
  bool OnServer() const;
  // The file in `folder` that keeps database `name`.
  std::string CopyOf(const std::string& name) const;
};

// Creates "<host_data_directory>/.actualiz-backups/<YYYY-MM-DD_HHMMSS>" for
// the local time `now` (with "-2", "-3", ... when that name is taken, also
// by a run creating it at the same moment) and
// copies each of `names` from the data directory into it, then writes the
// manifest. A name whose file the engine refuses to open as a database at
// all (not a database, or gone) is left out and listed in `unopened`: one
// damaged file must not keep every other database from its run. Any other
// failure (a database that opens but cannot be saved, one locked by
// another process) fails with the engine's error naming the database; the
// folder is then removed again, so no partial backup is left to be mistaken
// for a whole one. A folder this call did not create is never removed.
//
// When the data directory is a server location, the folder goes into
// `host_program_directory` instead (a server has no folder of its own) and
// each schema is kept with pg_dump; a schema that is not the engine's (3343)
// or gone (3024) is left out, and pg_dump missing or failing fails naming
// the database and giving pg_dump's message.
BackupFolder BackUpDatabases(const std::string& host_data_directory,
                             const std::string& data_directory,
                             const std::vector<std::string>& names,
                             std::chrono::system_clock::time_point now,
                             const std::string& host_program_directory = {});

// After the run: removes the backup of every database not in `changed`
// (the file names the run log says the run may have changed, see
// StreamedBatchReport::MayHaveChanged) without opening either file, records
// `copied_in` and the digest of each kept and copied-in file as it is now,
// and rewrites the manifest. A file that cannot be read gets no digest (a
// restore then treats it as possibly changed). When nothing is left to
// restore, removes the dated folder (and the backups directory when it is
// then empty); `folder.folder` is then "".
void KeepChangedOnly(BackupFolder& folder, const std::string& host_data_directory,
                     const std::set<std::string>& changed,
                     const std::vector<std::string>& copied_in);

// Reads the manifest of a backup folder. Fails with 76 "Path not found"
// when the folder does not exist and 3001 when it holds no manifest (it is
// not a backup folder), a manifest that cannot be read, or a symbolic link
// anywhere inside it (the error names each one). Older manifests, without
// the resolved data directory or digests, read with those left empty.
BackupFolder ReadBackupFolder(const std::string& folder);

// The directory that holds the folder's ".actualiz-backups": where a
// restore goes when the operator names no directory (for a folder of a
// server's databases, the program directory: the server location its
// manifest names is where it goes).
std::string HostDataDirectoryOf(const std::string& folder);

// The host directory a backup folder was taken from: the resolved one its
// manifest records; for an older manifest, which records only the window's
// name of it, that name through `drives` when it lies on a mapped drive.
// "" when neither gives one.
std::string OwnDataDirectory(const BackupFolder& backup, const platform::DriveMap& drives);

struct RestoreRequest {
  std::string host_data_directory;  // where to restore
  std::string data_directory;       // the same as the operator names it, for the kept folder
  std::string own_data_directory;   // the folder's own directory (OwnDataDirectory), or ""
  // The operator named `host_data_directory` explicitly: it need not be
  // the folder's own.
  bool into = false;
  // Replace databases changed since the run, or with no digest to tell.
  bool force = false;
  std::chrono::system_clock::time_point now;  // dates the folder keeping what is replaced
};

// What a restore would replace that the run did not leave as it is.
struct RestoreCheck {
  std::vector<std::string> changed;     // the file's digest differs from the run's
  std::vector<std::string> unrecorded;  // the run recorded no digest for it
};

// Everything a restore checks before it touches a file. Fails with 3001
// naming what stands in the way: a symbolic link inside the folder, a
// directory that is not the folder's own (unless `into`; also when the own
// one is not known), a database changed since the run or with no digest
// (unless `force`; each named); with 76 when the directory is missing and
// 3024 when a copy the manifest names is missing from the folder. A
// database no longer in the directory counts as unchanged: restoring it
// discards nothing. A backup of a server's databases restores only into a
// server location and a folder of files only into a directory (3001);
// a server that cannot be reached fails with 3151.
RestoreCheck CheckRestore(const BackupFolder& backup, const RestoreRequest& request);

// What a restore did to one file.
struct RestoredFile {
  std::string name;
  std::string action;  // "restored", "moved aside" (a database the run copied in)
};

struct RestoreResult {
  std::vector<RestoredFile> done;
  // The backup folder (made as BackUpDatabases makes one) that keeps the
  // databases as they were before the restore, with the digests of what
  // the restore left; "" when there was none to keep.
  std::string kept_folder;
};

// Checks as CheckRestore does, keeps every database it will replace in a
// new backup folder of `request.host_data_directory`, then puts every
// database of `backup` back (replacing the file's content in one
// transaction) and moves each database the run copied in into
// "<folder>/copied-in/", so that the directory is as it was before the
// run. On a server, each schema is put back whole in one transaction (one
// that fails leaves the schema as it was), and each schema the run copied
// in is kept as "<folder>/copied-in/NAME.mdb.dump", then dropped.
// Nothing is touched when a check or the keeping fails. Otherwise
// stops at the first failure with the engine's error naming the file;
// `result` then tells what was already restored and where the replaced
// databases are kept.
void RestoreDatabases(const BackupFolder& backup, const RestoreRequest& request,
                      RestoreResult& result);

}  // namespace actualiz::app
