#include "base/failure_text.h"

namespace actualiz {

std::string FailureLine(int number, std::string_view text, std::string_view context) {
  std::string line = std::to_string(number) + ": " + std::string(text);
  if (!context.empty()) line += " (" + std::string(context) + ")";
  return line;
}

std::string FailureMessage(int number, std::string_view text, std::string_view context,
                           std::string_view where) {
  std::string message =
      "Error " + std::to_string(number) + ": " + std::string(text) + "\n" + std::string(where);
  if (!context.empty()) message += " (" + std::string(context) + ")";
  return message;
}

std::string AdvisedFailure(std::string_view what, int number, std::string_view text,
                           std::string_view context) {
  std::string line =
      std::string(what) + " (error " + std::to_string(number) + "): " + std::string(text);
  if (!context.empty()) line += " [" + std::string(context) + "]";
  return line;
}

std::string TextThenNumber(std::string_view text, int number) {
  return std::string(text) + " (error " + std::to_string(number) + ")";
}

}  // namespace actualiz
