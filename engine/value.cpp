#include "engine/value.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace actualiz::engine {

namespace {

// Plain decimal, as few digits as give the number back, no exponent.
std::string DecimalText(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d < 0 ? "-Inf" : "Inf";
  if (d == 0) return "0";
  char buffer[400];
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, d);
    if (std::strtod(buffer, nullptr) == d) break;
  }
  std::string text = buffer;
  const size_t e = text.find('e');
  if (e == std::string::npos) return text;
  // Spell the exponent out: the shortest digits, placed.
  const int exponent = std::stoi(text.substr(e + 1));
  std::string mantissa = text.substr(0, e);
  const bool negative = mantissa[0] == '-';
  if (negative) mantissa.erase(0, 1);
  std::string digits;
  for (char c : mantissa)
    if (c != '.') digits += c;
  // digits represent d.ddd * 10^exponent
  const int point = 1 + exponent;  // position of the decimal point within digits
  std::string out;
  if (point <= 0) {
    out = "0." + std::string(static_cast<size_t>(-point), '0') + digits;
  } else if (point >= static_cast<int>(digits.size())) {
    out = digits + std::string(static_cast<size_t>(point) - digits.size(), '0');
  } else {
    out = digits.substr(0, static_cast<size_t>(point)) + "." +
          digits.substr(static_cast<size_t>(point));
  }
  return negative ? "-" + out : out;
}

}  // namespace

std::string Value::ToText() const {
  struct Visitor {
    std::string operator()(const Null&) const { return {}; }
    std::string operator()(bool b) const { return b ? "Verdadero" : "Falso"; }
    std::string operator()(std::int64_t i) const { return std::to_string(i); }
    std::string operator()(double d) const { return DecimalText(d); }
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(const Bytes& b) const { return std::string(b.begin(), b.end()); }
  };
  return std::visit(Visitor{}, v_);
}

}  // namespace actualiz::engine
