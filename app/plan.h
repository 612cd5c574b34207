// What the batch would do, found by running it where it can do no harm.
//
// The plan is the real batch ("Transformar", Command13_Click) run over a
// scratch copy of everything it touches: the three catalogues of
// "C:\Zarade", the data directory's "*.mdb" entries and the program
// directory's "modelos" folder, laid out under a temporary root exactly as
// on the real drives. The scratch window maps the same drive letters to the
// scratch copies, so every path in its run log reads as the real one. The
// real files are only ever read (databases through the engine's consistent
// copy), and the scratch root is removed afterwards.
//
// The index, relation and query chains drop every object of the target and
// create the model's. An object dropped and created again with the same
// name and the same definition is no change at all; the batch's report and
// the plan classify by the same rule (ClassifyDatabase), so such pairs are
// left out of both and a plan of an up-to-date directory is empty.
#pragma once

#include <chrono>
#include <string>

#include "app/actualiz.h"
#include "app/batch_report.h"

namespace actualiz::app {

struct Plan {
  // What the batch would report (identical replacements left out). Each
  // database's state is "failed", "copied" (a model would be copied in),
  // "updated" (something would change) or "up to date".
  BatchReport report;
  int identical_replacements = 0;  // objects dropped and re-created unchanged, left out
  int kept = 0;                    // relations and queries left in place, left out
  // True when every pair is up to date, nothing would be copied in and
  // nothing failed.
  bool NothingToDo() const;
  bool Failed() const { return report.FailureCount() > 0; }
};

// Fails when the started `window` found no model to work from: error 76
// "Path not found" naming the models directory (a host path) when it does
// not exist, 3024 naming it when it holds no "*.mdb". Without models the
// batch would change nothing and call every database up to date.
void RequireModels(const Actualiz& window);

// Plans the batch over `data_directory` (a Windows path on a mapped drive, or
// a host path under one, read as that drive's Windows path) for the window environment `env` (its
// drive map and program directory; its operator is the scratch window's). Fails with the drive
// map's or the engine's error when the data directory cannot be used or a
// file cannot be copied for the scratch run, and as RequireModels when there
// is no model; nothing real is ever written. The catalogues and the data
// directory are copied under a shared run lock (app/run_locks.h), so never
// while a batch or the window is changing them: after `env.lock_wait`,
// error 3260 naming that run. A data directory on a server (a location,
// base/server_address.h) has each schema copied into a scratch file and
// is named by its addresses in the plan; 3151 when the server cannot be
// reached, 3044 for an address that names a schema.
Plan MakePlan(const Environment& env, const std::string& data_directory);

// The plan as the terminal shows it: one paragraph per database, naming
// every table, field, index, relation and query that would change.
std::string FormatPlan(const Plan& plan);

}  // namespace actualiz::app
