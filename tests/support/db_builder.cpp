#include "tests/support/db_builder.h"

#include "engine/description.h"
#include "engine/engine.h"

namespace actualiz::testing {

void BuildDatabase(const std::string& host_path, const std::string& json_text) {
  engine::CreateFromDescription(host_path, engine::ParseDescription(json_text));
}

nlohmann::json DescribeFile(const std::string& host_path, bool rows) {
  engine::DatabasePtr database = engine::OpenDatabase(host_path);
  nlohmann::json description = engine::Describe(*database, {.system = false, .rows = rows});
  database->Close();
  return description;
}

}  // namespace actualiz::testing
