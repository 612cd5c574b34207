#include "app/import_into_schema.h"

#include "base/error.h"
#include "base/server_address.h"
#include "engine/description/description.h"
#include "engine/engine.h"
#include "platform/temporary_directory.h"

namespace actualiz::app {

namespace {

// 3204 when the schema at `address` is there, whatever it holds: the
// conversion is not worth starting then. A schema the engine refuses to
// open (one that is not ours) is there too.
void RefuseExisting(engine::Session& session, const std::string& address) {
  try {
    engine::OpenDatabase(session, address, address)->Close();
  } catch (const Error& e) {
    if (e.Number() == err::kFileNotFound) return;
    if (e.Number() != err::kUnrecognizedFormat) throw;
  }
  throw MakeError(err::kDatabaseExists, "'" + address + "'");
}

}  // namespace

engine::ImportReport ImportIntoSchema(const std::string& source, const std::string& target,
                                      const std::string& source_name) {
  const std::optional<ServerAddress> address = ParseServerAddress(target);
  if (!address || address->schema.empty()) {
    throw MakeError(err::kInvalidPath, {target},
                    "'" + target + "': not a customer database's address on a server");
  }
  const std::string name = address->Display();
  engine::Session session;
  RefuseExisting(session, name);

  platform::TemporaryDirectory work("actualiz-import-", "conversion of '" + source_name + "'");
  const std::string converted = (work.Path() / "converted.mdb").string();
  const engine::ImportReport report =
      engine::ImportDatabase(session, source, converted, source_name, name);
  nlohmann::json description;
  {
    engine::DatabasePtr database = engine::OpenDatabase(session, converted, name);
    description = engine::Describe(*database, {.rows = true});
    database->Close();
  }
  // The schema is made and filled in one transaction: an import that
  // fails or is killed leaves no schema behind.
  engine::CreateFromDescription(session, name, description, name);
  return report;
}

}  // namespace actualiz::app
