// The report of a batch run, built from the run log.
//
// After "Transformar" (Command13_Click) the run log holds every change the
// stages made and every failure they passed over, each with the database in
// hand. The report groups them by database: one entry per database pair the
// run processed (List6 entries with an exactly equal List7 entry) and one
// per model it was to copy (List8), each with a state:
//   "failed"     something was passed over for that database;
//   "copied"     a model without a target was copied into the data directory;
//   "updated"    a table or field was added, a table migrated, or an index,
//                relation or query was dropped, created, or created again
//                with another definition than the one dropped;
//   "up to date" nothing was added, and every index, relation and query the
//                run dropped it created again exactly as it was;
//   "not reached" the run was stopped (SIGINT, SIGTERM) before it came to
//                this database, which it left as it was.
// One rule (ClassifyDatabase) decides this for the batch's report and for
// the plan alike, from the changes as the run recorded them: an object
// dropped and created again exactly as it was is no change, and is left out
// of the database's changes (counted as "recreated unchanged").
// Failures tied to no database of the run (a catalogue that could not be
// opened, a step of the driver itself) are kept apart.
//
// docs/batch.md describes the text and the JSON forms.
#pragma once

#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/actualiz.h"
#include "app/backups.h"
#include "app/run_log.h"

namespace actualiz::app {

struct DatabaseReport {
  std::string name;             // the file name, "clientes.mdb"
  std::string path;             // as the window named it, "c:\datos\clientes.mdb"
  bool copied = false;          // a model without a target (List8), not a pair
  std::string state;            // "updated", "up to date", "copied", "failed", "not reached"
  bool reached = true;          // false: the run was stopped before it came to this database
  std::vector<Change> changes;  // without the objects created again exactly as dropped
  std::vector<Failure> failures;
  int recreated_unchanged = 0;  // those objects, each a drop and a creation of the run
};

struct BatchReport {
  std::string data_directory;             // Dir1.Path
  std::vector<DatabaseReport> databases;  // pairs in List6 order, then copies in List8 order
  std::vector<Change> other_changes;      // made to no database of the run
  std::vector<Failure> other_failures;    // tied to no database of the run
  int FailureCount() const;
  int CountState(const std::string& state) const;
  int CountChanges(const std::string& kind) const;
};

// Counts over a report's databases, for its first line and its totals.
struct ReportTotals {
  int pairs = 0;
  int failures = 0;                    // every failure, the other failures included
  std::map<std::string, int> states;   // "updated" -> how many databases
  std::map<std::string, int> changes;  // "field added" -> how many, in the databases
  int recreated_unchanged = 0;
  void Add(const DatabaseReport& database);
  int State(const std::string& state) const;
  int Changes(const std::string& kind) const;
};

// Classifies a database of a run from the entries recorded for it
// (`changes`, `failures`, `copied`, `reached`): takes out of `changes` each
// index, relation or query dropped and then created again with the very
// definition it had (counting it in `recreated_unchanged`), then sets
// `state` as the header above tells. A drop or a creation whose definition
// was not recorded counts as a change.
void ClassifyDatabase(DatabaseReport& database);

// Where a report reads a run's entries from, one database at a time: the
// run log in memory, or a run's spool on disk (app/run_spool.h).
class ReportEntries {
 public:
  virtual ~ReportEntries() = default;
  // What was recorded for the database named exactly `database`, in the
  // order recorded; empty when nothing was.
  virtual std::vector<Change> ChangesOf(const std::string& database) const = 0;
  virtual std::vector<Failure> FailuresOf(const std::string& database) const = 0;
  // What was recorded for any database not in `databases` (none, or one
  // outside the run), in the order recorded.
  virtual std::vector<Change> ChangesOutside(const std::set<std::string>& databases) const = 0;
  virtual std::vector<Failure> FailuresOutside(const std::set<std::string>& databases) const = 0;
};

// Builds the report of the batch run `window` has just made from the entries
// of `log` (normally window.Log()). Reads Dir1, List6, List7 and List8 as the
// run left them; changes nothing.
BatchReport BuildBatchReport(const Actualiz& window, const RunLog& log);

// The entries of `log` recorded after it held `failures` failures and
// `changes` changes: what one run added to a window's log.
RunLog EntriesSince(const RunLog& log, size_t failures, size_t changes);

// The report as the terminal shows it, one database a paragraph.
std::string FormatBatchReport(const BatchReport& report);

// The report as JSON (see docs/batch.md for the shape). With `backup`, also
// its folder and, for each database, the backup of it that was kept ("" when
// none).
nlohmann::json BatchReportJson(const BatchReport& report, const BackupFolder* backup = nullptr);

// The same report, made from entries that may not fit in memory: it holds
// the entries of one database at a time and, between writes, only each
// database's name, path and state. Its text and JSON are those of
// FormatBatchReport and BatchReportJson(...).dump(2) for the same entries.
class StreamedBatchReport {
 public:
  // Reads Dir1, List6, List7 and List8 now, and every database's entries
  // once to learn its state. `entries` must outlive the report; its
  // failures to read travel.
  StreamedBatchReport(const Actualiz& window, const ReportEntries& entries);

  int FailureCount() const { return totals_.failures; }
  // The file names of the databases the run copied in.
  std::vector<std::string> CopiedIn() const;
  // The file names of the pairs and copies a stopped run never came to.
  std::vector<std::string> NotReached() const;

  // Writes what FormatBatchReport would return.
  void WriteText(std::ostream& out) const;
  // Writes what BatchReportJson(report, backup).dump(2) would return.
  void WriteJson(std::ostream& out, const BackupFolder* backup) const;

 private:
  DatabaseReport Load(const DatabaseReport& listed) const;
  std::vector<std::string> NamesInState(const std::string& state) const;

  const ReportEntries& entries_;
  std::string data_directory_;
  std::vector<DatabaseReport> databases_;  // without their entries
  std::set<std::string> paths_;
  ReportTotals totals_;
};

}  // namespace actualiz::app
