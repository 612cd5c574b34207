// Row values of a description: dates as ISO-8601 text, binary data as base64.
//
// Dates are day numbers as the engine keeps them: whole days since
// 1899-12-30, the time of day as the fraction. Before that day the number is
// negative but its fraction still counts forwards from midnight in absolute
// value (-1.25 is 1899-12-29 06:00), so the day and the time are taken apart
// separately. Times are kept to the second, as the engine's dates are.
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>

#include "engine/description/description_model.h"

namespace actualiz::engine::description {

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date, and back
// (H. Hinnant's algorithms).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

constexpr std::int64_t kDayNumberEpoch = -25569;  // 1899-12-30 in days from 1970-01-01
constexpr std::int64_t kSecondsPerDay = 86400;
// The dates the engine keeps: 0100-01-01 to 9999-12-31.
constexpr double kFirstDayNumber = -657434;
constexpr double kLastDayNumber = 2958465;

bool ReadDigits(std::string_view text, size_t at, size_t count, unsigned& out) {
  if (at + count > text.size()) return false;
  out = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    out = out * 10 + static_cast<unsigned>(text[i] - '0');
  }
  return true;
}

bool IsLeapYear(unsigned y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(unsigned y, unsigned m) {
  static constexpr std::array<unsigned, 12> kDays = {31, 28, 31, 30, 31, 30,
                                                     31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Digit(char c) {
  const size_t at = kBase64Alphabet.find(c);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

}  // namespace

std::optional<std::string> DayNumberToIso(double day_number) {
  if (!std::isfinite(day_number)) return std::nullopt;
  double whole_days = std::trunc(day_number);
  if (whole_days < kFirstDayNumber || whole_days > kLastDayNumber) return std::nullopt;
  std::int64_t seconds = std::llround(std::fabs(day_number - whole_days) * kSecondsPerDay);
  if (seconds == kSecondsPerDay) {  // a fraction that rounds up to the next midnight
    seconds = 0;
    whole_days += 1;
    if (whole_days > kLastDayNumber) return std::nullopt;
  }
  std::int64_t y;
  unsigned m, d;
  CivilFromDays(static_cast<std::int64_t>(whole_days) + kDayNumberEpoch, y, m, d);
  char buffer[48];
  if (seconds == 0) {
    std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
  } else {
    std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02uT%02u:%02u:%02u",
                  static_cast<long long>(y), m, d, static_cast<unsigned>(seconds / 3600),
                  static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
  }
  return std::string(buffer);
}

bool IsoToDayNumber(std::string_view text, double& day_number) {
  unsigned y, m, d, hh = 0, mm = 0, ss = 0;
  if (text.size() != 10 && text.size() != 19) return false;
  if (!ReadDigits(text, 0, 4, y) || text[4] != '-' || !ReadDigits(text, 5, 2, m) ||
      text[7] != '-' || !ReadDigits(text, 8, 2, d)) {
    return false;
  }
  if (text.size() == 19 &&
      (text[10] != 'T' || !ReadDigits(text, 11, 2, hh) || text[13] != ':' ||
       !ReadDigits(text, 14, 2, mm) || text[16] != ':' || !ReadDigits(text, 17, 2, ss))) {
    return false;
  }
  if (y < 100 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m) || hh > 23 || mm > 59 ||
      ss > 59) {
    return false;
  }
  const std::int64_t days = DaysFromCivil(y, m, d) - kDayNumberEpoch;
  const double fraction = static_cast<double>(hh * 3600 + mm * 60 + ss) / kSecondsPerDay;
  day_number = static_cast<double>(days) + (days < 0 ? -fraction : fraction);
  return true;
}

std::string ToBase64(const Bytes& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    std::uint32_t chunk = static_cast<std::uint32_t>(bytes[i]) << 16;
    if (n > 1) chunk |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
    if (n > 2) chunk |= bytes[i + 2];
    for (size_t k = 0; k < 4; ++k) {
      out += k <= n ? kBase64Alphabet[(chunk >> (18 - 6 * k)) & 63] : '=';
    }
  }
  return out;
}

bool FromBase64(std::string_view text, Bytes& bytes) {
  if (text.size() % 4 != 0) return false;
  bytes.clear();
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const size_t padding = last ? (text[i + 3] == '=') + (text[i + 2] == '=') : 0;
    if (padding == 1 && text[i + 2] == '=') return false;  // "x=y=" and the like
    std::uint32_t chunk = 0;
    for (size_t k = 0; k < 4; ++k) {
      int digit = 0;
      if (k < 4 - padding) {
        digit = Base64Digit(text[i + k]);
        if (digit < 0) return false;
      }
      chunk = chunk << 6 | static_cast<std::uint32_t>(digit);
    }
    bytes.push_back(static_cast<std::uint8_t>(chunk >> 16));
    if (padding < 2) bytes.push_back(static_cast<std::uint8_t>(chunk >> 8));
    if (padding < 1) bytes.push_back(static_cast<std::uint8_t>(chunk));
  }
  return true;
}

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length;
    std::uint32_t code;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, code = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    static constexpr std::array<std::uint32_t, 5> kSmallest = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return false;  // overlong, beyond Unicode, or a surrogate
    }
    i += length;
  }
  return true;
}

}  // namespace actualiz::engine::description
