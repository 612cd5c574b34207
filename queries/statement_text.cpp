#include "queries/statement_text.h"

namespace actualiz::app {

std::string OnOneLine(std::string_view sql) {
  std::string line(sql);
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return line;
}

}  // namespace actualiz::app
