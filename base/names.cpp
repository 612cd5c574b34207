#include "base/names.h"

namespace actualiz {

namespace {
char FoldChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldChar(a[i]) != FoldChar(b[i])) return false;
  }
  return true;
}

std::string FoldCase(std::string_view name) {
  std::string out(name);
  for (char& c : out) c = FoldChar(c);
  return out;
}

bool ListingOrder(std::string_view a, std::string_view b) {
  const auto upper = [](std::string_view name) {
    std::string out(name);
    for (char& c : out) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    return out;
  };
  const std::string ua = upper(a), ub = upper(b);
  return ua != ub ? ua < ub : a < b;
}

bool IsSystemName(std::string_view name) { return name.substr(0, 4) == "MSys"; }

std::string Bracketed(std::string_view name) { return "[" + std::string(name) + "]"; }

std::string QuotedLiteral(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += "'";
  return out;
}

}  // namespace actualiz
