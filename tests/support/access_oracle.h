// What Debian's mdbtools, an independent reader of Access files, reads from
// a file: its tables and how many rows each holds. The reader's tests
// compare the engine against it. scripts/install-deps.sh installs it.
#pragma once

#include <string>
#include <vector>

namespace actualiz::testing {

// The records of CSV `text`: fields separated by commas, quoted fields may
// hold commas, line breaks and doubled quotes. A final line end ends the
// last record; it does not start another.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text);

// True when mdb-tables and mdb-export can be run.
bool MdbToolsInstalled();

// Every table mdb-tables lists in `file`, system tables included, in its order.
// Fails the calling test (and returns nothing) when mdb-tables fails.
std::vector<std::string> MdbTables(const std::string& file);

// The number of rows mdb-export writes for `table` of `file`; -1 (and a
// failure of the calling test) when mdb-export fails.
long MdbRowCount(const std::string& file, const std::string& table);

}  // namespace actualiz::testing
