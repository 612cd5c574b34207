// Debian's mdbtools, an independent reader of Access files, run as a check
// of a changed file: its schema and the rows of each table as it reads them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace actualiz::engine::jet {

// The programs used, each as found on PATH; empty when one is missing.
std::vector<std::string> MissingMdbTools();

// What mdb-schema writes for the file at `path`; nothing when it fails.
std::optional<std::string> MdbSchema(const std::string& path);

// The records mdb-export writes for table `table` of the file at `path`
// (the first holds the column names; binary values as hex digits);
// nothing when it fails.
std::optional<std::vector<std::vector<std::string>>> MdbExport(const std::string& path,
                                                               const std::string& table);

// The user tables mdb-tables lists for the file at `path`, one a name;
// nothing when it fails.
std::optional<std::vector<std::string>> MdbTables(const std::string& path);

// The records of CSV `text`: fields separated by commas, quoted fields may
// hold commas, line breaks and doubled quotes. A final line end ends the
// last record; it does not start another.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text);

}  // namespace actualiz::engine::jet
