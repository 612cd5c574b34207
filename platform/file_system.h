// Directory listing, existence checks and file copy, on Windows paths
// resolved through the drive map.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/drive_map.h"

namespace actualiz::platform {

// The entries of a directory that match a wildcard pattern, Windows style:
// "*" and "?" matched without regard to case, files and directories alike,
// hidden entries (names starting with ".") skipped except "." and "..",
// sorted as the file systems those paths come from return them (by name
// folded to upper case). Used one entry at a time: First, then Next until it
// returns "".
class DirectoryLister {
 public:
  explicit DirectoryLister(const DriveMap& drives) : drives_(drives) {}
  // The first match ("" when none), taking a new snapshot of the directory.
  // "." and ".." count as entries except at a drive root. A directory that
  // does not exist matches nothing; error 76 "Path not found" when it exists
  // but cannot be read, 68 for an unmapped drive.
  std::string First(std::string_view pattern);
  // The next match of the snapshot, "" when no more remain.
  std::string Next();

 private:
  const DriveMap& drives_;
  std::vector<std::string> entries_;
  size_t next_ = 0;
};

// All matching names at once (what First/Next return, in order).
std::vector<std::string> ListMatching(const DriveMap& drives, std::string_view pattern);

bool DirectoryExists(const DriveMap& drives, std::string_view path);
bool FileExists(const DriveMap& drives, std::string_view path);

// Copies a file. Never replaces an existing destination: error 58 "File
// already exists". Error 53 "File not found" for a missing source, 70
// "Permission denied" or 76 "Path not found" when the destination cannot be
// written. A partial copy never remains.
void CopyFileNoReplace(const DriveMap& drives, std::string_view from, std::string_view to);

// The hidden temporary files that copies killed part-way left in a
// directory (a Windows path): regular files named ".NAME.mdb.copy-N", N
// digits, as CopyFileNoReplace names its temporary for NAME.mdb; ".mdb"
// without regard to case. Names only, sorted. A directory that does not
// exist holds none; 76 when it cannot be read.
std::vector<std::string> CopyLeftovers(const DriveMap& drives, std::string_view directory);

// Whether a file name has that pattern.
bool IsCopyLeftoverName(std::string_view name);

// Removes the copy leftover at `path` (a Windows path), with a rollback
// journal beside it ("...-journal", which belongs to no other file), and
// returns true.
// Returns false, leaving it, when it is not there, is not a regular file
// (a link, a directory), or a copy is still writing it (the copy holds the
// file's lock until it ends; a killed copy holds none), or its file system
// has no such locks to tell. 70 "Permission denied" naming it when it
// cannot be removed.
bool RemoveCopyLeftover(const DriveMap& drives, std::string_view path);

// A file that another part (the engine) builds under a hidden temporary
// name beside its destination, and that is then put in place whole: the
// destination is never seen half-made. The temporary is named as copies name
// theirs, ".NAME.copy-N" beside NAME (host paths throughout), so the sweep of
// copy leftovers recognises what a killed run left. The destructor removes a
// temporary that was not put in place, with a rollback journal beside it.
class FileBuiltBeside {
 public:
  explicit FileBuiltBeside(const std::string& destination);
  ~FileBuiltBeside();
  FileBuiltBeside(const FileBuiltBeside&) = delete;
  FileBuiltBeside& operator=(const FileBuiltBeside&) = delete;

  // Where to build: a name that does not exist yet.
  const std::string& Path() const { return temporary_; }
  // Takes the temporary's lock once the builder has made the file, held
  // until it is put in place, so that no other run's sweep takes it for a
  // leftover meanwhile. Before the lock, a sweep running at that moment may
  // remove the file; putting it in place then fails (76), and nothing
  // half-made is ever placed. 70 "Permission denied" when it cannot be
  // opened.
  void Lock();
  // Writes the temporary to the disk and links it under the destination's
  // name, never replacing a file there: returns false, changing nothing,
  // when the destination exists. 70 or 76 naming the destination when it
  // cannot be linked.
  bool PlaceWithoutReplacing();
  // Writes the temporary to the disk and renames it over the destination in
  // one step: at every instant the destination's name holds the old file or
  // the new one. 70 or 76 naming the destination on failure.
  void PlaceOver();

 private:
  void Sync();
  std::string destination_;
  std::string temporary_;
  int lock_ = -1;
  bool placed_ = false;
};

// Removes what killed runs left while building `destination` (a host path):
// the regular files named ".NAME.copy-N" beside it that no live run holds
// (see RemoveCopyLeftover), with their journals. Returns how many it removed.
int RemoveLeftoversOf(const std::string& destination);

// Writes a file's contents to the disk. False when it could not.
bool SyncFile(const std::string& host_path);

// Appends `text` to the file at `host_path` (made when missing) in one
// write and writes it to the disk before returning. False when it could
// not; what was there before is never changed.
bool AppendDurably(const std::string& host_path, std::string_view text);

// Writes a directory's entries to the disk, so that a rename or link made in
// it survives a crash of the machine. False when it could not.
bool SyncDirectory(const std::string& host_directory);

// The directory that holds the running program, as a host path.
std::string ExecutableDirectory();

}  // namespace actualiz::platform
