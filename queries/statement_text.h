// Statements of stored queries as the query catalogue carries them.
#pragma once

#include <string>
#include <string_view>

namespace actualiz::app {

// The statement on one line: each carriage return and each line feed becomes
// one space, so a CR LF pair becomes two. Nothing else changes and nothing
// is trimmed; the text keeps its length.
std::string OnOneLine(std::string_view sql);

}  // namespace actualiz::app
