#include "app/operator_advice.h"

#include <algorithm>

#include "base/failure_text.h"
#include "base/terminal_text.h"

namespace actualiz::app {

namespace {

struct Entry {
  int number;
  OperatorAdvice advice;
};

constexpr const char* kRestoreOrRepair = "restore it from its backup or repair it";
constexpr const char* kCloseAndRerun = "close the program that holds it and run again";

// Numbers the operator can do something about. Every other number reads
// "failed", with no advice.
constexpr Entry kCatalogue[] = {
    {err::kUnrecognizedFormat, {"damaged", kRestoreOrRepair}},
    {err::kCannotOpen, {"damaged or unreadable", kRestoreOrRepair}},
    {err::kFileInUse, {"in use by another program", kCloseAndRerun}},
    {err::kCouldNotLock, {"in use by another program", kCloseAndRerun}},
    {err::kLockedByOtherUser,
     {"in use by another run of actualiz", "wait for that run to end, then run again"}},
    {err::kFileNotFound, {"not found", "check the name and the path"}},
    {err::kFileNotFoundOs, {"not found", "check the name and the path"}},
    {err::kInvalidPath, {"not found", "check the path"}},
    {err::kPathNotFound, {"not found", "check the path"}},
    {err::kReadOnly,
     {"read-only", "make it writable (an Access file: import it into our format first)"}},
    {err::kNotValidPassword,
     {"password-protected", "remove its password in Access, then import it"}},
    {err::kPermissionDenied, {"not permitted", "give the program permission to write there"}},
    {err::kDuplicateValues,
     {"has duplicate values", "remove the duplicate rows the index forbids, then run again"}},
    {err::kDataBreaksRelation,
     {"has rows that break a relation", "correct the rows without a match, then run again"}},
    {err::kDatabaseExists, {"already exists", "move it aside or choose another name"}},
};

}  // namespace

OperatorAdvice AdviceFor(int number) {
  for (const Entry& entry : kCatalogue) {
    if (entry.number == number) return entry.advice;
  }
  return {"failed", ""};
}

std::string FileConcerned(std::string_view context, std::string_view fallback) {
  if (context.size() > 2 && context.front() == '\'' && context.back() == '\'' &&
      context.substr(1, context.size() - 2).find('\'') == std::string_view::npos) {
    return std::string(context.substr(1, context.size() - 2));
  }
  return std::string(fallback);
}

std::string OperatorLine(std::string_view file, int number, std::string_view text,
                         std::string_view context) {
  const OperatorAdvice advice = AdviceFor(number);
  std::string line;
  if (!file.empty()) line += std::string(file) + ": ";
  // A context that only names the file again says nothing new.
  const bool new_context = !context.empty() && FileConcerned(context, "").empty();
  line += AdvisedFailure(advice.what, number, text, new_context ? context : std::string_view());
  // An Access file's refused change, and a change that could not be put in
  // place in one, already say what to do.
  const bool says_what_to_do = text.find("convert it with `import`") != std::string_view::npos ||
                               text.find("' was not changed: ") != std::string_view::npos;
  if (*advice.todo != '\0' && !says_what_to_do) line += std::string("; ") + advice.todo;
  return line;
}

std::string OperatorLine(const Failure& failure) {
  return OperatorLine(FileConcerned(failure.context, failure.database), failure.number,
                      failure.text, failure.context);
}

std::vector<std::string> DistinctOperatorLines(const std::vector<Failure>& failures) {
  std::vector<std::string> lines;
  for (const Failure& failure : failures) {
    std::string line = TerminalSafe(OperatorLine(failure));
    if (std::find(lines.begin(), lines.end(), line) == lines.end())
      lines.push_back(std::move(line));
  }
  return lines;
}

std::string OperatorLine(const Error& error, std::string_view file) {
  return OperatorLine(FileConcerned(error.Context(), file), error.Number(), error.Text(),
                      error.Context());
}

}  // namespace actualiz::app
