// The digest that tells a restore whether a database is still as the run
// left it: published test vectors, and the lengths around the 56-byte
// padding boundary where a one-block and a two-block tail meet.
#include "base/sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace actualiz {
namespace {

struct Vector {
  std::string message;
  const char* digest;
};

std::vector<Vector> Vectors() {
  return {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {std::string(119, 'a'), "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
      {std::string(120, 'a'), "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
}

// Whole, and fed in pieces of every size from 1 to 70 bytes (pieces that
// straddle a block, fill one exactly, or span more than one).
TEST(Sha256, MatchesPublishedDigestsWholeAndInPieces) {
  for (const Vector& v : Vectors()) {
    SCOPED_TRACE(v.message.size());
    EXPECT_EQ(Sha256Hex(v.message), v.digest);
    if (v.message.size() > 200) continue;
    for (size_t piece = 1; piece <= 70; ++piece) {
      Sha256 digest;
      for (size_t at = 0; at < v.message.size(); at += piece) {
        digest.Update(std::string_view(v.message).substr(at, piece));
      }
      EXPECT_EQ(digest.HexDigest(), v.digest) << "pieces of " << piece;
    }
  }
}

}  // namespace
}  // namespace actualiz
