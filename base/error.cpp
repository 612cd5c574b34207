#include "base/error.h"

#include <utility>

namespace actualiz {

namespace {
std::string Describe(int number, const std::string& text, const std::string& context) {
  std::string out = std::to_string(number) + ": " + text;
  if (!context.empty()) out += " (" + context + ")";
  return out;
}
}  // namespace

Error::Error(int number, std::string text, std::string context)
    : std::runtime_error(Describe(number, text, context)),
      number_(number),
      text_(std::move(text)),
      context_(std::move(context)) {}

}  // namespace actualiz
