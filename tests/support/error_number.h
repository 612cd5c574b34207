// What a failing call raised, for tests that check a failure's number.
#pragma once

#include <functional>

#include "base/error.h"

namespace actualiz::testing {

// The number of the Error `action` raises; 0 when it raises none.
inline int ErrorNumber(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.Number();
  }
  return 0;
}

// The Error `action` raises; number 0 and no text when it raises none.
inline Error RaisedError(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& e) {
    return e;
  }
  return Error(0, "");
}

}  // namespace actualiz::testing
