// The report of a batch run, built from the run log.
//
// After "Transformar" (Command13_Click) the run log holds every change the
// stages made and every failure they passed over, each with the database in
// hand. The report groups them by database: one entry per database pair the
// run processed (app/database_pair.h) and one per model it was to copy
// (List8), each with the state app/run_classification.h gives it, the rule
// the plan classifies by too. Failures tied to no database of the run (a
// catalogue that could not be opened, a step of the driver itself) are kept
// apart.
//
// docs/batch.md describes the text and the JSON forms.
#pragma once

#include <array>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/actualiz.h"
#include "app/backups.h"
#include "app/run_classification.h"
#include "app/run_log.h"

namespace actualiz::app {

struct BatchReport {
  std::string data_directory;             // Dir1.Path
  std::vector<DatabaseReport> databases;  // pairs in List6 order, then copies in List8 order
  std::vector<Change> other_changes;      // made to no database of the run
  std::vector<Failure> other_failures;    // tied to no database of the run
  ReportTotals Totals() const;            // the other failures included
  int FailureCount() const { return Totals().failures; }
  int CountState(const std::string& state) const { return Totals().State(state); }
};

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

// A run log read as report entries, indexed by database once. `log` must
// outlive it and not change meanwhile.
class LogReportEntries : public ReportEntries {
 public:
  explicit LogReportEntries(const RunLog& log);
  std::vector<Change> ChangesOf(const std::string& database) const override;
  std::vector<Failure> FailuresOf(const std::string& database) const override;
  std::vector<Change> ChangesOutside(const std::set<std::string>& databases) const override;
  std::vector<Failure> FailuresOutside(const std::set<std::string>& databases) const override;

 private:
  const RunLog& log_;
  std::map<std::string, std::vector<const Change*>> changes_;
  std::map<std::string, std::vector<const Failure*>> failures_;
};

// Builds the report of the batch run `window` has just made from the entries
// of `log` (normally window.Log()). Reads Dir1, List6, List7 and List8 as the
// run left them; changes nothing.
BatchReport BuildBatchReport(const Actualiz& window, const RunLog& log);

// The entries of `log` recorded after it held `failures` failures and
// `changes` changes: what one run added to a window's log.
RunLog EntriesSince(const RunLog& log, size_t failures, size_t changes);

// The report as JSON (see docs/batch.md for the shape). With `backup`, also
// its folder and, for each database, the backup of it that was kept ("" when
// none).
nlohmann::json BatchReportJson(const BatchReport& report, const BackupFolder* backup = nullptr);
// The "totals" object of that JSON.
nlohmann::json ReportTotalsJson(const ReportTotals& totals);
// The same totals as counts, in the order of ReportTotalsKeys(): the names
// the JSON gives them.
constexpr size_t kReportTotalsCount = 17;
using ReportTotalsCounts = std::array<int, kReportTotalsCount>;
ReportTotalsCounts CountReportTotals(const ReportTotals& totals);
const std::array<const char*, kReportTotalsCount>& ReportTotalsKeys();
// The "totals" object of those counts.
nlohmann::json ReportTotalsJson(const ReportTotalsCounts& counts);

// The report of a batch run, made from entries that may not fit in memory:
// it holds the entries of one database at a time and, between writes, only
// each database's name, path and state. Its JSON is that of
// BatchReportJson(...).dump(2) for the same entries.
class StreamedBatchReport {
 public:
  // Reads Dir1, List6, List7 and List8 now, and every database's entries
  // once to learn its state. `entries` must outlive the report; its
  // failures to read travel.
  StreamedBatchReport(const Actualiz& window, const ReportEntries& entries);

  int FailureCount() const { return totals_.failures; }
  const ReportTotals& Totals() const { return totals_; }
  // The file names of the databases the run copied in.
  std::vector<std::string> CopiedIn() const;
  // The file names of the pairs and copies a stopped run never came to.
  std::vector<std::string> NotReached() const;
  // The file names of the databases the run may have changed: each with a
  // change recorded (kept objects and objects created again exactly as
  // they were dropped are none) or with a failure, which may have come
  // after part of a change. Every database of the run when something was
  // recorded for no database of it: the log cannot then say which one it
  // touched.
  std::set<std::string> MayHaveChanged() const;

  // Writes the report as the terminal shows it, one database a paragraph.
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
  std::set<std::string> may_have_changed_;
};

}  // namespace actualiz::app
