#include "tables/field_triple.h"

#include <charconv>
#include <climits>

#include "base/error.h"

namespace actualiz::app {

namespace {

// A decimal text as a whole number, allowing the blanks around it that a
// conversion of text to number ignores.
int WholeNumber(const std::string& text) {
  size_t begin = text.find_first_not_of(' ');
  size_t end = text.find_last_not_of(' ');
  if (begin == std::string::npos) throw MakeError(err::kTypeMismatch, "'" + text + "'");
  if (text[begin] == '+') ++begin;
  long long value = 0;
  const char* first = text.data() + begin;
  const char* last = text.data() + end + 1;
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last || value < INT_MIN || value > INT_MAX) {
    throw MakeError(err::kTypeMismatch, "'" + text + "'");
  }
  return static_cast<int>(value);
}

}  // namespace

engine::FieldPtr CreateFieldFromTriple(engine::TableDef& table, const std::string& name,
                                       const std::string& type_text, const std::string& size_text) {
  const int type = WholeNumber(type_text);
  const int size = WholeNumber(size_text);
  engine::FieldPtr field = table.CreateField(name, type, size);
  if (type == engine::dbText || type == engine::dbMemo) field->SetAllowZeroLength(true);
  return field;
}

}  // namespace actualiz::app
