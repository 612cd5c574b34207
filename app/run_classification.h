// One classification of what a run did to a database, for the batch's
// report (text and JSON) and for the plan alike.
//
// A database of a run is one pair (app/database_pair.h) or one model to
// copy in, and its state is one of:
//   "failed"      something was passed over for that database;
//   "copied"      a model without a target was copied into the data directory;
//   "updated"     a table or field was added, a table migrated, or an index,
//                 relation or query was dropped, created, or created again
//                 with another definition than the one dropped;
//   "up to date"  nothing was added, and every index, relation and query the
//                 run dropped it created again exactly as it was (relations
//                 and queries the chains kept in place are no change);
//   "not reached" the run was stopped (SIGINT, SIGTERM) before it came to
//                 this database, which it left as it was.
// The index, relation and query chains drop every object of the target and
// create the model's; an object dropped and created again with the same
// name and the very definition it had is no change at all, and is left out
// of the database's changes (counted as "recreated unchanged"). A relation
// or query the chain left in place because the target held it as the model
// has it ("relation kept", "query kept") is no change either; it is set
// apart in `kept`.
//
// Easy to get wrong: a drop or a creation whose definition was not recorded
// counts as a change; an object is matched by its table and name, never by
// the text it is printed as.
#pragma once

#include <map>
#include <string>
#include <vector>

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
  // The relations and queries the run left in place because the target
  // already held them as the model has them; no change, not in `changes`.
  std::vector<Change> kept = {};
};

// Classifies a database of a run from the entries recorded for it
// (`changes`, `failures`, `copied`, `reached`): drops every change of a
// pair whose changes could not be stored (kStoreChangesOf), moves the objects kept in
// place from `changes` to `kept`, takes out of `changes` each
// index, relation or query dropped and then created again with the very
// definition it had (counting it in `recreated_unchanged`), then sets
// `state` as the header above tells.
void ClassifyDatabase(DatabaseReport& database);

// Counts over a run's databases, for a report's or a plan's first line and
// totals.
struct ReportTotals {
  int pairs = 0;
  int failures = 0;                   // every failure, the other failures included
  std::map<std::string, int> states;  // "updated" -> how many databases
  std::map<ChangeKind, int> changes;  // field added -> how many, in the databases
  int recreated_unchanged = 0;
  int kept = 0;  // relations and queries left in place, in the databases
  void Add(const DatabaseReport& database);
  int State(const std::string& state) const;
  int Changes(ChangeKind kind) const;
};

// The indexes, relations or queries a database's changes drop and create,
// as printed (ObjectText), each list in the order recorded.
struct ReplacedObjects {
  const char* title;                  // "indexes", "relations", "queries"
  std::vector<std::string> replaced;  // dropped and created again under the same name
  std::vector<std::string> dropped;   // dropped only
  std::vector<std::string> created;   // created only
};

// A database's changes grouped as the report and the plan list them.
struct ChangeSummary {
  std::vector<std::string> tables_created;
  std::vector<std::string> fields_added;
  std::vector<std::string> tables_migrated;
  std::vector<ReplacedObjects> replaced;  // indexes, relations, queries, in that order
  std::vector<std::string> not_carried;   // what a model's conversion left out
};

ChangeSummary SummariseChanges(const std::vector<Change>& changes);

}  // namespace actualiz::app
