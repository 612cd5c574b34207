#include "engine/field_types.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "base/error.h"
#include "engine/engine.h"
#include "engine/jet_errors.h"

namespace actualiz::engine {

namespace {

[[noreturn]] void ConversionFails() { throw MakeError(err::kTypeConversion); }

std::int64_t ToWhole(const Value& value) {
  const auto& v = value.variant();
  if (auto* b = std::get_if<bool>(&v)) return *b ? -1 : 0;
  if (auto* i = std::get_if<std::int64_t>(&v)) return *i;
  double d = 0;
  if (auto* f = std::get_if<double>(&v)) {
    d = *f;
  } else if (auto* s = std::get_if<std::string>(&v)) {
    if (!ParseNumber(*s, d)) ConversionFails();
  } else {
    ConversionFails();
  }
  if (!std::isfinite(d)) ConversionFails();
  // Jet rounds to the nearest whole number, halves to even.
  const double r = std::nearbyint(d);
  if (r < -9.2e18 || r > 9.2e18) ConversionFails();
  return static_cast<std::int64_t>(r);
}

double ToFloating(const Value& value) {
  const auto& v = value.variant();
  if (auto* b = std::get_if<bool>(&v)) return *b ? -1.0 : 0.0;
  if (auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
  if (auto* f = std::get_if<double>(&v)) return *f;
  if (auto* s = std::get_if<std::string>(&v)) {
    double d = 0;
    if (ParseNumber(*s, d)) return d;
  }
  ConversionFails();
}

bool ToTruth(const Value& value) {
  if (auto* s = std::get_if<std::string>(&value.variant())) {
    const std::string u = Upper(Trim(*s));
    if (u == "VERDADERO" || u == "TRUE" || u == "SÍ" || u == "SI" || u == "YES") return true;
    if (u == "FALSO" || u == "FALSE" || u == "NO") return false;
  }
  return ToFloating(value) != 0.0;
}

std::string ToText(const Value& value) {
  if (auto* b = std::get_if<Bytes>(&value.variant())) return std::string(b->begin(), b->end());
  return value.ToText();
}

std::int64_t InRange(std::int64_t n, std::int64_t low, std::int64_t high) {
  if (n < low || n > high) ConversionFails();
  return n;
}

// Days from 1899-12-30 to the civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468 + 25569;
}

// "yyyy-mm-dd[ hh:mm[:ss]]" or "dd/mm/yyyy[ hh:mm[:ss]]" as a day number.
bool ParseDate(std::string_view text, double& out) {
  int a = 0, b = 0, c = 0, hh = 0, mm = 0, ss = 0;
  char s1 = 0, s2 = 0;
  const std::string t = Trim(text);
  const int n = std::sscanf(t.c_str(), "%d%c%d%c%d %d:%d:%d", &a, &s1, &b, &s2, &c, &hh, &mm, &ss);
  if (n < 5 || s1 != s2 || (s1 != '-' && s1 != '/')) return false;
  int y = a, m = b, d = c;
  if (s1 == '/') y = c, m = b, d = a;
  if (m < 1 || m > 12 || d < 1 || d > 31 || hh < 0 || hh > 23 || mm < 0 || mm > 59 || ss < 0 ||
      ss > 59)
    return false;
  const double days =
      static_cast<double>(DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)));
  const double time = (hh * 3600.0 + mm * 60.0 + ss) / 86400.0;
  out = days >= 0 ? days + time : days - time;
  return true;
}

}  // namespace

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string Trim(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  return std::string(text.substr(b, e - b));
}

bool IsKnownType(int type) {
  switch (type) {
    case dbBoolean:
    case dbByte:
    case dbInteger:
    case dbLong:
    case dbCurrency:
    case dbSingle:
    case dbDouble:
    case dbDate:
    case dbText:
    case dbLongBinary:
    case dbMemo:
    case dbGUID:
    case dbBigInt:
      return true;
    default:
      return false;
  }
}

std::int32_t ReportedSize(int type, int size) {
  switch (type) {
    case dbBoolean:
    case dbByte:
      return 1;
    case dbInteger:
      return 2;
    case dbLong:
    case dbSingle:
      return 4;
    case dbCurrency:
    case dbDouble:
    case dbDate:
    case dbBigInt:
      return 8;
    case dbGUID:
      return 16;
    case dbText:
      return size == 0 ? 50 : size;
    default:
      return 0;
  }
}

bool IsTextual(int type) { return type == dbText || type == dbMemo; }

Value ToColumnValue(const Value& value, int type) {
  if (value.IsNull()) return value;
  if (auto* s = std::get_if<std::string>(&value.variant());
      s && s->empty() && !IsTextual(type) && type != dbLongBinary) {
    return Null{};
  }
  switch (type) {
    case dbBoolean:
      return ToTruth(value);
    case dbByte:
      return InRange(ToWhole(value), 0, 255);
    case dbInteger:
      return InRange(ToWhole(value), -32768, 32767);
    case dbLong:
      return InRange(ToWhole(value), -2147483648LL, 2147483647LL);
    case dbBigInt:
      return ToWhole(value);
    case dbCurrency:
    case dbDouble:
      return ToFloating(value);
    case dbSingle: {
      const double d = ToFloating(value);
      if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) ConversionFails();
      return static_cast<double>(static_cast<float>(d));
    }
    case dbDate: {
      double d = 0;
      if (auto* s = std::get_if<std::string>(&value.variant()); s && ParseDate(*s, d)) return d;
      return ToFloating(value);
    }
    case dbLongBinary: {
      if (auto* b = std::get_if<Bytes>(&value.variant())) return *b;
      const std::string t = ToText(value);
      return Bytes(t.begin(), t.end());
    }
    default:  // Text, Memo, GUID
      return ToText(value);
  }
}

bool ParseNumber(std::string_view text, double& out) {
  const std::string t = Trim(text);
  if (t.empty()) return false;
  std::string normal = t;
  // The system's language writes a decimal comma; accept it where it is unambiguous.
  if (normal.find(',') != std::string::npos && normal.find('.') == std::string::npos) {
    for (char& c : normal)
      if (c == ',') c = '.';
  }
  const char* first = normal.data();
  const char* last = normal.data() + normal.size();
  if (*first == '+') ++first;
  auto [ptr, ec] = std::from_chars(first, last, out);
  return ec == std::errc() && ptr == last;
}

std::size_t CharacterCount(std::string_view text) {
  std::size_t n = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

}  // namespace actualiz::engine
