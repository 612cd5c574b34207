// What the first page of an Access file says about its protection.
//
// Jet 3 and Jet 4 keep a database password and the key of page encryption
// in the header of page 0, masked: from offset 0x18 the header is XOR-ed
// with the RC4 key stream of the fixed key 0x6B39DAC7. Unmasked, the
// database key (4 bytes at 0x3E) is zero unless every page after the first
// is encrypted, and the password field at 0x42 is all zeros unless the
// file has a password: 20 bytes of code-page text in Jet 3, 40 bytes of
// UCS-2 in Jet 4, where every 4-byte group is further XOR-ed with the whole
// days of the file's creation date (the double at 0x72).
//
// ACE files keep no password in the header: a password there encrypts the
// pages with the system's cryptographic providers, and page 0, the only
// page left readable, names the provider.
#pragma once

#include <cstdint>
#include <span>

namespace actualiz::engine::jet {

enum class Protection {
  kNone,
  kPassword,               // Jet 3 / Jet 4 database password
  kEncrypted,              // Jet 3 / Jet 4 page encryption
  kEncryptedWithPassword,  // ACE encryption, always by a password
};

// The protection of a file whose first bytes are `header` (at least 0x100
// of them; more of page 0 when there is) and whose layout byte at 0x14 is
// `version`. Reads nothing outside `header`.
Protection ReadProtection(std::span<const std::uint8_t> header, std::uint8_t version);

}  // namespace actualiz::engine::jet
