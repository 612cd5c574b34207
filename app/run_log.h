// The run log: every failure passed over and every change made to a
// database, with where it happened. The command line reports it; the window
// appends it to its log file.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace actualiz::app {

struct Failure {
  std::string handler;    // the handler that was running ("Command16_Click")
  std::string statement;  // what was being done ("Indexes.Append idx_x on Clientes")
  std::string database;   // the database in hand (Text4 at the time), may be ""
  int number = 0;
  std::string text;
  std::string context;      // the error's own context (object and file)
  bool passed_over = true;  // false: it reached the top of a click
};

// What a handler changed in a database.
struct Change {
  std::string handler;
  std::string database;  // the path of the changed database, as the window names it
  std::string kind;      // "table created", "field added", "index dropped", "index created",
                         // "relation dropped", "relation created", "query dropped",
                         // "query created", "database copied", "table migrated",
                         // "copy leftover removed"
  std::string object;    // "Clientes", "Clientes.Telefono", "idx on Clientes", ...
  // For an index, relation or query dropped or created: the object as it
  // stood in the database (its description, engine/description.h, as JSON
  // text), so that an object created again exactly as it was dropped is
  // told from a real replacement. "" for other kinds, or when unknown.
  std::string definition = {};
};

class RunLog {
 public:
  void Record(Failure failure);
  void Record(Change change);
  // What was recorded while entries were kept, in the order recorded.
  const std::vector<Failure>& Failures() const { return failures_; }
  const std::vector<Change>& Changes() const { return changes_; }
  void Clear();
  // Whether Record keeps the entry in Failures() and Changes() (the
  // default) or only hands it to the listeners below. A batch over many
  // databases hands its entries to a file instead, so that its memory does
  // not grow with the run; what was kept before stays.
  void KeepEntries(bool keep) { keep_ = keep; }
  // Told of each entry as it is recorded (the command line's progress, the
  // window's log file).
  std::function<void(const Failure&)> on_failure;
  std::function<void(const Change&)> on_change;

 private:
  std::vector<Failure> failures_;
  std::vector<Change> changes_;
  bool keep_ = true;
};

std::string FormatFailure(const Failure& failure);  // one line, for logs and terminals

}  // namespace actualiz::app
