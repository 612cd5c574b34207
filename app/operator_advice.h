// What the operator reads first when something failed: one line that says
// what went wrong, on which file, with the error's number and text, and what
// to do about it where there is something to do:
//
//   c:\datos\stock.mdb: damaged (error 3343): Unrecognized database format
//   'c:\datos\stock.mdb'.; restore it from its backup or repair it
//
// The advice is kept in one catalogue, by error number, so that every
// command words the same failure the same way. Where the failure happened
// (the handler, the statement) is not in the line: the run log and the JSON
// report keep it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/run_log.h"
#include "base/error.h"

namespace actualiz::app {

struct OperatorAdvice {
  const char* what;  // what became of the file: "damaged", "in use by another program"
  const char* todo;  // what to do, "" when there is nothing the operator can do
};

// The advice for an error number; {"failed", ""} for a number the catalogue
// does not know.
OperatorAdvice AdviceFor(int number);

// The file a failure concerns: the one its context names when the context
// is exactly one quoted path ("'c:\prog\modelos\stock.mdb'": the model, not
// the target in hand), else `fallback`.
std::string FileConcerned(std::string_view context, std::string_view fallback);

// "<file>: <what> (error N): <text>; <todo>". With an empty `file` the line
// starts at <what>. The text is the error's own; the context follows it in
// brackets when it says more than the file. Not yet made safe for a
// terminal.
std::string OperatorLine(std::string_view file, int number, std::string_view text,
                         std::string_view context);

// The line of a failure of the run log: the file is the one it concerns,
// else the database it was recorded against.
std::string OperatorLine(const Failure& failure);

// The lines of `failures`, each once and made safe for a terminal, in the
// order of their first failure: a file that cannot be opened fails every
// stage of its pair alike, and that is one fault for the operator.
std::vector<std::string> DistinctOperatorLines(const std::vector<Failure>& failures);

// The line of an error that stopped a command; `file` as above.
std::string OperatorLine(const Error& error, std::string_view file = {});

}  // namespace actualiz::app
