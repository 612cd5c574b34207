#include "tests/support/server_site.h"

#include "base/server_address.h"
#include "engine/description/description.h"
#include "engine/engine.h"
#include "tests/support/db_builder.h"
#include "tests/support/pg_server.h"

namespace actualiz::testing {

namespace fs = std::filesystem;

namespace {

bool IsDatabaseFile(const fs::directory_entry& entry) {
  return entry.is_regular_file() && entry.path().extension() == ".mdb";
}

}  // namespace

std::string CopyToServer(const fs::path& directory) {
  const std::string location = PgServer::Get().FreshDatabase();
  for (const auto& entry : fs::directory_iterator(directory)) {
    if (!IsDatabaseFile(entry)) continue;
    const std::string name = entry.path().filename().string();
    engine::CreateFromDescription(ServerDatabasePath(location, name),
                                  DescribeFile(entry.path().string(), true));
  }
  return location;
}

nlohmann::json ServerStructures(const std::string& location, bool rows) {
  nlohmann::json all = nlohmann::json::object();
  for (const std::string& name : engine::ListServerDatabases(location)) {
    all[name] = DescribeFile(ServerDatabasePath(location, name), rows);
  }
  return all;
}

nlohmann::json FileStructures(const fs::path& directory, bool rows) {
  nlohmann::json all = nlohmann::json::object();
  for (const auto& entry : fs::directory_iterator(directory)) {
    if (IsDatabaseFile(entry)) {
      all[entry.path().filename().string()] = DescribeFile(entry.path().string(), rows);
    }
  }
  return all;
}

}  // namespace actualiz::testing
