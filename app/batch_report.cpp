#include "app/batch_report.h"

#include <algorithm>
#include <map>
#include <sstream>

namespace actualiz::app {

namespace {

// The three kinds of object the chains replace: dropped from the target,
// then created from the model.
struct Replaced {
  const char* title;    // "indexes"
  const char* dropped;  // the change kind of a drop
  const char* created;  // the change kind of a creation
};
constexpr Replaced kReplaced[] = {
    {"indexes", "index dropped", "index created"},
    {"relations", "relation dropped", "relation created"},
    {"queries", "query dropped", "query created"},
};

// Kinds that always change a database's structure or data.
constexpr const char* kAdditions[] = {"table created", "field added", "table migrated"};

std::vector<std::string> ObjectsOf(const std::vector<Change>& changes, std::string_view kind) {
  std::vector<std::string> out;
  for (const Change& change : changes) {
    if (change.kind == kind) out.push_back(change.object);
  }
  return out;
}

struct ReplacedCounts {
  int replaced = 0;  // dropped and created again under the same name
  int dropped = 0;   // dropped only
  int created = 0;   // created only
};

ReplacedCounts CountReplaced(const std::vector<Change>& changes, const Replaced& kind) {
  std::vector<std::string> dropped = ObjectsOf(changes, kind.dropped);
  std::vector<std::string> created = ObjectsOf(changes, kind.created);
  std::sort(dropped.begin(), dropped.end());
  std::sort(created.begin(), created.end());
  std::vector<std::string> both;
  std::set_intersection(dropped.begin(), dropped.end(), created.begin(), created.end(),
                        std::back_inserter(both));
  const int replaced = static_cast<int>(both.size());
  return {replaced, static_cast<int>(dropped.size()) - replaced,
          static_cast<int>(created.size()) - replaced};
}

bool ChangesStructure(const std::vector<Change>& changes) {
  for (const char* kind : kAdditions) {
    if (!ObjectsOf(changes, kind).empty()) return true;
  }
  for (const Replaced& kind : kReplaced) {
    const ReplacedCounts counts = CountReplaced(changes, kind);
    if (counts.dropped > 0 || counts.created > 0) return true;
  }
  return false;
}

std::string StateOf(const DatabaseReport& database) {
  if (!database.failures.empty()) return "failed";
  if (database.copied) {
    return ObjectsOf(database.changes, "database copied").empty() ? "failed" : "copied";
  }
  return ChangesStructure(database.changes) ? "updated" : "up to date";
}

bool Contains(const std::vector<std::string>& items, const std::string& item) {
  return std::find(items.begin(), items.end(), item) != items.end();
}

// The stage a failure belongs to: the handler that was running, or, for a
// stage the driver called and passed over as a whole, that stage.
std::string StageOf(const Failure& failure) {
  const std::string& statement = failure.statement;
  const bool names_handler = statement.rfind("Command", 0) == 0 && statement.size() > 6 &&
                             statement.compare(statement.size() - 6, 6, "_Click") == 0;
  if (failure.handler == "Command13_Click" && names_handler) return statement;
  return failure.handler;
}

std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) {
    if (!out.empty()) out += ", ";
    out += item;
  }
  return out;
}

std::string FailureLine(const Failure& failure) {
  std::string line = StageOf(failure);
  if (!failure.statement.empty() && failure.statement != line)
    line += " (" + failure.statement + ")";
  line += ": error " + std::to_string(failure.number) + " " + failure.text;
  if (!failure.context.empty()) line += " [" + failure.context + "]";
  return line;
}

nlohmann::json FailureJson(const Failure& failure, bool with_database) {
  nlohmann::json out = {{"stage", StageOf(failure)},  {"statement", failure.statement},
                        {"number", failure.number},   {"text", failure.text},
                        {"context", failure.context}, {"passedOver", failure.passed_over}};
  if (with_database) out["database"] = failure.database;
  return out;
}

}  // namespace

int BatchReport::FailureCount() const {
  int count = static_cast<int>(other_failures.size());
  for (const DatabaseReport& database : databases) {
    count += static_cast<int>(database.failures.size());
  }
  return count;
}

int BatchReport::CountState(const std::string& state) const {
  return static_cast<int>(std::count_if(databases.begin(), databases.end(),
                                        [&](const DatabaseReport& d) { return d.state == state; }));
}

int BatchReport::CountChanges(const std::string& kind) const {
  int count = 0;
  for (const DatabaseReport& database : databases) {
    count += static_cast<int>(ObjectsOf(database.changes, kind).size());
  }
  return count;
}

BatchReport BuildBatchReport(const Actualiz& window, const RunLog& log) {
  BatchReport report;
  report.data_directory = window.Dir1.Path();
  const std::string prefix = report.data_directory + "\\";
  const std::vector<std::string>& models = window.List7.Items();
  std::vector<std::string> seen;
  for (const std::string& name : window.List6.Items()) {
    if (!Contains(models, name) || Contains(seen, name)) continue;
    seen.push_back(name);
    report.databases.push_back({name, prefix + name, false, {}, {}, {}});
  }
  for (const std::string& name : window.List8.Items()) {
    report.databases.push_back({name, prefix + name, true, {}, {}, {}});
  }

  std::map<std::string, DatabaseReport*> by_path;
  for (DatabaseReport& database : report.databases) by_path.emplace(database.path, &database);
  for (const Change& change : log.Changes()) {
    if (auto it = by_path.find(change.database); it != by_path.end()) {
      it->second->changes.push_back(change);
    } else {
      report.other_changes.push_back(change);
    }
  }
  for (const Failure& failure : log.Failures()) {
    if (auto it = by_path.find(failure.database); it != by_path.end()) {
      it->second->failures.push_back(failure);
    } else {
      report.other_failures.push_back(failure);
    }
  }
  for (DatabaseReport& database : report.databases) database.state = StateOf(database);
  return report;
}

RunLog EntriesSince(const RunLog& log, size_t failures, size_t changes) {
  RunLog since;
  for (size_t i = failures; i < log.Failures().size(); ++i) since.Record(log.Failures()[i]);
  for (size_t i = changes; i < log.Changes().size(); ++i) since.Record(log.Changes()[i]);
  return since;
}

std::string FormatBatchReport(const BatchReport& report) {
  std::ostringstream out;
  const int pairs = static_cast<int>(std::count_if(report.databases.begin(), report.databases.end(),
                                                   [](auto& d) { return !d.copied; }));
  out << "Batch over " << report.data_directory << ": " << pairs << " database pair"
      << (pairs == 1 ? "" : "s") << ", " << report.CountState("copied") << " copied, "
      << report.FailureCount() << " failure" << (report.FailureCount() == 1 ? "" : "s")
      << " passed over\n";
  for (const DatabaseReport& database : report.databases) {
    out << "\n" << database.name << ": " << database.state << "\n";
    const std::vector<std::string> tables = ObjectsOf(database.changes, "table created");
    if (!tables.empty()) out << "  tables created: " << Join(tables) << "\n";
    const std::vector<std::string> fields = ObjectsOf(database.changes, "field added");
    if (!fields.empty()) out << "  fields added: " << Join(fields) << "\n";
    const std::vector<std::string> migrated = ObjectsOf(database.changes, "table migrated");
    if (!migrated.empty()) out << "  tables migrated: " << Join(migrated) << "\n";
    for (const Replaced& kind : kReplaced) {
      const ReplacedCounts counts = CountReplaced(database.changes, kind);
      if (counts.replaced + counts.dropped + counts.created == 0) continue;
      std::vector<std::string> parts;
      if (counts.replaced > 0) parts.push_back(std::to_string(counts.replaced) + " replaced");
      if (counts.dropped > 0) parts.push_back(std::to_string(counts.dropped) + " dropped");
      if (counts.created > 0) parts.push_back(std::to_string(counts.created) + " created");
      out << "  " << kind.title << ": " << Join(parts) << "\n";
    }
    if (database.copied && database.state == "copied")
      out << "  copied to " << database.path << "\n";
    for (const Failure& failure : database.failures)
      out << "  failed: " << FailureLine(failure) << "\n";
  }
  if (!report.other_changes.empty()) {
    out << "\nOther changes:\n";
    for (const Change& change : report.other_changes) {
      out << "  " << change.kind << ": " << change.object << " in " << change.database << "\n";
    }
  }
  if (!report.other_failures.empty()) {
    out << "\nOther failures:\n";
    for (const Failure& failure : report.other_failures) {
      out << "  " << (failure.database.empty() ? "" : failure.database + ": ")
          << FailureLine(failure) << "\n";
    }
  }
  return out.str();
}

nlohmann::json BatchReportJson(const BatchReport& report) {
  nlohmann::json databases = nlohmann::json::array();
  for (const DatabaseReport& database : report.databases) {
    nlohmann::json changes = nlohmann::json::array();
    for (const Change& change : database.changes) {
      changes.push_back(
          {{"stage", change.handler}, {"kind", change.kind}, {"object", change.object}});
    }
    nlohmann::json failures = nlohmann::json::array();
    for (const Failure& failure : database.failures)
      failures.push_back(FailureJson(failure, false));
    databases.push_back({{"name", database.name},
                         {"path", database.path},
                         {"state", database.state},
                         {"changes", changes},
                         {"failures", failures}});
  }
  nlohmann::json other_changes = nlohmann::json::array();
  for (const Change& change : report.other_changes) {
    other_changes.push_back({{"stage", change.handler},
                             {"database", change.database},
                             {"kind", change.kind},
                             {"object", change.object}});
  }
  nlohmann::json other_failures = nlohmann::json::array();
  for (const Failure& failure : report.other_failures) {
    other_failures.push_back(FailureJson(failure, true));
  }
  const int pairs = static_cast<int>(std::count_if(report.databases.begin(), report.databases.end(),
                                                   [](auto& d) { return !d.copied; }));
  nlohmann::json totals = {{"pairs", pairs},
                           {"updated", report.CountState("updated")},
                           {"upToDate", report.CountState("up to date")},
                           {"copied", report.CountState("copied")},
                           {"failed", report.CountState("failed")},
                           {"tablesCreated", report.CountChanges("table created")},
                           {"fieldsAdded", report.CountChanges("field added")},
                           {"indexesDropped", report.CountChanges("index dropped")},
                           {"indexesCreated", report.CountChanges("index created")},
                           {"relationsDropped", report.CountChanges("relation dropped")},
                           {"relationsCreated", report.CountChanges("relation created")},
                           {"queriesDropped", report.CountChanges("query dropped")},
                           {"queriesCreated", report.CountChanges("query created")},
                           {"failures", report.FailureCount()}};
  return {{"dataDirectory", report.data_directory},
          {"databases", databases},
          {"otherChanges", other_changes},
          {"otherFailures", other_failures},
          {"totals", totals}};
}

}  // namespace actualiz::app
