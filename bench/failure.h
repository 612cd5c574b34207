// How a bench program reports the failure it stopped on.
#pragma once

#include <cstdio>
#include <exception>

#include "base/error.h"

namespace actualiz::bench {

// Called from a catch-all handler: prints the failure being handled, the
// engine's number first when it has one, and returns the exit status 1.
inline int ReportFailure() {
  try {
    throw;
  } catch (const Error& e) {
    std::fprintf(stderr, "error %d: %s (%s)\n", e.Number(), e.what(), e.Context().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
  }
  return 1;
}

}  // namespace actualiz::bench
