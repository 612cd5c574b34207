// Real database files for tests, made from and read back as JSON
// descriptions (see engine/description.h for the format).
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace actualiz::testing {

// Creates a new database file at `host_path` from `json_text`. Throws
// actualiz::Error naming the JSON place when the text is not a valid
// description, and 3204 when the file already exists; no file is left
// behind by a failure.
void BuildDatabase(const std::string& host_path, const std::string& json_text);

// The description of the database at `host_path` (user objects only), with
// each table's rows when `rows` is true. The file is opened and closed again.
nlohmann::json DescribeFile(const std::string& host_path, bool rows = false);

// Runs `sql` straight on the file at `host_path`, as another program would
// (work done on a database outside this system). Throws std::runtime_error
// with SQLite's message when it fails.
void RunSql(const std::string& host_path, const std::string& sql);

}  // namespace actualiz::testing
