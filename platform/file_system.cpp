// Directory listing and file copy with the rules of the system the paths
// come from: wildcards that ignore case, directories listed beside files,
// hidden entries left out, names in the order that system returns them.
#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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
  if (ec) throw MakeError(err::kPathNotFound, ErrorContext(pattern, host));
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) throw MakeError(err::kPathNotFound, ErrorContext(pattern, host));
    std::string name = it->path().filename().string();
    if (name.empty() || name.front() == '.') continue;  // hidden
    if (MatchesPattern(name_pattern, name)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), ListingOrder);
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
      return MakeError(err::kFileAlreadyExists, ErrorContext(to, host));
    case EACCES:
    case EPERM:
    case EROFS:
      return MakeError(err::kPermissionDenied, ErrorContext(to, host));
    default:
      return MakeError(err::kPathNotFound, ErrorContext(to, host));
  }
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
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

constexpr std::string_view kCopySuffix = ".copy-";

std::string TemporaryName(const fs::path& destination) {
  std::random_device random;
  return (destination.parent_path() / ("." + destination.filename().string() +
                                       std::string(kCopySuffix) + std::to_string(random())))
      .string();
}

bool LocksUnsupported(int error) {
  return error == ENOLCK || error == EOPNOTSUPP || error == EINVAL;
}

// Creates the hidden temporary for a copy to `destination` (its name in
// `name`) and takes the file's lock, held until the descriptor closes: the
// lock tells a copy still being written from one a killed run left behind
// (RemoveCopyLeftover). When a run removed the new file before the lock was
// taken, another name is tried. On a file system without such locks the
// copy goes on unlocked (a leftover there is never removed). A descriptor
// below 0 with errno set when none can be created.
FileDescriptor OpenLockedTemporary(const fs::path& destination, std::string& name) {
  for (;;) {
    name = TemporaryName(destination);
    FileDescriptor fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (fd.get() < 0) return fd;
    int locked;
    do {
      locked = ::flock(fd.get(), LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0 && LocksUnsupported(errno)) locked = 0;
    struct stat st;
    if (locked != 0 || ::fstat(fd.get(), &st) != 0) {
      const int failure = errno;
      fd.Close();
      ::unlink(name.c_str());
      errno = failure;
      return FileDescriptor(-1);
    }
    if (st.st_nlink > 0) return fd;
  }
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
    throw MakeError(err::kFileNotFoundOs, ErrorContext(from, source));
  }
  if (fs::exists(destination, ec)) throw CopyFailure(EEXIST, to, destination);

  FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) {
    throw MakeError(err::kPermissionDenied, ErrorContext(from, source));
  }
  std::string temporary;
  FileDescriptor out = OpenLockedTemporary(destination, temporary);
  if (out.get() < 0) throw CopyFailure(errno, to, destination);
  // fsync, not close, tells whether everything written reached the file:
  // the descriptor, and with it the lock, stays open until the temporary
  // is linked and gone, so no other run takes it for a leftover meanwhile.
  if (!CopyContents(in.get(), out.get()) || ::fsync(out.get()) != 0) {
    const int failure = errno;
    ::unlink(temporary.c_str());
    throw CopyFailure(failure, to, destination);
  }
  const int linked = ::link(temporary.c_str(), destination.c_str());
  const int link_errno = errno;
  ::unlink(temporary.c_str());
  if (linked != 0) throw CopyFailure(link_errno, to, destination);
}

bool IsCopyLeftoverName(std::string_view name) {
  const size_t suffix = name.rfind(kCopySuffix);
  if (name.size() < 2 || name.front() != '.' || suffix == std::string_view::npos) return false;
  const std::string_view digits = name.substr(suffix + kCopySuffix.size());
  if (digits.empty() ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  const std::string_view copied = name.substr(1, suffix - 1);  // "NAME.mdb"
  constexpr std::string_view kExtension = ".MDB";
  return copied.size() > kExtension.size() &&
         FoldUpper(copied.substr(copied.size() - kExtension.size())) == kExtension;
}

std::vector<std::string> CopyLeftovers(const DriveMap& drives, std::string_view directory) {
  const std::string host = drives.ToHost(directory);
  std::error_code ec;
  if (!fs::is_directory(host, ec)) return {};
  std::vector<std::string> names;
  auto it = fs::directory_iterator(host, ec);
  if (ec) throw MakeError(err::kPathNotFound, ErrorContext(directory, host));
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) throw MakeError(err::kPathNotFound, ErrorContext(directory, host));
    const std::string name = it->path().filename().string();
    // symlink_status: a link of that name is not a leftover of ours.
    if (IsCopyLeftoverName(name) &&
        fs::symlink_status(it->path(), ec).type() == fs::file_type::regular) {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

// RemoveCopyLeftover on a host path; `shown` names it in errors.
bool RemoveLeftoverAt(const std::string& host, std::string_view shown) {
  // O_NOFOLLOW: a link of that name is not a temporary of ours.
  FileDescriptor fd(::open(host.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT || errno == ELOOP) return false;
    throw MakeError(err::kPermissionDenied, ErrorContext(shown, host));
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    // A copy is writing it now, or the file system cannot tell.
    if (errno == EWOULDBLOCK || LocksUnsupported(errno)) return false;
    throw MakeError(err::kPermissionDenied, ErrorContext(shown, host));
  }
  // Held while unlinking, so a copy that created a file of this name
  // meanwhile sees it gone when it takes the lock, and starts again.
  if (::unlink(host.c_str()) != 0) {
    if (errno == ENOENT) return false;
    throw MakeError(err::kPermissionDenied, ErrorContext(shown, host));
  }
  // A database built under that name may have left its rollback journal;
  // with the file gone it belongs to nothing.
  const std::string journal = host + "-journal";
  if (::lstat(journal.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(journal.c_str());
  return true;
}

// Whether `name` is ".NAME.copy-N" for the file name `of`.
bool IsLeftoverNameOf(std::string_view name, std::string_view of) {
  const std::string prefix = "." + std::string(of) + std::string(kCopySuffix);
  if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return false;
  const std::string_view digits = name.substr(prefix.size());
  return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool RemoveCopyLeftover(const DriveMap& drives, std::string_view path) {
  return RemoveLeftoverAt(drives.ToHost(path), path);
}

int RemoveLeftoversOf(const std::string& destination) {
  const fs::path target(destination);
  const fs::path directory = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  const std::string of = target.filename().string();
  std::error_code ec;
  std::vector<std::string> found;
  for (auto it = fs::directory_iterator(directory, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (IsLeftoverNameOf(name, of)) found.push_back(it->path().string());
  }
  int removed = 0;
  for (const std::string& path : found) {
    if (RemoveLeftoverAt(path, path)) ++removed;
  }
  return removed;
}

bool SyncFile(const std::string& host_path) {
  FileDescriptor fd(::open(host_path.c_str(), O_RDONLY | O_CLOEXEC));
  return fd.get() >= 0 && ::fsync(fd.get()) == 0;
}

bool AppendDurably(const std::string& host_path, std::string_view text) {
  FileDescriptor fd(::open(host_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
  if (fd.get() < 0) return false;
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd.get(), text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return ::fdatasync(fd.get()) == 0;
}

bool SyncDirectory(const std::string& host_directory) {
  FileDescriptor fd(::open(host_directory.empty() ? "." : host_directory.c_str(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.get() >= 0 && ::fsync(fd.get()) == 0;
}

FileBuiltBeside::FileBuiltBeside(const std::string& destination)
    : destination_(destination), temporary_(TemporaryName(destination)) {}

FileBuiltBeside::~FileBuiltBeside() {
  if (!placed_) {
    ::unlink(temporary_.c_str());
    ::unlink((temporary_ + "-journal").c_str());
  }
  if (lock_ >= 0) ::close(lock_);
}

void FileBuiltBeside::Lock() {
  if (lock_ >= 0) return;
  const int fd = ::open(temporary_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) throw MakeError(err::kPermissionDenied, temporary_);
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX);
  } while (locked != 0 && errno == EINTR);
  // Without such locks the build goes on unlocked: a leftover there is
  // never removed, so nothing takes this one either.
  if (locked != 0 && !LocksUnsupported(errno)) {
    ::close(fd);
    throw MakeError(err::kPermissionDenied, temporary_);
  }
  lock_ = fd;
}

void FileBuiltBeside::Sync() {
  // fsync through the lock's descriptor writes the file's data whatever
  // descriptor the builder wrote it with.
  FileDescriptor own(lock_ >= 0 ? -1 : ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC));
  const int fd = lock_ >= 0 ? lock_ : own.get();
  if (fd < 0 || ::fsync(fd) != 0) {
    const int failure = errno;
    throw CopyFailure(failure, destination_, destination_);
  }
}

bool FileBuiltBeside::PlaceWithoutReplacing() {
  Sync();
  if (::link(temporary_.c_str(), destination_.c_str()) != 0) {
    const int failure = errno;
    if (failure == EEXIST) return false;
    throw CopyFailure(failure, destination_, destination_);
  }
  placed_ = true;
  ::unlink(temporary_.c_str());
  SyncDirectory(fs::path(destination_).parent_path().string());
  return true;
}

void FileBuiltBeside::PlaceOver() {
  Sync();
  if (::rename(temporary_.c_str(), destination_.c_str()) != 0) {
    throw CopyFailure(errno, destination_, destination_);
  }
  placed_ = true;
  SyncDirectory(fs::path(destination_).parent_path().string());
}

std::string ExecutableDirectory() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return fs::current_path().string();
  return self.parent_path().string();
}

}  // namespace actualiz::platform
