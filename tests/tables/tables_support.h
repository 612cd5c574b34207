// Helpers of the table and batch tests: databases described in a few words,
// laid out on the test site, and read back.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/db_builder.h"
#include "tests/support/window_fixture.h"

namespace actualiz::testing {

struct FieldSpec {
  std::string name;
  int type = 10;
  int size = 50;
};

// {"name": ..., "fields": [...]} with each field's zero-length rule off.
inline nlohmann::json Table(const std::string& name, const std::vector<FieldSpec>& fields) {
  nlohmann::json list = nlohmann::json::array();
  for (const FieldSpec& f : fields) {
    list.push_back({{"name", f.name}, {"type", f.type}, {"size", f.size}});
  }
  return {{"name", name}, {"fields", list}};
}

inline std::string Database(const std::vector<nlohmann::json>& tables) {
  return nlohmann::json{{"tables", tables}}.dump();
}

// Builds a database at a Windows path of the site.
inline void Build(TestSite& site, const std::string& windows_path,
                  const std::vector<nlohmann::json>& tables) {
  BuildDatabase(site.Host(windows_path), Database(tables));
}

// The fields of one table of a database on the site, as "name type size
// zero-length" lines in the table's order; empty when there is no such table.
inline std::vector<std::string> FieldsOf(TestSite& site, const std::string& windows_path,
                                         const std::string& table) {
  std::vector<std::string> out;
  const nlohmann::json description = DescribeFile(site.Host(windows_path));
  for (const auto& t : description["tables"]) {
    if (t["name"] != table) continue;
    for (const auto& f : t["fields"]) {
      out.push_back(f["name"].get<std::string>() + " " + std::to_string(f["type"].get<int>()) +
                    " " + std::to_string(f["size"].get<int>()) +
                    (f["allowZeroLength"].get<bool>() ? " azl" : ""));
    }
  }
  return out;
}

// The window as the program starts it, with the run log emptied of what the
// start-up recorded (the default data directory is missing on a test site).
inline std::unique_ptr<app::Actualiz> StartedWindow(TestSite& site) {
  std::unique_ptr<app::Actualiz> window = site.MakeWindow();
  window->Log().Clear();
  return window;
}

inline std::vector<std::string> TablesOf(TestSite& site, const std::string& windows_path) {
  std::vector<std::string> out;
  const nlohmann::json description = DescribeFile(site.Host(windows_path));
  for (const auto& t : description["tables"]) {
    out.push_back(t["name"].get<std::string>());
  }
  return out;
}

}  // namespace actualiz::testing
