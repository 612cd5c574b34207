// The text a bound text box or a grid cell shows for a field's value.
#pragma once

#include <string>

#include "engine/engine.h"

namespace actualiz::engine {

// A date/time value as Jet's general date shows it with the system's
// regional settings: "dd/mm/yyyy h:mm:ss", the date alone when the time is
// midnight, the time alone on day 0 (30/12/1899). `days` counts days from
// 30/12/1899; the fraction is the time of day (for days before then the
// whole part is negative and the fraction still counts forward).
std::string GeneralDateText(double days);

// The field's current value as shown on screen: dates through
// GeneralDateText, every other type as Value::ToText.
std::string DisplayText(const Field& field);

}  // namespace actualiz::engine
