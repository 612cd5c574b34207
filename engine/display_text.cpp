#include "engine/display_text.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <variant>

namespace actualiz::engine {

namespace {

constexpr int kSecondsPerDay = 86400;

std::string TwoDigits(unsigned value) {
  char out[8];
  std::snprintf(out, sizeof out, "%02u", value % 100);
  return out;
}

std::string YearDigits(int value) {
  char out[16];
  std::snprintf(out, sizeof out, "%04d", value);
  return out;
}

}  // namespace

std::string GeneralDateText(double days) {
  if (!std::isfinite(days) || std::fabs(days) > 3e6) return Value(days).ToText();
  double whole = std::trunc(days);
  long long seconds = std::llround(std::fabs(days - whole) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {  // rounds up to the next midnight
    seconds -= kSecondsPerDay;
    whole += days < 0 ? -1 : 1;
  }
  using namespace std::chrono;
  const year_month_day date{sys_days{year{1899} / December / 30} +
                            std::chrono::days{static_cast<long long>(whole)}};
  const std::string date_text = TwoDigits(static_cast<unsigned>(date.day())) + "/" +
                                TwoDigits(static_cast<unsigned>(date.month())) + "/" +
                                YearDigits(static_cast<int>(date.year()));
  const std::string time_text = std::to_string(seconds / 3600) + ":" +
                                TwoDigits(static_cast<unsigned>(seconds / 60 % 60)) + ":" +
                                TwoDigits(static_cast<unsigned>(seconds % 60));
  if (whole == 0) return time_text;
  if (seconds == 0) return date_text;
  return date_text + " " + time_text;
}

std::string DisplayText(const Field& field) {
  const Value value = field.GetValue();
  if (field.Type() == dbDate) {
    if (const double* days = std::get_if<double>(&value.variant())) return GeneralDateText(*days);
    if (const std::int64_t* days = std::get_if<std::int64_t>(&value.variant())) {
      return GeneralDateText(static_cast<double>(*days));
    }
  }
  return value.ToText();
}

}  // namespace actualiz::engine
