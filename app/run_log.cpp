#include "app/run_log.h"

#include <fmt/format.h>

#include "base/failure_text.h"

namespace actualiz::app {

void RunLog::Record(Failure failure) {
  if (!keep_) {
    if (on_failure) on_failure(failure);
    return;
  }
  failures_.push_back(std::move(failure));
  if (on_failure) on_failure(failures_.back());
}

void RunLog::Record(Change change) {
  if (!keep_) {
    if (on_change) on_change(change);
    return;
  }
  changes_.push_back(std::move(change));
  if (on_change) on_change(changes_.back());
}

void RunLog::Clear() {
  failures_.clear();
  changes_.clear();
}

std::string FormatFailure(const Failure& failure) {
  std::string line = fmt::format("{}: {} failed: error {}", failure.handler, failure.statement,
                                 FailureLine(failure.number, failure.text, failure.context));
  if (!failure.database.empty()) line += " [" + failure.database + "]";
  if (!failure.passed_over) line += " - stopped the operation";
  return line;
}

}  // namespace actualiz::app
