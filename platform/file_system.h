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

// Removes the copy leftover at `path` (a Windows path) and returns true.
// Returns false, leaving it, when it is not there, is not a regular file
// (a link, a directory), or a copy is still writing it (the copy holds the
// file's lock until it ends; a killed copy holds none), or its file system
// has no such locks to tell. 70 "Permission denied" naming it when it
// cannot be removed.
bool RemoveCopyLeftover(const DriveMap& drives, std::string_view path);

// The directory that holds the running program, as a host path.
std::string ExecutableDirectory();

}  // namespace actualiz::platform
