#include "engine/accessfile/access_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>

#include "base/error.h"
#include "engine/accessfile/jet_storage.h"
#include "engine/engine.h"
#include "platform/file_copy.h"
#include "platform/file_system.h"

namespace actualiz::engine {

namespace {

namespace fs = std::filesystem;

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

bool HasAccessHeader(const std::string& path) {
  std::array<unsigned char, 32> header{};
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(header.data()), header.size());
  return IsAccessHeader(header.data(), static_cast<std::size_t>(in.gcount()));
}

// Closes a descriptor when it goes.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

void CopyAccessFile(const std::string& from, const std::string& to, CopyTarget target) {
  Descriptor in{::open(from.c_str(), O_RDONLY | O_CLOEXEC)};
  struct stat st {};
  if (in.fd < 0 || ::fstat(in.fd, &st) != 0) {
    throw MakeError(err::kCannotOpen, {from}, Quoted(from));
  }
  platform::FileBuiltBeside built(to);
  {
    Descriptor out{
        ::open(built.Path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777)};
    if (out.fd < 0) throw MakeError(err::kCannotOpen, {to}, Quoted(to));
    built.Lock();
    const platform::CopyOutcome copied =
        platform::CopyFileBytes(in.fd, out.fd, static_cast<std::uint64_t>(st.st_size));
    const bool closed = ::close(std::exchange(out.fd, -1)) == 0;
    if (copied.error != 0 || !closed) throw MakeError(err::kCannotOpen, {to}, Quoted(to));
  }
  try {
    if (target == CopyTarget::kReplace) {
      built.PlaceOver();
    } else if (!built.PlaceWithoutReplacing()) {
      throw MakeError(err::kDatabaseExists, Quoted(to));
    }
  } catch (const Error& e) {
    if (e.Number() == err::kDatabaseExists) throw;
    throw MakeError(err::kCannotOpen, {to}, Quoted(to));
  }
}

}  // namespace

void CopyDatabaseFile(const std::string& from, const std::string& to, CopyTarget target) {
  std::error_code ec;
  if (!fs::is_regular_file(from, ec) || !HasAccessHeader(from)) {
    CopyDatabase(from, to, target);
    return;
  }
  if (target == CopyTarget::kNew && fs::exists(fs::symlink_status(to, ec))) {
    throw MakeError(err::kDatabaseExists, Quoted(to));
  }
  CopyAccessFile(from, to, target);
}

}  // namespace actualiz::engine
