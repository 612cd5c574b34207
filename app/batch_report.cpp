#include "app/batch_report.h"

#include <algorithm>
#include <map>
#include <set>

#include "app/database_pair.h"
#include "app/operator_advice.h"
#include "base/terminal_text.h"

namespace actualiz::app {

namespace {

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

nlohmann::json FailureJson(const Failure& failure, bool with_database) {
  nlohmann::json out = {{"stage", StageOf(failure)},  {"statement", failure.statement},
                        {"number", failure.number},   {"text", failure.text},
                        {"context", failure.context}, {"passedOver", failure.passed_over}};
  if (with_database) out["database"] = failure.database;
  return out;
}

// The databases of the run, without their entries: the pairs in List6
// order, then the models to copy (List8) in List8 order. In a run that was
// stopped, the pairs after the last one it began (List6.ListIndex) and the
// models it did not copy were never reached.
std::vector<DatabaseReport> ListedDatabases(const Actualiz& window) {
  std::vector<DatabaseReport> databases;
  const bool stopped = window.StopRequested();
  for (const PairedTarget& target : PairedTargetsOf(window)) {
    const bool reached = !stopped || target.position <= window.List6.ListIndex();
    databases.push_back(
        {target.name, PairFor(window, target.name).target, false, {}, reached, {}, {}});
  }
  for (const std::string& name : window.List8.Items()) {
    databases.push_back({name, PairFor(window, name).target, true, {}, !stopped, {}, {}});
  }
  return databases;
}

std::set<std::string> PathsOf(const std::vector<DatabaseReport>& databases) {
  std::set<std::string> paths;
  for (const DatabaseReport& database : databases) paths.insert(database.path);
  return paths;
}

template <typename Entry>
std::vector<Entry> EntriesOf(const std::map<std::string, std::vector<const Entry*>>& index,
                             const std::string& database) {
  std::vector<Entry> out;
  if (auto it = index.find(database); it != index.end()) {
    for (const Entry* entry : it->second) out.push_back(*entry);
  }
  return out;
}

template <typename Entry>
std::vector<Entry> EntriesOutside(const std::vector<Entry>& all,
                                  const std::set<std::string>& databases) {
  std::vector<Entry> out;
  for (const Entry& entry : all) {
    if (databases.count(entry.database) == 0) out.push_back(entry);
  }
  return out;
}

void LoadEntries(DatabaseReport& database, const ReportEntries& entries) {
  database.changes = entries.ChangesOf(database.path);
  database.failures = entries.FailuresOf(database.path);
  ClassifyDatabase(database);
}

void WriteHeader(std::ostream& out, const std::string& data_directory, const ReportTotals& totals) {
  out << "Batch over " << TerminalSafe(data_directory) << ": " << totals.pairs << " database pair"
      << (totals.pairs == 1 ? "" : "s") << ", " << totals.State("copied") << " copied, "
      << totals.failures << " failure" << (totals.failures == 1 ? "" : "s") << " passed over\n";
}

// "  <title>: a, b" for `objects`, nothing when there are none.
void WriteList(std::ostream& out, const char* title, const std::vector<std::string>& objects) {
  if (!objects.empty()) out << "  " << title << ": " << JoinTerminalSafe(objects) << "\n";
}

// "  <noun>: 2 replaced, 1 created": how many of each, none when none.
void WriteCounts(std::ostream& out, const ReplacedObjects& objects) {
  std::vector<std::string> parts;
  auto count = [&](const std::vector<std::string>& names, const char* what) {
    if (!names.empty()) parts.push_back(std::to_string(names.size()) + what);
  };
  count(objects.replaced, " replaced");
  count(objects.dropped, " dropped");
  count(objects.created, " created");
  WriteList(out, objects.title, parts);
}

void WriteDatabase(std::ostream& out, const DatabaseReport& database) {
  out << "\n" << TerminalSafe(database.name) << ": " << database.state << "\n";
  const ChangeSummary summary = SummariseChanges(database.changes);
  WriteList(out, "tables created", summary.tables_created);
  WriteList(out, "fields added", summary.fields_added);
  WriteList(out, "tables migrated", summary.tables_migrated);
  for (const ReplacedObjects& objects : summary.replaced) WriteCounts(out, objects);
  for (const std::string& line : summary.not_carried) {
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
      out << "  " << KindText(change.kind) << ": " << TerminalSafe(change.ObjectText()) << " in "
          << TerminalSafe(change.database) << "\n";
    }
  }
  if (!failures.empty()) {
    out << "\nOther failures:\n";
    for (const std::string& line : DistinctOperatorLines(failures)) out << "  " << line << "\n";
  }
}

nlohmann::json ChangesJson(const std::vector<Change>& of_database) {
  nlohmann::json changes = nlohmann::json::array();
  for (const Change& change : of_database) {
    changes.push_back({{"stage", change.handler},
                       {"kind", KindText(change.kind)},
                       {"object", change.ObjectText()}});
  }
  return changes;
}

nlohmann::json DatabaseJson(const DatabaseReport& database, const BackupFolder* backup) {
  const nlohmann::json changes = ChangesJson(database.changes);
  nlohmann::json failures = nlohmann::json::array();
  for (const Failure& failure : database.failures) failures.push_back(FailureJson(failure, false));
  nlohmann::json out = {{"name", database.name},
                        {"path", database.path},
                        {"state", database.state},
                        {"changes", changes},
                        {"recreatedUnchanged", database.recreated_unchanged},
                        {"kept", ChangesJson(database.kept)},
                        {"failures", failures}};
  if (backup != nullptr) {
    // The file that keeps it: a copy, or pg_dump's file of a schema.
    out["backup"] =
        Contains(backup->databases, database.name) ? backup->CopyOf(database.name) : std::string();
  }
  return out;
}

nlohmann::json OtherChangesJson(const std::vector<Change>& changes) {
  nlohmann::json out = nlohmann::json::array();
  for (const Change& change : changes) {
    out.push_back({{"stage", change.handler},
                   {"database", change.database},
                   {"kind", KindText(change.kind)},
                   {"object", change.ObjectText()}});
  }
  return out;
}

nlohmann::json OtherFailuresJson(const std::vector<Failure>& failures) {
  nlohmann::json out = nlohmann::json::array();
  for (const Failure& failure : failures) out.push_back(FailureJson(failure, true));
  return out;
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
                        {"totals", ReportTotalsJson(totals)}};
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

nlohmann::json ReportTotalsJson(const ReportTotals& totals) {
  return ReportTotalsJson(CountReportTotals(totals));
}

nlohmann::json ReportTotalsJson(const ReportTotalsCounts& counts) {
  nlohmann::json out = nlohmann::json::object();
  for (size_t i = 0; i < kReportTotalsCount; ++i) out[ReportTotalsKeys()[i]] = counts[i];
  return out;
}

const std::array<const char*, kReportTotalsCount>& ReportTotalsKeys() {
  static const std::array<const char*, kReportTotalsCount> keys = {
      "pairs",          "updated",        "upToDate",           "copied",
      "failed",         "notReached",     "tablesCreated",      "fieldsAdded",
      "indexesDropped", "indexesCreated", "relationsDropped",   "relationsCreated",
      "queriesDropped", "queriesCreated", "recreatedUnchanged", "kept",
      "failures"};
  return keys;
}

ReportTotalsCounts CountReportTotals(const ReportTotals& totals) {
  return {totals.pairs,
          totals.State("updated"),
          totals.State("up to date"),
          totals.State("copied"),
          totals.State("failed"),
          totals.State("not reached"),
          totals.Changes(ChangeKind::kTableCreated),
          totals.Changes(ChangeKind::kFieldAdded),
          totals.Changes(ChangeKind::kIndexDropped),
          totals.Changes(ChangeKind::kIndexCreated),
          totals.Changes(ChangeKind::kRelationDropped),
          totals.Changes(ChangeKind::kRelationCreated),
          totals.Changes(ChangeKind::kQueryDropped),
          totals.Changes(ChangeKind::kQueryCreated),
          totals.recreated_unchanged,
          totals.kept,
          totals.failures};
}

ReportTotals BatchReport::Totals() const {
  ReportTotals totals;
  for (const DatabaseReport& database : databases) totals.Add(database);
  totals.failures += static_cast<int>(other_failures.size());
  return totals;
}

LogReportEntries::LogReportEntries(const RunLog& log) : log_(log) {
  for (const Change& change : log.Changes()) changes_[change.database].push_back(&change);
  for (const Failure& failure : log.Failures()) failures_[failure.database].push_back(&failure);
}

std::vector<Change> LogReportEntries::ChangesOf(const std::string& database) const {
  return EntriesOf(changes_, database);
}

std::vector<Failure> LogReportEntries::FailuresOf(const std::string& database) const {
  return EntriesOf(failures_, database);
}

std::vector<Change> LogReportEntries::ChangesOutside(const std::set<std::string>& databases) const {
  return EntriesOutside(log_.Changes(), databases);
}

std::vector<Failure> LogReportEntries::FailuresOutside(
    const std::set<std::string>& databases) const {
  return EntriesOutside(log_.Failures(), databases);
}

BatchReport BuildBatchReport(const Actualiz& window, const RunLog& log) {
  const LogReportEntries entries(log);
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

nlohmann::json BatchReportJson(const BatchReport& report, const BackupFolder* backup) {
  nlohmann::json databases = nlohmann::json::array();
  for (const DatabaseReport& database : report.databases) {
    databases.push_back(DatabaseJson(database, backup));
  }
  return ReportJson(report.data_directory, std::move(databases), report.other_changes,
                    report.other_failures, report.Totals(), backup);
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
    if (!database.changes.empty() || !database.failures.empty()) {
      may_have_changed_.insert(database.name);
    }
  }
  const size_t failures_outside = entries_.FailuresOutside(paths_).size();
  totals_.failures += static_cast<int>(failures_outside);
  if (failures_outside != 0 || !entries_.ChangesOutside(paths_).empty()) {
    for (const DatabaseReport& database : databases_) may_have_changed_.insert(database.name);
  }
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

std::set<std::string> StreamedBatchReport::MayHaveChanged() const { return may_have_changed_; }

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
