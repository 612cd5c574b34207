#include "app/server_backups.h"

#include "base/error.h"
#include "base/server_address.h"
#include "base/sha256.h"
#include "engine/description/description.h"
#include "engine/engine.h"
#include "engine/postgres/pg_programs.h"

namespace actualiz::app {

namespace {

ServerAddress AddressOf(const std::string& location, const std::string& name) {
  return *ParseServerAddress(ServerDatabasePath(location, name));
}

}  // namespace

std::string DumpFileName(const std::string& name) { return name + ".dump"; }

std::string LocationName(const std::string& location) {
  const std::optional<ServerAddress> address = ParseServerAddress(location);
  return address ? address->Location().Display() : location;
}

bool SameLocation(const std::string& a, const std::string& b) {
  try {
    const std::optional<ServerAddress> first = ParseServerAddress(a);
    const std::optional<ServerAddress> second = ParseServerAddress(b);
    return first && second && first->Location().Display() == second->Location().Display();
  } catch (const Error&) {
    return false;
  }
}

std::set<std::string> DatabasesOnServer(const std::string& location) {
  const std::vector<std::string> names = engine::ListServerDatabases(location);
  return {names.begin(), names.end()};
}

std::optional<std::string> SchemaDigest(const std::string& location, const std::string& name) {
  const std::string address = ServerDatabasePath(location, name);
  try {
    engine::Session session;
    const engine::DatabasePtr database = engine::OpenDatabase(session, address);
    const std::string description =
        engine::Describe(*database, {.system = true, .rows = true}).dump();
    database->Close();
    return Sha256Hex(description);
  } catch (const Error& e) {
    if (e.Number() == err::kFileNotFound) return std::nullopt;
    if (e.Number() == err::kUnrecognizedFormat) return "";
    throw;
  }
}

void DumpDatabase(const std::string& location, const std::string& name, const std::string& path) {
  const ServerAddress address = AddressOf(location, name);
  engine::DumpSchema(address, path, address.Display());
}

void RestoreDatabase(const std::string& location, const std::string& name,
                     const std::string& path) {
  const ServerAddress address = AddressOf(location, name);
  engine::RestoreSchema(address, path, address.Display());
}

void DropDatabase(const std::string& location, const std::string& name) {
  const ServerAddress address = AddressOf(location, name);
  engine::DropSchemaNow(address, address.Display());
}

}  // namespace actualiz::app
