// Converting Access files into databases in our own format: one into a new
// file, or every Access file of a directory in place.
//
// In place, the original moves to DIR/.actualiz-backups/ and the converted
// database takes its name (an .accdb becomes .mdb). The steps are ordered
// so that the customer database is under its name at every instant, and a
// run killed at any step is finished by the next:
//  1. the converted database is built under a hidden name beside it;
//  2. the original is kept in the backups (unless a killed run kept it);
//  3. the converted database takes the original's name in one rename, or,
//     for an .accdb, is linked as the .mdb and then the .accdb goes.
// A .mdb beside an .accdb whose original the backups keep is such a run's
// step 3 half done: the .accdb is removed and nothing converted again.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/error.h"
#include "engine/accessfile/import.h"
#include "platform/drive_map.h"

namespace actualiz::app {

// One step of an in-place conversion, told as it happens.
struct ImportStep {
  enum class Kind {
    kPutBack,    // an original an older, interrupted run left only in the backups is back
    kConverted,  // `file` was converted into `converted`
    kFinished,   // an interrupted run's conversion of `file` was finished
    kFailed,     // `file` could not be converted; the others go on
  };
  Kind kind = Kind::kConverted;
  std::string file;             // host path of the Access file
  std::string converted;        // kConverted, kFinished: the database that took its place
  std::string kept;             // kPutBack: the backup it was put back from
  engine::ImportReport report;  // kConverted
  // kFailed: the program's failure, or the file system's message when the
  // file system failed (`error` then empty).
  std::optional<Error> error;
  std::string system_error;
};

// Converts every Access file directly in `host_directory` in place (see
// above), in name order, telling `told` of each step. First puts back the
// originals that older versions, killed between their two renames, left
// only in the backups. Returns how many Access files were found. `drives`
// copies a backup where the file system gives no second name for a file.
int ImportInPlace(const std::string& host_directory, const platform::DriveMap& drives,
                  const std::function<void(const ImportStep&)>& told);

// Converts the Access file `source` into a new database `target` (host
// paths; `source_name` and `target_name` as the operator gave them, for the
// errors). The database is built beside `target` and linked into place
// whole: a run killed on the way leaves only a hidden temporary, which the
// next import removes. 3204 when `target` exists; the engine's errors as
// ImportDatabase raises them.
engine::ImportReport ImportIntoNew(const std::string& source, const std::string& target,
                                   const std::string& source_name, const std::string& target_name);

}  // namespace actualiz::app
