// Customer databases on the tests' own server (pg_server.h), made from and
// read back as descriptions, as db_builder.h does with files.
#pragma once

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

namespace actualiz::testing {

// The whole of schema `name` ("clientes.mdb") of the server location: its
// description with the engine's own tables and every table's rows, which a
// restore must give back exactly.
nlohmann::json DescribeOnServer(const std::string& location, const std::string& name);

// Makes a schema of the location from each database file of `directory`
// (its description with rows), under the file's name.
void CopyFilesToServer(const std::filesystem::path& directory, const std::string& location);

// Runs `sql` in the server database of the location, as another program
// would.
void RunOnServer(const std::string& location, const std::string& sql);

}  // namespace actualiz::testing
