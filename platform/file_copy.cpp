#include "platform/file_copy.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace actualiz::platform {

namespace {

// The errors with which a file system says it cannot do this kind of copy
// between these two files (rather than that the copy itself failed).
bool Unsupported(int error) {
  return error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == EINVAL ||
         error == ENOTTY || error == ETXTBSY || error == EBADF;
}

// copy_file_range from `done` on; leaves `done` where it stopped. 0 when
// every byte is copied, ENOSYS-like errors for the caller to fall back.
int CopyInKernel(int from, int to, std::uint64_t size, std::uint64_t& done) {
  while (done < size) {
    loff_t in = static_cast<loff_t>(done);
    loff_t out = static_cast<loff_t>(done);
    const ssize_t copied =
        ::copy_file_range(from, &in, to, &out, static_cast<size_t>(size - done), 0);
    if (copied < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (copied == 0) return EIO;  // the source ended early
    done += static_cast<std::uint64_t>(copied);
  }
  return 0;
}

int CopyReadWrite(int from, int to, std::uint64_t size, std::uint64_t& done) {
  std::vector<char> buffer(1 << 20);
  while (done < size) {
    const size_t want = static_cast<size_t>(std::min<std::uint64_t>(buffer.size(), size - done));
    const ssize_t got = ::pread(from, buffer.data(), want, static_cast<off_t>(done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (got == 0) return EIO;
    for (ssize_t put_all = 0; put_all < got;) {
      const ssize_t put = ::pwrite(to, buffer.data() + put_all, static_cast<size_t>(got - put_all),
                                   static_cast<off_t>(done) + put_all);
      if (put < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      put_all += put;
    }
    done += static_cast<std::uint64_t>(got);
  }
  return 0;
}

}  // namespace

CopyOutcome CopyFileBytes(int from, int to, std::uint64_t size, CopyWay way) {
  std::uint64_t done = 0;
  if (way == CopyWay::kFastest) {
    // A clone takes the whole file; it is only right when the source is
    // exactly `size` long, which the caller's size says.
    if (::ioctl(to, FICLONE, from) == 0) {
      // A clone copies the source as it is: check it was the size asked.
      const off_t end = ::lseek(to, 0, SEEK_END);
      if (end == static_cast<off_t>(size)) return {0, CopyMethod::kClone};
      if (::ftruncate(to, 0) != 0) return {errno, CopyMethod::kClone};
    } else if (!Unsupported(errno) && errno != EPERM) {
      return {errno, CopyMethod::kClone};
    }
    const int error = CopyInKernel(from, to, size, done);
    if (error == 0) return {0, CopyMethod::kCopyRange};
    if (!Unsupported(error)) return {error, CopyMethod::kCopyRange};
  }
  return {CopyReadWrite(from, to, size, done), CopyMethod::kReadWrite};
}

}  // namespace actualiz::platform
