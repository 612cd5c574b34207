// How a failure is written for people. Every front end words a failure
// through these, so that its number, text and context read alike in the
// command line's error lines, the window's message boxes, the run log and
// the operator's advice.
#pragma once

#include <string>
#include <string_view>

namespace actualiz {

class Error;

// "<number>: <text> (<context>)", without the brackets when there is no
// context: Error::what(), the command line's error lines and the run log.
std::string FailureLine(int number, std::string_view text, std::string_view context);

// The window's critical message: "Error <number>: <text>", and on the next
// line `where` (the handler and statement) with " (<context>)" after it when
// there is a context.
std::string FailureMessage(int number, std::string_view text, std::string_view context,
                           std::string_view where);

// The operator's line after its file: "<what> (error <number>): <text>",
// then " [<context>]" when `context` is not empty. `what` says what became
// of the file ("damaged", "failed").
std::string AdvisedFailure(std::string_view what, int number, std::string_view text,
                           std::string_view context);

// "<text> (error <number>)": a failure after the name of what it stopped, in
// a list of them ("Codigo: Index already exists. (error 3284)").
std::string TextThenNumber(std::string_view text, int number);

}  // namespace actualiz
