#include "engine/accessfile/import.h"

#include <filesystem>
#include <fstream>

#include "base/error.h"
#include "engine/accessfile/jet_storage.h"
#include "engine/description/description.h"
#include "engine/engine.h"

namespace actualiz::engine {

namespace {

constexpr int kBinary = 9;    // fixed-length binary of Access files
constexpr int kDecimal = 20;  // scaled decimal of Access files

// Changes field types the engine's format does not have into the nearest it
// has, noting each change.
void MapFieldTypes(nlohmann::json& table, ImportReport& report) {
  for (auto& field : table["fields"]) {
    const int type = field["type"].get<int>();
    const std::string where =
        "field '" + table["name"].get<std::string>() + "." + field["name"].get<std::string>() + "'";
    if (type == kBinary) {
      field["type"] = static_cast<int>(dbLongBinary);
      field["size"] = 0;
      report.not_carried.push_back(where + ": Binary stored as Long binary");
    } else if (type == kDecimal) {
      field["type"] = static_cast<int>(dbDouble);
      field["size"] = 8;
      report.not_carried.push_back(where +
                                   ": Decimal stored as Double (about 15 significant digits)");
    }
  }
}

void AddRelation(Database& database, const nlohmann::json& r) {
  RelationPtr relation = database.CreateRelation(
      r["name"].get<std::string>(), r["table"].get<std::string>(),
      r["foreignTable"].get<std::string>(), r["attributes"].get<std::int32_t>());
  for (const auto& pair : r["fields"]) {
    FieldPtr field = relation->CreateField(pair["name"].get<std::string>());
    field->SetForeignName(pair["foreignName"].get<std::string>());
    relation->Fields().Append(field);
  }
  database.Relations().Append(relation);
}

// The failure's number and the first line of its text.
std::string Why(const Error& e) {
  const std::string text = e.Text().substr(0, e.Text().find_first_of("\r\n"));
  return "error " + std::to_string(e.Number()) + ": " + text;
}

}  // namespace

bool IsAccessFile(const std::string& host_path) {
  unsigned char header[32] = {};
  std::ifstream in(host_path, std::ios::binary);
  if (!in) return false;
  in.read(reinterpret_cast<char*>(header), sizeof header);
  return IsAccessHeader(header, static_cast<std::size_t>(in.gcount()));
}

ImportReport ImportDatabase(const std::string& source_path, const std::string& target_path,
                            const std::string& source_name, const std::string& target_name) {
  Session session;
  return ImportDatabase(session, source_path, target_path, source_name, target_name);
}

ImportReport ImportDatabase(Session& session, const std::string& source_path,
                            const std::string& target_path, const std::string& source_name,
                            const std::string& target_name) {
  const std::string target = target_name.empty() ? target_path : target_name;
  std::error_code ec;
  if (std::filesystem::symlink_status(target_path, ec).type() !=
      std::filesystem::file_type::not_found) {
    throw MakeError(err::kDatabaseExists, "'" + target + "'");
  }
  nlohmann::json description;
  {
    DatabasePtr source = OpenDatabase(session, source_path, source_name);
    description = Describe(*source, {.system = false, .rows = true});
    source->Close();
  }
  ImportReport report;
  nlohmann::json relations = description["relations"];
  nlohmann::json queries = description["queries"];
  description["relations"] = nlohmann::json::array();
  description["queries"] = nlohmann::json::array();
  for (auto& table : description["tables"]) {
    MapFieldTypes(table, report);
    ++report.tables;
    report.rows += static_cast<int>(table["rows"].size());
  }
  CreateFromDescription(session, target_path, description, target);
  // Relations and queries one at a time, so that one the engine refuses is
  // reported and the rest still arrive.
  try {
    DatabasePtr database = OpenDatabase(session, target_path, target);
    for (const auto& r : relations) {
      try {
        AddRelation(*database, r);
        ++report.relations;
      } catch (const Error& e) {
        report.not_carried.push_back("relation '" + r["name"].get<std::string>() + "': " + Why(e));
      }
    }
    for (const auto& q : queries) {
      try {
        database->CreateQueryDef(q["name"].get<std::string>(), q["sql"].get<std::string>());
        ++report.queries;
      } catch (const Error& e) {
        report.not_carried.push_back("query '" + q["name"].get<std::string>() + "': " + Why(e));
      }
    }
    database->Close();
  } catch (...) {
    std::filesystem::remove(target_path, ec);
    throw;
  }
  return report;
}

}  // namespace actualiz::engine
