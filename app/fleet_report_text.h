// The words a fleet run is shown in, the same on the command line and in
// the fleet window: the progress line, a location's totals and its time.
#pragma once

#include <string>

#include "app/run_fleet.h"

namespace actualiz::app {

// "batch", "plan" or "check".
const char* FleetWorkName(FleetWork work);

// Whole seconds: "12 s".
std::string FleetSeconds(double seconds);

// "3/10 done, 2 running, 1 failed".
std::string FleetProgressCounts(const FleetProgress& progress);

// The counts, then the running location that has taken longest:
// "3/10 done, 2 running, 1 failed; slowest: norte (12 s)".
std::string FleetProgressText(const FleetProgress& progress);

// "4 pairs, 3 updated, 0 up to date, 1 copied, 0 failures" from a
// location's totals; "" when it has none.
std::string FleetTotalsText(const FleetTotals& totals);

}  // namespace actualiz::app
