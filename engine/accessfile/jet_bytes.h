// Little-endian numbers in a Jet file's bytes, for the writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace actualiz::engine::jet {

inline std::uint16_t Get16(const std::uint8_t* b) {
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}
inline std::uint32_t Get32(const std::uint8_t* b) {
  return Get16(b) | (static_cast<std::uint32_t>(Get16(b + 2)) << 16);
}
inline std::uint16_t Get16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return Get16(&b[at]);
}
inline std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return Get32(&b[at]);
}
inline void Put16(std::uint8_t* b, std::uint16_t v) {
  b[0] = static_cast<std::uint8_t>(v);
  b[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::uint8_t* b, std::uint32_t v) {
  Put16(b, static_cast<std::uint16_t>(v));
  Put16(b + 2, static_cast<std::uint16_t>(v >> 16));
}
inline void Append16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Append32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Append16(out, static_cast<std::uint16_t>(v));
  Append16(out, static_cast<std::uint16_t>(v >> 16));
}

}  // namespace actualiz::engine::jet
