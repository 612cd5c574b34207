// Consistent copies of database files.
//
// A database may be open in another handle or process while it is copied,
// so a plain file copy could catch half of a change. These copies read the
// source as one snapshot (a writer in the middle of a change is waited
// for): a new copy is the file's bytes, copied while a read transaction
// keeps every writer out of the file, and put in place only once whole; a
// replaced destination is written through SQLite's online backup in one
// transaction of its own, so it is either the whole snapshot or what it was
// before.
#pragma once

#include <string>
#include <vector>

namespace actualiz::engine {

enum class CopyTarget {
  kNew,      // the destination must not exist: 3204 when it does
  kReplace,  // an existing destination database is overwritten whole
};

// Copies the database at host path `from` into host path `to`. `from` is
// only read. With kNew a failure leaves no file at `to`; with kReplace a
// failure leaves `to` as it was. Fails with 3024 when `from` is missing,
// 3343 when it is not a database of ours (an Access file, a damaged or
// foreign file, a directory), 3045 when a lock is held past the wait, 3049
// when `to` cannot be written or `from` holds a change that did not finish
// (a journal to roll back: `from` is only read, so it is not rolled back
// here). Errors name the file concerned. A new copy is byte for byte the
// source, except for a source in WAL mode, which is copied page by page.
void CopyDatabase(const std::string& from, const std::string& to, CopyTarget target);

// Whether the databases at host paths `first` and `second` hold the same
// rows, value for value (type and bytes, so "ana" and "ANA" or 1 and 1.0
// differ) and in the same order, in each of `tables` (names both have, with
// the same fields). Reads each file in one read transaction, one row of
// each at a time. Fails with the engine's error naming the file when one
// cannot be opened or a table cannot be read.
bool SameRows(const std::string& first, const std::string& second,
              const std::vector<std::string>& tables);

}  // namespace actualiz::engine
