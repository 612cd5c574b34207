#include "tests/support/server_databases.h"

#include "base/server_address.h"
#include "engine/description/description.h"
#include "engine/engine.h"
#include "tests/support/own_session.h"
#include "tests/support/pg_server.h"

namespace actualiz::testing {

nlohmann::json DescribeOnServer(const std::string& location, const std::string& name) {
  engine::DatabasePtr database = OpenInOwnSession(ServerDatabasePath(location, name));
  nlohmann::json description = engine::Describe(*database, {.system = true, .rows = true});
  database->Close();
  return description;
}

void CopyFilesToServer(const std::filesystem::path& directory, const std::string& location) {
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    if (!entry.is_regular_file() || entry.path().extension() != ".mdb") continue;
    engine::DatabasePtr file = OpenInOwnSession(entry.path().string());
    const nlohmann::json description = engine::Describe(*file, {.rows = true});
    file->Close();
    engine::CreateFromDescription(ServerDatabasePath(location, entry.path().filename().string()),
                                  description);
  }
}

void RunOnServer(const std::string& location, const std::string& sql) {
  PgServer::Get().Run(ParseServerAddress(location)->database, sql);
}

}  // namespace actualiz::testing
