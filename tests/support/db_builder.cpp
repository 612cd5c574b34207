#include "tests/support/db_builder.h"

#include <sqlite3.h>

#include <stdexcept>

#include "engine/description/description.h"
#include "engine/engine.h"
#include "tests/support/own_session.h"

namespace actualiz::testing {

void BuildDatabase(const std::string& host_path, const std::string& json_text) {
  engine::CreateFromDescription(host_path, engine::ParseDescription(json_text));
}

nlohmann::json DescribeFile(const std::string& host_path, bool rows) {
  engine::DatabasePtr database = testing::OpenInOwnSession(host_path);
  nlohmann::json description = engine::Describe(*database, {.system = false, .rows = rows});
  database->Close();
  return description;
}

void RunSql(const std::string& host_path, const std::string& sql) {
  sqlite3* db = nullptr;
  char* message = nullptr;
  int rc = sqlite3_open_v2(host_path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  const std::string error = message != nullptr ? message : db != nullptr ? sqlite3_errmsg(db) : "";
  sqlite3_free(message);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error(host_path + ": " + sql + ": " + error);
}

}  // namespace actualiz::testing
