// Text from files made safe to write on a terminal.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace actualiz {

// `text` with every byte or character a terminal would act on written as a
// visible escape instead: C0 controls (below 0x20, line breaks included),
// DEL, the C1 controls U+0080..U+009F (as "\xc2\x9b", their bytes) and
// every byte that is not part of valid UTF-8. Backslashes stay as they are:
// the window's paths are full of them. Other UTF-8 ("Añadido ñandú") is kept as it is.
// For the text of names and messages written to a terminal, never for JSON
// or for files the program reads back.
std::string TerminalSafe(std::string_view text);

// `items` as one line, ", " between them, each made TerminalSafe.
std::string JoinTerminalSafe(const std::vector<std::string>& items);

}  // namespace actualiz
