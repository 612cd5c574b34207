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
//                relation or query was dropped or created without its
//                counterpart (a different set than before);
//   "up to date" nothing was added, and every index, relation and query the
//                run dropped it created again under the same name.
// Failures tied to no database of the run (a catalogue that could not be
// opened, a step of the driver itself) are kept apart.
//
// docs/batch.md describes the text and the JSON forms.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/actualiz.h"
#include "app/run_log.h"

namespace actualiz::app {

struct DatabaseReport {
  std::string name;     // the file name, "clientes.mdb"
  std::string path;     // as the window named it, "c:\datos\clientes.mdb"
  bool copied = false;  // a model without a target (List8), not a pair
  std::string state;    // "updated", "up to date", "copied", "failed"
  std::vector<Change> changes;
  std::vector<Failure> failures;
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

// Builds the report of the batch run `window` has just made from the entries
// of `log` (normally window.Log()). Reads Dir1, List6, List7 and List8 as the
// run left them; changes nothing.
BatchReport BuildBatchReport(const Actualiz& window, const RunLog& log);

// The entries of `log` recorded after it held `failures` failures and
// `changes` changes: what one run added to a window's log.
RunLog EntriesSince(const RunLog& log, size_t failures, size_t changes);

// The report as the terminal shows it, one database a paragraph.
std::string FormatBatchReport(const BatchReport& report);

// The report as JSON (see docs/batch.md for the shape).
nlohmann::json BatchReportJson(const BatchReport& report);

}  // namespace actualiz::app
