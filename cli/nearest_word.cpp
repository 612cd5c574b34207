#include "cli/nearest_word.h"

#include <algorithm>

namespace actualiz::cli {

size_t EditDistance(std::string_view a, std::string_view b) {
  // Rows of the classic table, three kept: the one before the previous is
  // needed for a swap of two neighbours.
  std::vector<size_t> before(b.size() + 1), previous(b.size() + 1), row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) previous[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t replace = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
      row[j] = std::min({previous[j] + 1, row[j - 1] + 1, replace});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        row[j] = std::min(row[j], before[j - 2] + 1);
      }
    }
    before.swap(previous);
    previous.swap(row);
  }
  return previous[b.size()];
}

std::optional<std::string> NearestWord(std::string_view typed,
                                       const std::vector<std::string>& words) {
  std::optional<std::string> nearest;
  size_t best = std::min<size_t>(2, typed.empty() ? 0 : typed.size() - 1) + 1;
  for (const std::string& word : words) {
    const size_t distance = EditDistance(typed, word);
    if (distance < best) {
      best = distance;
      nearest = word;
    }
  }
  return nearest;
}

}  // namespace actualiz::cli
