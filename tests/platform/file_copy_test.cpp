// Copying a file's bytes, by each way a file system may offer.
#include "platform/file_copy.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace actualiz::platform {
namespace {

using testing::ReadFile;
using testing::TempDir;

// Copies `size` bytes of `from` into a new file `to` the given way.
CopyOutcome Copy(const std::string& from, const std::string& to, std::uint64_t size, CopyWay way) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  EXPECT_GE(in, 0);
  EXPECT_GE(out, 0);
  const CopyOutcome outcome = CopyFileBytes(in, out, size, way);
  ::close(in);
  ::close(out);
  return outcome;
}

TEST(CopyFileBytes, EveryWayCopiesTheSameBytes) {
  TempDir dir;
  // Larger than one read/write buffer, and not a whole number of blocks.
  std::string bytes(3 * (1 << 20) + 4097, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7919 % 251);
  testing::WriteFile(dir.File("source"), bytes);

  const CopyOutcome fastest =
      Copy(dir.File("source"), dir.File("fast"), bytes.size(), CopyWay::kFastest);
  EXPECT_EQ(fastest.error, 0);
  EXPECT_NE(fastest.method, CopyMethod::kReadWrite);  // every Linux has copy_file_range
  EXPECT_EQ(ReadFile(dir.File("fast")), bytes);

  const CopyOutcome plain =
      Copy(dir.File("source"), dir.File("plain"), bytes.size(), CopyWay::kReadWrite);
  EXPECT_EQ(plain.error, 0);
  EXPECT_EQ(plain.method, CopyMethod::kReadWrite);
  EXPECT_EQ(ReadFile(dir.File("plain")), bytes);
}

TEST(CopyFileBytes, CopiesTheSizeAskedAndFailsOnAShorterSource) {
  TempDir dir;
  testing::WriteFile(dir.File("source"), "0123456789");
  for (CopyWay way : {CopyWay::kFastest, CopyWay::kReadWrite}) {
    const std::string tag = way == CopyWay::kFastest ? "fast" : "plain";
    EXPECT_EQ(Copy(dir.File("source"), dir.File(tag + "-part"), 4, way).error, 0);
    EXPECT_EQ(ReadFile(dir.File(tag + "-part")), "0123") << tag;
    EXPECT_EQ(Copy(dir.File("source"), dir.File(tag + "-long"), 20, way).error, EIO) << tag;
  }
}

}  // namespace
}  // namespace actualiz::platform
