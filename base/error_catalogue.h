// The catalogue of failures: every error number this system raises, with
// its one text. A throw site names the number and its context
// (`MakeError(err::kItemNotFound, context)`, base/error.h); the text comes
// from here, so that every failure of a kind reads the same wherever it is
// raised and in every report that shows it.
//
// A text with a blank ("{}") names an object: "Table '{}' already exists."
// The blanks are filled, in order, by the names given to the factory.
#pragma once

#include <span>
#include <string_view>

namespace actualiz {

struct CatalogueEntry {
  int number;
  std::string_view text;  // with its blanks unfilled
};

// Every entry, in the order of their numbers; each number appears once.
std::span<const CatalogueEntry> ErrorCatalogue();

// The number of blanks in `text`.
int BlankCount(std::string_view text);

}  // namespace actualiz
