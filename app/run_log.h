// The run log: every failure passed over and every change made to a
// database, with where it happened. The command line reports it; the window
// appends it to its log file.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace actualiz::app {

// What a handler did to a database. Each kind has a stable text, the one
// the report (text and JSON), the log file and the progress lines print:
// stored reports and scripts rely on it, so a text never changes.
enum class ChangeKind {
  kTableCreated,         // "table created"
  kFieldAdded,           // "field added"
  kFieldDropped,         // "field dropped"
  kIndexDropped,         // "index dropped"
  kIndexCreated,         // "index created"
  kRelationDropped,      // "relation dropped"
  kRelationCreated,      // "relation created"
  kQueryDropped,         // "query dropped"
  kQueryCreated,         // "query created"
  kDatabaseCopied,       // "database copied"
  kTableMigrated,        // "table migrated"
  kCopyLeftoverRemoved,  // "copy leftover removed"
  kNotCarried,           // "not carried": what a model's conversion left out
  // A relation or query the target already held exactly as the chain would
  // build it, left in place: no change to the database.
  kRelationKept,  // "relation kept"
  kQueryKept,     // "query kept"
};

// The stable text of `kind`.
std::string KindText(ChangeKind kind);
// The kind whose stable text is exactly `text`; nullopt for any other text.
std::optional<ChangeKind> ParseChangeKind(std::string_view text);

// What a change was made to. A field or an index is named with the table
// it belongs to; any other object (a table, a relation, a query, a database
// file, a line of what a conversion left out) by its name alone, with
// `table` left "".
struct ObjectRef {
  std::string table;
  std::string name;
  bool operator==(const ObjectRef&) const = default;
};

// An object as the report and the log print it: a field as
// "Clientes.Telefono", an index as "idx on Clientes" (its object named with
// `kind`'s), anything else by its name.
std::string ObjectText(ChangeKind kind, const ObjectRef& object);
// An index of a table as the report, the log and failure statements name
// it: "idx on Clientes".
std::string IndexOnTable(std::string_view index, std::string_view table);

// The statement of the batch's failure to store a pair's changes (its
// commit): the pair then kept none of them.
inline constexpr std::string_view kStoreChangesOf = "store the changes of ";

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
  ChangeKind kind = ChangeKind::kTableCreated;
  ObjectRef object;
  // For an index, relation or query dropped, created or kept: the object as it
  // stood in the database (its description, engine/description.h, as JSON
  // text), so that an object created again exactly as it was dropped is
  // told from a real replacement. "" for other kinds, or when unknown.
  std::string definition = {};
  // The object as the report prints it (ObjectText).
  std::string ObjectText() const { return app::ObjectText(kind, object); }
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
