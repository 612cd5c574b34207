#include "app/batch_report.h"

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "app/operator_advice.h"
#include "base/terminal_text.h"

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

// Whether `changes`, once the objects created again unchanged are taken
// out, change the database: any addition, and any index, relation or query
// dropped or created (replaced by another definition included).
bool ChangesStructure(const std::vector<Change>& changes) {
  for (const char* kind : kAdditions) {
    if (!ObjectsOf(changes, kind).empty()) return true;
  }
  for (const Replaced& kind : kReplaced) {
    if (!ObjectsOf(changes, kind.dropped).empty() || !ObjectsOf(changes, kind.created).empty()) {
      return true;
    }
  }
  return false;
}

// Removes from `changes` each drop of `kind` whose object a later creation
// made again with the same recorded definition, and that creation. Returns
// how many pairs it removed.
int RemoveRecreatedUnchanged(std::vector<Change>& changes, const Replaced& kind) {
  int removed = 0;
  for (size_t i = 0; i < changes.size(); ++i) {
    const Change& dropped = changes[i];
    if (dropped.kind != kind.dropped || dropped.definition.empty()) continue;
    const auto created = std::find_if(
        changes.begin() + static_cast<std::ptrdiff_t>(i) + 1, changes.end(),
        [&](const Change& c) { return c.kind == kind.created && c.object == dropped.object; });
    if (created == changes.end() || created->definition != dropped.definition) continue;
    changes.erase(created);
    changes.erase(changes.begin() + static_cast<std::ptrdiff_t>(i));
    --i;
    ++removed;
  }
  return removed;
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

// The items as one line of the text report, each safe for a terminal.
std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) {
    if (!out.empty()) out += ", ";
    out += TerminalSafe(item);
  }
  return out;
}

nlohmann::json FailureJson(const Failure& failure, bool with_database) {
  nlohmann::json out = {{"stage", StageOf(failure)},  {"statement", failure.statement},
                        {"number", failure.number},   {"text", failure.text},
                        {"context", failure.context}, {"passedOver", failure.passed_over}};
  if (with_database) out["database"] = failure.database;
  return out;
}

// The databases of the run, without their entries: the pairs (List6 entries
// with an exactly equal List7 entry, each once) in List6 order, then the
// models to copy (List8) in List8 order. In a run that was stopped, the
// pairs after the last one it began (List6.ListIndex) and the models it did
// not copy were never reached.
std::vector<DatabaseReport> ListedDatabases(const Actualiz& window) {
  std::vector<DatabaseReport> databases;
  const std::string prefix = window.Dir1.Path() + "\\";
  const std::vector<std::string>& models = window.List7.Items();
  const bool stopped = window.StopRequested();
  const std::vector<std::string>& targets = window.List6.Items();
  std::vector<std::string> seen;
  for (size_t i = 0; i < targets.size(); ++i) {
    const std::string& name = targets[i];
    if (!Contains(models, name) || Contains(seen, name)) continue;
    seen.push_back(name);
    const bool reached = !stopped || static_cast<int>(i) <= window.List6.ListIndex();
    databases.push_back({name, prefix + name, false, {}, reached, {}, {}});
  }
  for (const std::string& name : window.List8.Items()) {
    databases.push_back({name, prefix + name, true, {}, !stopped, {}, {}});
  }
  return databases;
}

std::set<std::string> PathsOf(const std::vector<DatabaseReport>& databases) {
  std::set<std::string> paths;
  for (const DatabaseReport& database : databases) paths.insert(database.path);
  return paths;
}

void LoadEntries(DatabaseReport& database, const ReportEntries& entries) {
  database.changes = entries.ChangesOf(database.path);
  database.failures = entries.FailuresOf(database.path);
  ClassifyDatabase(database);
}

// A run log read as report entries, indexed by database once.
class LogEntries : public ReportEntries {
 public:
  explicit LogEntries(const RunLog& log) : log_(log) {
    for (const Change& change : log.Changes()) changes_[change.database].push_back(&change);
    for (const Failure& failure : log.Failures()) failures_[failure.database].push_back(&failure);
  }
  std::vector<Change> ChangesOf(const std::string& database) const override {
    return Copied(changes_, database);
  }
  std::vector<Failure> FailuresOf(const std::string& database) const override {
    return Copied(failures_, database);
  }
  std::vector<Change> ChangesOutside(const std::set<std::string>& databases) const override {
    return Outside(log_.Changes(), databases);
  }
  std::vector<Failure> FailuresOutside(const std::set<std::string>& databases) const override {
    return Outside(log_.Failures(), databases);
  }

 private:
  template <typename Entry>
  static std::vector<Entry> Copied(const std::map<std::string, std::vector<const Entry*>>& index,
                                   const std::string& database) {
    std::vector<Entry> out;
    if (auto it = index.find(database); it != index.end()) {
      for (const Entry* entry : it->second) out.push_back(*entry);
    }
    return out;
  }
  template <typename Entry>
  static std::vector<Entry> Outside(const std::vector<Entry>& all,
                                    const std::set<std::string>& databases) {
    std::vector<Entry> out;
    for (const Entry& entry : all) {
      if (databases.count(entry.database) == 0) out.push_back(entry);
    }
    return out;
  }

  const RunLog& log_;
  std::map<std::string, std::vector<const Change*>> changes_;
  std::map<std::string, std::vector<const Failure*>> failures_;
};

ReportTotals TotalsOf(const BatchReport& report) {
  ReportTotals totals;
  for (const DatabaseReport& database : report.databases) totals.Add(database);
  totals.failures += static_cast<int>(report.other_failures.size());
  return totals;
}

void WriteHeader(std::ostream& out, const std::string& data_directory, const ReportTotals& totals) {
  out << "Batch over " << TerminalSafe(data_directory) << ": " << totals.pairs << " database pair"
      << (totals.pairs == 1 ? "" : "s") << ", " << totals.State("copied") << " copied, "
      << totals.failures << " failure" << (totals.failures == 1 ? "" : "s") << " passed over\n";
}

void WriteDatabase(std::ostream& out, const DatabaseReport& database) {
  out << "\n" << TerminalSafe(database.name) << ": " << database.state << "\n";
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
  for (const std::string& line : ObjectsOf(database.changes, "not carried")) {
    out << "  not carried: " << TerminalSafe(line) << "\n";
  }
  if (database.copied && database.state == "copied") {
    out << "  copied to " << TerminalSafe(database.path) << "\n";
  }
  for (const std::string& line : DistinctOperatorLines(database.failures))
    out << "  " << line << "\n";
}

void WriteOthers(std::ostream& out, const std::vector<Change>& changes,
                 const std::vector<Failure>& failures) {
  if (!changes.empty()) {
    out << "\nOther changes:\n";
    for (const Change& change : changes) {
      out << "  " << change.kind << ": " << TerminalSafe(change.object) << " in "
          << TerminalSafe(change.database) << "\n";
    }
  }
  if (!failures.empty()) {
    out << "\nOther failures:\n";
    for (const std::string& line : DistinctOperatorLines(failures)) out << "  " << line << "\n";
  }
}

nlohmann::json DatabaseJson(const DatabaseReport& database, const BackupFolder* backup) {
  nlohmann::json changes = nlohmann::json::array();
  for (const Change& change : database.changes) {
    changes.push_back(
        {{"stage", change.handler}, {"kind", change.kind}, {"object", change.object}});
  }
  nlohmann::json failures = nlohmann::json::array();
  for (const Failure& failure : database.failures) failures.push_back(FailureJson(failure, false));
  nlohmann::json out = {{"name", database.name},
                        {"path", database.path},
                        {"state", database.state},
                        {"changes", changes},
                        {"recreatedUnchanged", database.recreated_unchanged},
                        {"failures", failures}};
  if (backup != nullptr) {
    out["backup"] = Contains(backup->databases, database.name)
                        ? backup->folder + "/" + database.name
                        : std::string();
  }
  return out;
}

nlohmann::json OtherChangesJson(const std::vector<Change>& changes) {
  nlohmann::json out = nlohmann::json::array();
  for (const Change& change : changes) {
    out.push_back({{"stage", change.handler},
                   {"database", change.database},
                   {"kind", change.kind},
                   {"object", change.object}});
  }
  return out;
}

nlohmann::json OtherFailuresJson(const std::vector<Failure>& failures) {
  nlohmann::json out = nlohmann::json::array();
  for (const Failure& failure : failures) out.push_back(FailureJson(failure, true));
  return out;
}

nlohmann::json TotalsJson(const ReportTotals& totals) {
  return {{"pairs", totals.pairs},
          {"updated", totals.State("updated")},
          {"upToDate", totals.State("up to date")},
          {"copied", totals.State("copied")},
          {"failed", totals.State("failed")},
          {"notReached", totals.State("not reached")},
          {"tablesCreated", totals.Changes("table created")},
          {"fieldsAdded", totals.Changes("field added")},
          {"indexesDropped", totals.Changes("index dropped")},
          {"indexesCreated", totals.Changes("index created")},
          {"relationsDropped", totals.Changes("relation dropped")},
          {"relationsCreated", totals.Changes("relation created")},
          {"queriesDropped", totals.Changes("query dropped")},
          {"queriesCreated", totals.Changes("query created")},
          {"recreatedUnchanged", totals.recreated_unchanged},
          {"failures", totals.failures}};
}

// The whole report but its databases, which `databases` stands for.
nlohmann::json ReportJson(const std::string& data_directory, nlohmann::json databases,
                          const std::vector<Change>& other_changes,
                          const std::vector<Failure>& other_failures, const ReportTotals& totals,
                          const BackupFolder* backup) {
  nlohmann::json out = {{"dataDirectory", data_directory},
                        {"databases", std::move(databases)},
                        {"otherChanges", OtherChangesJson(other_changes)},
                        {"otherFailures", OtherFailuresJson(other_failures)},
                        {"totals", TotalsJson(totals)}};
  if (backup != nullptr) out["backupFolder"] = backup->folder;
  return out;
}

// `text` (a value dumped with an indent of 2) as it stands nested `depth`
// spaces deep. Strings in dumped JSON hold no raw line break, so every one
// starts a line of the value.
std::string Nested(const std::string& text, int depth) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (c == '\n') out.append(static_cast<size_t>(depth), ' ');
  }
  return out;
}

}  // namespace

void ClassifyDatabase(DatabaseReport& database) {
  for (const Replaced& kind : kReplaced) {
    database.recreated_unchanged += RemoveRecreatedUnchanged(database.changes, kind);
  }
  if (!database.failures.empty()) {
    database.state = "failed";
  } else if (database.copied) {
    if (!ObjectsOf(database.changes, "database copied").empty()) {
      database.state = "copied";
    } else {
      database.state = database.reached ? "failed" : "not reached";
    }
  } else if (!database.reached) {
    database.state = "not reached";
  } else {
    database.state = ChangesStructure(database.changes) ? "updated" : "up to date";
  }
}

void ReportTotals::Add(const DatabaseReport& database) {
  if (!database.copied) ++pairs;
  ++states[database.state];
  failures += static_cast<int>(database.failures.size());
  recreated_unchanged += database.recreated_unchanged;
  for (const Change& change : database.changes) ++changes[change.kind];
}

int ReportTotals::State(const std::string& state) const {
  const auto it = states.find(state);
  return it == states.end() ? 0 : it->second;
}

int ReportTotals::Changes(const std::string& kind) const {
  const auto it = changes.find(kind);
  return it == changes.end() ? 0 : it->second;
}

int BatchReport::FailureCount() const { return TotalsOf(*this).failures; }

int BatchReport::CountState(const std::string& state) const { return TotalsOf(*this).State(state); }

int BatchReport::CountChanges(const std::string& kind) const {
  return TotalsOf(*this).Changes(kind);
}

BatchReport BuildBatchReport(const Actualiz& window, const RunLog& log) {
  const LogEntries entries(log);
  BatchReport report;
  report.data_directory = window.Dir1.Path();
  report.databases = ListedDatabases(window);
  for (DatabaseReport& database : report.databases) LoadEntries(database, entries);
  const std::set<std::string> paths = PathsOf(report.databases);
  report.other_changes = entries.ChangesOutside(paths);
  report.other_failures = entries.FailuresOutside(paths);
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
  WriteHeader(out, report.data_directory, TotalsOf(report));
  for (const DatabaseReport& database : report.databases) WriteDatabase(out, database);
  WriteOthers(out, report.other_changes, report.other_failures);
  return out.str();
}

nlohmann::json BatchReportJson(const BatchReport& report, const BackupFolder* backup) {
  nlohmann::json databases = nlohmann::json::array();
  for (const DatabaseReport& database : report.databases) {
    databases.push_back(DatabaseJson(database, backup));
  }
  return ReportJson(report.data_directory, std::move(databases), report.other_changes,
                    report.other_failures, TotalsOf(report), backup);
}

StreamedBatchReport::StreamedBatchReport(const Actualiz& window, const ReportEntries& entries)
    : entries_(entries),
      data_directory_(window.Dir1.Path()),
      databases_(ListedDatabases(window)),
      paths_(PathsOf(databases_)) {
  for (DatabaseReport& listed : databases_) {
    const DatabaseReport database = Load(listed);
    totals_.Add(database);
    listed.state = database.state;
  }
  totals_.failures += static_cast<int>(entries_.FailuresOutside(paths_).size());
}

DatabaseReport StreamedBatchReport::Load(const DatabaseReport& listed) const {
  DatabaseReport database = listed;
  LoadEntries(database, entries_);
  return database;
}

std::vector<std::string> StreamedBatchReport::NamesInState(const std::string& state) const {
  std::vector<std::string> names;
  for (const DatabaseReport& database : databases_) {
    if (database.state == state) names.push_back(database.name);
  }
  return names;
}

std::vector<std::string> StreamedBatchReport::CopiedIn() const { return NamesInState("copied"); }

std::vector<std::string> StreamedBatchReport::NotReached() const {
  return NamesInState("not reached");
}

void StreamedBatchReport::WriteText(std::ostream& out) const {
  WriteHeader(out, data_directory_, totals_);
  for (const DatabaseReport& listed : databases_) WriteDatabase(out, Load(listed));
  WriteOthers(out, entries_.ChangesOutside(paths_), entries_.FailuresOutside(paths_));
}

// The report's members are dumped one by one in the order the JSON object
// keeps them, and its databases one at a time in their place, so the text
// is that of the whole report dumped at once.
void StreamedBatchReport::WriteJson(std::ostream& out, const BackupFolder* backup) const {
  const nlohmann::json report =
      ReportJson(data_directory_, nlohmann::json::array(), entries_.ChangesOutside(paths_),
                 entries_.FailuresOutside(paths_), totals_, backup);
  out << "{";
  bool first_member = true;
  for (const auto& member : report.items()) {
    out << (first_member ? "\n  " : ",\n  ") << nlohmann::json(member.key()).dump() << ": ";
    first_member = false;
    if (member.key() != "databases" || databases_.empty()) {
      out << Nested(member.value().dump(2), 2);
      continue;
    }
    out << "[";
    bool first_database = true;
    for (const DatabaseReport& listed : databases_) {
      out << (first_database ? "\n    " : ",\n    ")
          << Nested(DatabaseJson(Load(listed), backup).dump(2), 4);
      first_database = false;
    }
    out << "\n  ]";
  }
  out << (first_member ? "}" : "\n}");
}

}  // namespace actualiz::app
