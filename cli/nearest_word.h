// The word of a list nearest to a mistyped one, for "did you mean ...?".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace actualiz::cli {

// The number of single-character edits (insert, delete, replace, swap two
// neighbours) that turn `a` into `b`.
size_t EditDistance(std::string_view a, std::string_view b);

// The word of `words` nearest to `typed` when it is near enough to be what
// was meant (at most two edits, and fewer than `typed` has characters);
// the first of equally near ones. None otherwise.
std::optional<std::string> NearestWord(std::string_view typed,
                                       const std::vector<std::string>& words);

}  // namespace actualiz::cli
