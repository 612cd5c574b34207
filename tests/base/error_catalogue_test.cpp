#include "base/error_catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "base/error.h"

namespace actualiz {
namespace {

TEST(ErrorCatalogue, EveryNumberHasOneTextOfItsOwn) {
  std::set<std::string_view> texts;
  int previous = 0;
  for (const CatalogueEntry& entry : ErrorCatalogue()) {
    SCOPED_TRACE(entry.number);
    EXPECT_GT(entry.number, previous) << "numbers out of order or given twice";
    previous = entry.number;
    EXPECT_FALSE(entry.text.empty());
    EXPECT_TRUE(texts.insert(entry.text).second) << "text given twice: " << entry.text;
    // Filled with as many names as it has blanks, no blank is left.
    const int blanks = BlankCount(entry.text);
    ASSERT_LE(blanks, 2);
    const std::string filled = blanks == 0   ? ErrorText(entry.number)
                               : blanks == 1 ? ErrorText(entry.number, {"uno"})
                                             : ErrorText(entry.number, {"uno", "dos"});
    EXPECT_EQ(filled.find("{}"), std::string::npos) << filled;
  }
}

TEST(ErrorCatalogue, FactoriesGiveNumberTextAndContext) {
  struct Case {
    Error made;
    int number;
    const char* text;
    const char* context;
  };
  const Case cases[] = {
      {MakeError(err::kPathNotFound, "'c:\\datos'"), 76, "Path not found", "'c:\\datos'"},
      {MakeError(err::kItemNotFound), 3265, "Item not found in this collection.", ""},
      {MakeError(err::kTableExists, {"Stock"}, "database 'a.mdb'"), 3010,
       "Table 'Stock' already exists.", "database 'a.mdb'"},
      // A name that holds a blank of its own is taken as it is.
      {MakeError(err::kNotValidPassword, {"{}.mdb", "is encrypted with a password"}, "x"), 3031,
       "Not a valid password. The Access file '{}.mdb' is encrypted with a password; remove the "
       "password in Access, then open the file again.",
       "x"},
      {MakeError(err::kNoSuchControlElement, {"2"}, {}), 340,
       "Control array element '2' doesn't exist", ""},
      // A number outside the catalogue keeps its number, with no text.
      {MakeError(12345, "here"), 12345, "", "here"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    EXPECT_EQ(c.made.Number(), c.number);
    EXPECT_EQ(c.made.Text(), c.text);
    EXPECT_EQ(c.made.Context(), c.context);
  }
}

}  // namespace
}  // namespace actualiz
