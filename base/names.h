// Name rules shared by the engine and the window.
#pragma once

#include <string>
#include <string_view>

namespace actualiz {

// Jet compares object names without regard to case. ASCII letters fold; other
// characters compare as they are (UTF-8 bytes).
bool SameNameIgnoringCase(std::string_view a, std::string_view b);
std::string FoldCase(std::string_view name);

// The order a directory listing gives names in, as Windows' file systems
// return them: folded to upper case, ties by the names as written.
bool ListingOrder(std::string_view a, std::string_view b);

// True when the first four characters are exactly "MSys" (a shorter name is
// compared whole, so it never matches). These are the engine's own objects.
bool IsSystemName(std::string_view name);

// "[name]": a table or field name quoted as the engine's query language wants.
std::string Bracketed(std::string_view name);

// "'text'" with every apostrophe inside doubled, for a literal in a filter.
std::string QuotedLiteral(std::string_view text);

}  // namespace actualiz
