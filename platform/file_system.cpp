// Directory listing and file copy with the rules of the system the paths
// come from: wildcards that ignore case, directories listed beside files,
// hidden entries left out, names in the order that system returns them.
#include "platform/file_system.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <random>
#include <system_error>

#include "base/error.h"
#include "base/names.h"

namespace fs = std::filesystem;

namespace actualiz::platform {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string FoldUpper(std::string_view name) {
  std::string out(name);
  for (char& c : out) c = Upper(c);
  return out;
}

// "*" any run of characters, "?" exactly one; letters without regard to case.
bool WildcardMatch(std::string_view pattern, std::string_view name) {
  size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Upper(pattern[p]) == Upper(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool MatchesPattern(std::string_view pattern, std::string_view name) {
  // "*.*" names every entry, those without a dot too.
  if (pattern == "*.*") return true;
  return WildcardMatch(pattern, name);
}

bool IsDriveRoot(std::string_view directory) {
  const auto drive = DriveMap::DriveOf(directory);
  if (!drive) return false;
  std::string_view rest = directory.substr(2);
  return std::all_of(rest.begin(), rest.end(), IsSeparator);
}

std::string ErrorContext(std::string_view path, const std::string& host) {
  return std::string(path) + " (" + host + ")";
}

}  // namespace

std::string DirectoryLister::First(std::string_view pattern) {
  entries_.clear();
  next_ = 0;
  size_t cut = pattern.size();
  while (cut > 0 && !IsSeparator(pattern[cut - 1])) --cut;
  std::string_view directory = pattern.substr(0, cut);
  std::string_view name_pattern = pattern.substr(cut);
  if (directory.empty() && DriveMap::DriveOf(pattern)) {
    directory = pattern.substr(0, 2);  // "c:*.mdb": the drive's current directory
    name_pattern = pattern.substr(2);
  }
  const std::string host = drives_.ToHost(directory.empty() ? std::string_view(".") : directory);

  std::error_code ec;
  if (!fs::exists(host, ec)) return {};  // nothing matches in a directory that is not there
  if (!fs::is_directory(host, ec)) return {};
  if (!IsDriveRoot(directory) && host != "/") {
    for (const char* dots : {".", ".."}) {
      if (MatchesPattern(name_pattern, dots)) entries_.emplace_back(dots);
    }
  }
  std::vector<std::string> names;
  auto it = fs::directory_iterator(host, ec);
  if (ec) throw Error(err::kPathNotFound, "Path not found", ErrorContext(pattern, host));
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) throw Error(err::kPathNotFound, "Path not found", ErrorContext(pattern, host));
    std::string name = it->path().filename().string();
    if (name.empty() || name.front() == '.') continue;  // hidden
    if (MatchesPattern(name_pattern, name)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const std::string fa = FoldUpper(a), fb = FoldUpper(b);
    return fa != fb ? fa < fb : a < b;
  });
  entries_.insert(entries_.end(), names.begin(), names.end());
  return Next();
}

std::string DirectoryLister::Next() {
  if (next_ >= entries_.size()) return {};
  return entries_[next_++];
}

std::vector<std::string> ListMatching(const DriveMap& drives, std::string_view pattern) {
  DirectoryLister lister(drives);
  std::vector<std::string> out;
  for (std::string name = lister.First(pattern); !name.empty(); name = lister.Next()) {
    out.push_back(std::move(name));
  }
  return out;
}

bool DirectoryExists(const DriveMap& drives, std::string_view path) {
  std::error_code ec;
  try {
    return fs::is_directory(drives.ToHost(path), ec);
  } catch (const Error&) {
    return false;  // an unmapped drive holds no directory
  }
}

bool FileExists(const DriveMap& drives, std::string_view path) {
  std::error_code ec;
  try {
    return fs::is_regular_file(drives.ToHost(path), ec);
  } catch (const Error&) {
    return false;
  }
}

namespace {

Error CopyFailure(int errno_value, std::string_view to, const std::string& host) {
  switch (errno_value) {
    case EEXIST:
      return Error(err::kFileAlreadyExists, "File already exists", ErrorContext(to, host));
    case EACCES:
    case EPERM:
    case EROFS:
      return Error(err::kPermissionDenied, "Permission denied", ErrorContext(to, host));
    default:
      return Error(err::kPathNotFound, "Path not found", ErrorContext(to, host));
  }
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  // Closes now, reporting whether everything written reached the file.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool CopyContents(int from, int to) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(to, buffer + done, static_cast<size_t>(got - done));
      if (put < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      done += put;
    }
  }
}

std::string TemporaryName(const fs::path& destination) {
  std::random_device random;
  return (destination.parent_path() /
          ("." + destination.filename().string() + ".copy-" + std::to_string(random())))
      .string();
}

}  // namespace

// The copy is written to a hidden temporary file beside the destination and
// then linked under the destination's name; link() refuses an existing name,
// so a file that appeared meanwhile is never replaced, and a copy that
// fails half-way leaves nothing behind.
void CopyFileNoReplace(const DriveMap& drives, std::string_view from, std::string_view to) {
  const std::string source = drives.ToHost(from);
  const std::string destination = drives.ToHost(to);
  std::error_code ec;
  if (!fs::is_regular_file(source, ec)) {
    throw Error(err::kFileNotFoundOs, "File not found", ErrorContext(from, source));
  }
  if (fs::exists(destination, ec)) throw CopyFailure(EEXIST, to, destination);

  FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) {
    throw Error(err::kPermissionDenied, "Permission denied", ErrorContext(from, source));
  }
  const std::string temporary = TemporaryName(destination);
  FileDescriptor out(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
  if (out.get() < 0) throw CopyFailure(errno, to, destination);
  const bool copied = CopyContents(in.get(), out.get());
  const int copy_errno = errno;
  if (!copied || !out.Close()) {
    ::unlink(temporary.c_str());
    throw CopyFailure(copied ? errno : copy_errno, to, destination);
  }
  const int linked = ::link(temporary.c_str(), destination.c_str());
  const int link_errno = errno;
  ::unlink(temporary.c_str());
  if (linked != 0) throw CopyFailure(link_errno, to, destination);
}

std::string ExecutableDirectory() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return fs::current_path().string();
  return self.parent_path().string();
}

}  // namespace actualiz::platform
