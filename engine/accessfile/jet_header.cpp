#include "engine/accessfile/jet_header.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <string_view>
#include <vector>

namespace actualiz::engine::jet {

namespace {

constexpr std::size_t kMaskStart = 0x18;
constexpr std::size_t kDatabaseKey = 0x3E;
constexpr std::size_t kPassword = 0x42;
constexpr std::size_t kCreationDate = 0x72;
constexpr std::size_t kJet3PasswordBytes = 20;
constexpr std::size_t kJet4PasswordBytes = 40;
// The masked region reaches the creation date's last byte.
constexpr std::size_t kMaskedBytes = kCreationDate + 8 - kMaskStart;

// The RC4 key stream of the header's fixed key 0x6B39DAC7 (stored
// little-endian), as long as the masked region.
std::array<std::uint8_t, kMaskedBytes> HeaderKeyStream() {
  constexpr std::array<std::uint8_t, 4> key = {0xC7, 0xDA, 0x39, 0x6B};
  std::array<std::uint8_t, 256> s{};
  for (unsigned i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
  for (unsigned i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + key[i % key.size()]) & 0xFF;
    std::swap(s[i], s[j]);
  }
  std::array<std::uint8_t, kMaskedBytes> stream{};
  for (unsigned n = 0, i = 0, j = 0; n < stream.size(); ++n) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    stream[n] = s[(s[i] + s[j]) & 0xFF];
  }
  return stream;
}

// The masked region of the header, unmasked: index 0 is offset 0x18.
std::array<std::uint8_t, kMaskedBytes> Unmasked(std::span<const std::uint8_t> header) {
  static const auto stream = HeaderKeyStream();
  std::array<std::uint8_t, kMaskedBytes> plain{};
  for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = header[kMaskStart + i] ^ stream[i];
  return plain;
}

std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// Jet 4's extra password mask: the whole days of the creation date as a
// 32-bit number. A date no 32-bit number holds (a damaged header) gives no
// mask rather than an undefined conversion.
std::uint32_t CreationDateMask(std::span<const std::uint8_t> plain) {
  const std::uint64_t bits =
      Le32(plain, kCreationDate - kMaskStart) |
      (static_cast<std::uint64_t>(Le32(plain, kCreationDate - kMaskStart + 4)) << 32);
  const double date = std::bit_cast<double>(bits);
  if (!std::isfinite(date) || date <= -2147483649.0 || date >= 4294967296.0) return 0;
  return static_cast<std::uint32_t>(static_cast<std::int64_t>(date));
}

bool HasPassword(std::span<const std::uint8_t> plain, bool jet3) {
  const std::size_t at = kPassword - kMaskStart;
  if (jet3) {
    return std::any_of(plain.begin() + at, plain.begin() + at + kJet3PasswordBytes,
                       [](std::uint8_t b) { return b != 0; });
  }
  const std::uint32_t mask = CreationDateMask(plain);
  for (std::size_t i = 0; i < kJet4PasswordBytes; ++i) {
    if ((plain[at + i] ^ ((mask >> (8 * (i % 4))) & 0xFF)) != 0) return true;
  }
  return false;
}

// True when `bytes` hold `text` as UTF-16 (little-endian) anywhere.
bool HoldsUtf16(std::span<const std::uint8_t> bytes, std::string_view text) {
  std::vector<std::uint8_t> wide;
  for (char c : text) {
    wide.push_back(static_cast<std::uint8_t>(c));
    wide.push_back(0);
  }
  return std::search(bytes.begin(), bytes.end(), wide.begin(), wide.end()) != bytes.end();
}

}  // namespace

Protection ReadProtection(std::span<const std::uint8_t> header, std::uint8_t version) {
  if (header.size() < kMaskStart + kMaskedBytes) return Protection::kNone;
  if (version >= 2) {
    // The page of an unencrypted ACE file names no cryptographic provider.
    return HoldsUtf16(header, "Cryptographic Provider") ? Protection::kEncryptedWithPassword
                                                        : Protection::kNone;
  }
  const auto plain = Unmasked(header);
  if (HasPassword(plain, version == 0)) return Protection::kPassword;
  if (Le32(plain, kDatabaseKey - kMaskStart) != 0) return Protection::kEncrypted;
  return Protection::kNone;
}

}  // namespace actualiz::engine::jet
