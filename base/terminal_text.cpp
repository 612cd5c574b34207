// TerminalSafe walks the text one UTF-8 sequence at a time. A sequence is
// kept only when it is whole and well formed (no overlong form, no
// surrogate, nothing above U+10FFFF) and does not encode a C1 control; any
// other byte is escaped on its own and the walk goes on at the next byte,
// so a broken sequence never swallows the character after it.
#include "base/terminal_text.h"

#include <cstdint>

namespace actualiz {

namespace {

void AppendEscape(std::string& out, unsigned char byte) {
  constexpr char kHex[] = "0123456789abcdef";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0xF];
}

// The length of the well-formed UTF-8 sequence starting at text[at], or 0.
size_t SequenceLength(std::string_view text, size_t at, std::uint32_t& code_point) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  size_t length;
  std::uint32_t min;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, min = 0x80, code_point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, min = 0x800, code_point = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, min = 0x10000, code_point = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code_point = (code_point << 6) | (byte(i) & 0x3F);
  }
  if (code_point < min || code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) {
    return 0;
  }
  return length;
}

}  // namespace

std::string TerminalSafe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      if (byte < 0x20 || byte == 0x7F) {
        AppendEscape(out, byte);
      } else {
        out += static_cast<char>(byte);
      }
      ++at;
      continue;
    }
    std::uint32_t code_point = 0;
    const size_t length = SequenceLength(text, at, code_point);
    if (length == 0) {
      AppendEscape(out, byte);
      ++at;
    } else if (code_point <= 0x9F) {  // a C1 control
      for (size_t i = 0; i < length; ++i)
        AppendEscape(out, static_cast<unsigned char>(text[at + i]));
      at += length;
    } else {
      out.append(text.substr(at, length));
      at += length;
    }
  }
  return out;
}

std::string JoinTerminalSafe(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) {
    if (!out.empty()) out += ", ";
    out += TerminalSafe(item);
  }
  return out;
}

}  // namespace actualiz
