// SHA-256 of a stream of bytes, used to tell whether a file is still the
// one a run left behind.
//
// Feed the bytes in any number of pieces with Update(); HexDigest() then
// gives the 64 lower-case hex digits of the digest and ends the object's
// use (a further Update() or HexDigest() is a programming error).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace actualiz {

class Sha256 {
 public:
  Sha256();
  void Update(std::string_view bytes);
  std::string HexDigest();

 private:
  void Compress(const unsigned char* block);

  std::array<std::uint32_t, 8> state_;
  std::array<unsigned char, 64> pending_{};  // bytes not yet compressed
  std::size_t pending_size_ = 0;
  std::uint64_t total_bytes_ = 0;
  bool finished_ = false;
};

// The digest of `bytes` in one call.
std::string Sha256Hex(std::string_view bytes);

}  // namespace actualiz
