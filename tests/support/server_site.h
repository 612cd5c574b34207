// Data directories on the test program's PostgreSQL server (pg_server.h),
// made from data directories of files: each "NAME.mdb" file becomes schema
// NAME of a fresh server database with the same tables, indexes, relations,
// queries and rows, through the engine's own description of the file.
#pragma once

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

namespace actualiz::testing {

// Makes a fresh database on the test server holding, as schemas, every
// "*.mdb" database file directly in the host directory `directory`;
// returns its URL (the data directory's location). Throws when a file
// cannot be described or a schema cannot be made.
std::string CopyToServer(const std::filesystem::path& directory);

// The description of every customer database of the server location
// `location`, by file name ("NAME.mdb"), with rows when `rows` is true: what
// DemoSite::Structures gives for a directory of files.
nlohmann::json ServerStructures(const std::string& location, bool rows = false);

// The description of every "*.mdb" database file of the host directory
// `directory`, by file name, with rows when `rows` is true.
nlohmann::json FileStructures(const std::filesystem::path& directory, bool rows = false);

}  // namespace actualiz::testing
