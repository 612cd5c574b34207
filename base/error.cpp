#include "base/error.h"

#include <utility>

#include "base/failure_text.h"

namespace actualiz {

Error::Error(int number, std::string text, std::string context)
    : std::runtime_error(FailureLine(number, text, context)),
      number_(number),
      text_(std::move(text)),
      context_(std::move(context)) {}

}  // namespace actualiz
