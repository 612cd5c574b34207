// What may reach the operator's terminal from a name or message of a file.
#include "base/terminal_text.h"

#include <gtest/gtest.h>

namespace actualiz {
namespace {

TEST(TerminalSafe, ControlsAndBrokenUtf8AreEscapedAndTextIsKept) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"Añadido ñandú c:\\datos\\a.mdb", "Añadido ñandú c:\\datos\\a.mdb"},
      {"a\x1b[2K\r\nb\t\x7f", "a\\x1b[2K\\x0d\\x0ab\\x09\\x7f"},
      {"csi \xc2\x9b nel \xc2\x85 nbsp \xc2\xa0", "csi \\xc2\\x9b nel \\xc2\\x85 nbsp \xc2\xa0"},
      // Bytes outside valid UTF-8 alone are escaped; what follows stays.
      {"\xff\xc3(x\xe2\x82", "\\xff\\xc3(x\\xe2\\x82"},
      {"\xc0\x9b overlong, \xed\xa0\x80 surrogate",
       "\\xc0\\x9b overlong, \\xed\\xa0\\x80 surrogate"},
      {"emoji \xf0\x9f\x98\x80", "emoji \xf0\x9f\x98\x80"},
      {std::string("nul\0x", 5), "nul\\x00x"},
  };
  for (const auto& c : cases) EXPECT_EQ(TerminalSafe(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace actualiz
