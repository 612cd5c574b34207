// The read-only comparison behind a quick "up to date" (app/quick_check.h).
//
// Easy to get wrong: names are compared exactly, as the batch pairs them; a
// model field "Email" beside a target field "email" is one the table walk
// tries to add (and the engine refuses), so it is never "up to date".
#include "app/quick_check.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "app/catalogues.h"
#include "app/database_pair.h"
#include "app/run_locks.h"
#include "base/server_address.h"
#include "engine/description/description.h"
#include "platform/file_system.h"
#include "queries/statement_text.h"

namespace actualiz::app {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// The list `key` of `object`; an empty one when it has none.
const json& List(const json& object, const char* key) {
  static const json kNone = json::array();
  if (!object.is_object()) return kNone;
  auto it = object.find(key);
  return it != object.end() && it->is_array() ? *it : kNone;
}

const json* Named(const json& list, const std::string& name) {
  for (const json& item : list) {
    if (item.is_object() && item.value("name", "") == name) return &item;
  }
  return nullptr;
}

// Every model table is in the target under its very name, with every one
// of the model's fields under its very name.
bool TablesAndFieldsPresent(const json& model, const json& target) {
  for (const json& table : List(model, "tables")) {
    const json* there = Named(List(target, "tables"), table.value("name", ""));
    if (!there) return false;
    for (const json& field : List(table, "fields")) {
      if (!Named(List(*there, "fields"), field.value("name", ""))) return false;
    }
  }
  return true;
}

// The indexes of every table as text, each with its table's name, sorted.
std::vector<std::string> Indexes(const json& description) {
  std::vector<std::string> out;
  for (const json& table : List(description, "tables")) {
    for (const json& index : List(table, "indexes")) {
      out.push_back(json{{"table", table.value("name", "")}, {"index", index}}.dump());
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The objects of the list `key` as text, sorted.
std::vector<std::string> Objects(const json& description, const char* key) {
  std::vector<std::string> out;
  for (const json& object : List(description, key)) out.push_back(object.dump());
  std::sort(out.begin(), out.end());
  return out;
}

json DescribeFile(engine::Session& session, const std::string& host, const std::string& name) {
  engine::DatabasePtr database = engine::OpenDatabase(session, host, name);
  json description = engine::Describe(*database);
  database->Close();
  return description;
}

// The pair `name` of `window` passes StructureUpToDate, both read where
// they are. A failure to read either travels to the caller.
bool PairUpToDate(const Actualiz& window, const std::string& name, bool server) {
  const DatabasePair pair = PairFor(window, name);
  const platform::DriveMap& drives = window.Env().drives;
  engine::Session session;
  const json model = DescribeFile(session, drives.ToHost(pair.model), pair.model);
  const json target = server ? DescribeFile(session, pair.target, pair.target)
                             : DescribeFile(session, drives.ToHost(pair.target), pair.target);
  return StructureUpToDate(model, target);
}

}  // namespace

bool StructureUpToDate(const json& model, const json& target) {
  // The query chain carries each statement on one line, and so leaves it.
  json carried = model;
  for (json& query : carried["queries"]) {
    if (query.is_object() && query.contains("sql") && query["sql"].is_string()) {
      query["sql"] = OnOneLine(query["sql"].get<std::string>());
    }
  }
  return TablesAndFieldsPresent(model, target) && Indexes(model) == Indexes(target) &&
         Objects(model, "relations") == Objects(target, "relations") &&
         Objects(carried, "queries") == Objects(target, "queries");
}

std::optional<Plan> QuickPlan(const Environment& env, const std::string& data_directory) {
  const platform::DriveMap& drives = env.drives;
  std::string data = data_directory;
  std::string shown;  // the data directory as the plan names it
  std::string locked;
  const bool server = IsServerAddress(data_directory);
  if (server) {
    const std::optional<ServerAddress> address = ParseServerAddress(data_directory);
    if (!address || !address->schema.empty()) return std::nullopt;
    shown = address->Display();
    data = shown;
    locked = shown;
  } else {
    if (!platform::DriveMap::DriveOf(data)) {
      const std::optional<std::string> windows = drives.FromHost(drives.ToHost(data));
      if (!windows) return std::nullopt;
      data = *windows;
    }
    locked = drives.ToHost(data);
    if (!fs::is_directory(locked)) return std::nullopt;
  }
  // Never a catalogue or a database half-way through another run's change.
  const RunLocks locks = LockRun(env, true, {locked}, platform::LockMode::kShared, "actualiz plan");
  try {
    // The window on the real drives, as the plan's scratch window is built:
    // no run log of its own, nothing it could be asked to stop.
    Environment real;
    real.drives = drives;
    real.program_dir = env.program_dir;
    real.op = env.op;
    Actualiz window(real);
    window.Activate();
    if (window.List7.ListCount() == 0) return std::nullopt;
    window.Dir1.SetPath(data);
    if (!server) shown = window.Dir1.Path();
    // A model without its customer database would be copied in (or refused).
    const std::vector<std::string> paired = PairedTargets(window);
    for (const std::string& model : window.List7.Items()) {
      if (std::find(paired.begin(), paired.end(), model) == paired.end()) return std::nullopt;
    }
    if (!server && !platform::CopyLeftovers(drives, window.Dir1.Path()).empty()) {
      return std::nullopt;
    }
    if (!CataloguesInPlace(drives)) return std::nullopt;
    Plan plan;
    plan.report.data_directory = shown;
    for (const std::string& name : paired) {
      if (!PairUpToDate(window, name, server)) return std::nullopt;
      DatabaseReport database;
      database.name = name;
      database.path = DatabaseIn(shown, name);
      database.state = "up to date";
      plan.report.databases.push_back(std::move(database));
    }
    return plan;
  } catch (const Error&) {
    return std::nullopt;  // whatever could not be read, the exact plan reports
  } catch (const ProgramEnded&) {
    return std::nullopt;
  }
}

}  // namespace actualiz::app
