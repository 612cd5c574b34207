#include "fuzz/fuzz_files.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace actualiz::fuzz {

namespace {

const std::filesystem::path& ScratchDirectory() {
  static const std::filesystem::path dir = [] {
    auto path = std::filesystem::temp_directory_path() /
                ("actualiz-fuzz-" + std::to_string(static_cast<long>(getpid())));
    std::filesystem::create_directories(path);
    return path;
  }();
  return dir;
}

}  // namespace

std::string FreshPath(std::string_view name) {
  const std::string path = (ScratchDirectory() / std::string(name)).string();
  RemoveDatabase(path);
  return path;
}

void WriteBytes(const std::string& path, const unsigned char* bytes, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
}

void RemoveDatabase(const std::string& path) {
  std::error_code ec;
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    std::filesystem::remove_all(path + suffix, ec);
  }
}

}  // namespace actualiz::fuzz
