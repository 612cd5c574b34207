// Copying the bytes of an open file into another as fast as the file system
// allows: a clone of its blocks where it shares them (a reflink), else a
// copy inside the kernel, else plain reads and writes.
#pragma once

#include <cstdint>

namespace actualiz::platform {

enum class CopyWay {
  kFastest,    // clone, else copy_file_range, else read/write
  kReadWrite,  // read/write only: the path every file system takes
};

// How the bytes were moved.
enum class CopyMethod { kClone, kCopyRange, kReadWrite };

struct CopyOutcome {
  int error = 0;  // 0, or the errno of the failure
  CopyMethod method = CopyMethod::kReadWrite;
};

// Copies the first `size` bytes of the file open for reading at `from`
// into the empty file open for writing at `to`. `from` is read at explicit
// offsets: its file offset does not move, and neither descriptor is closed
// (a descriptor another part holds locks through stays usable). A copy
// the kernel cuts short is resumed where it stopped; a file system that
// cannot clone or copy between the two files falls back to the next way
// at the point reached. A source shorter than `size` fails with EIO.
// Nothing is synced to the disk.
CopyOutcome CopyFileBytes(int from, int to, std::uint64_t size, CopyWay way = CopyWay::kFastest);

}  // namespace actualiz::platform
