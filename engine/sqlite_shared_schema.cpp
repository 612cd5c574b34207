#include "engine/sqlite_shared_schema.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cassert>
#include <mutex>

namespace actualiz::engine {

namespace {

std::int64_t Nanoseconds(const struct statx_timestamp& t) {
  return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

}  // namespace

std::optional<FileStat> StatFile(const std::string& host_path) {
  struct statx st;
  if (statx(AT_FDCWD, host_path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &st) != 0) {
    return std::nullopt;
  }
  FileStat file;
  file.identity.device = makedev(st.stx_dev_major, st.stx_dev_minor);
  file.identity.inode = st.stx_ino;
  if ((st.stx_mask & STATX_BTIME) != 0) file.identity.birth_time_ns = Nanoseconds(st.stx_btime);
  file.size = static_cast<std::int64_t>(st.stx_size);
  file.change_time_ns = Nanoseconds(st.stx_ctime);
  return file;
}

}  // namespace actualiz::engine

namespace actualiz::engine::shared_schema {

namespace {

struct Entry {
  FileVersion version;
  SchemaSnapshot snapshot;
  std::uint64_t last_use = 0;
};

struct Cache {
  std::mutex mutex;
  std::map<FileIdentity, Entry> entries;
  std::uint64_t clock = 0;
};

Cache& TheCache() {
  static Cache cache;
  return cache;
}

void DropLeastRecentlyUsed(Cache& cache) {
  auto oldest = cache.entries.begin();
  for (auto it = cache.entries.begin(); it != cache.entries.end(); ++it) {
    if (it->second.last_use < oldest->second.last_use) oldest = it;
  }
  cache.entries.erase(oldest);
}

}  // namespace

std::optional<SchemaSnapshot> Find(const FileVersion& version) {
  Cache& cache = TheCache();
  std::lock_guard lock(cache.mutex);
  auto it = cache.entries.find(version.identity);
  if (it == cache.entries.end() || !(it->second.version == version)) return std::nullopt;
  it->second.last_use = ++cache.clock;
  return it->second.snapshot;
}

void Publish(const FileVersion& version, SchemaSnapshot snapshot) {
  assert(snapshot.schema != nullptr);
  Cache& cache = TheCache();
  std::lock_guard lock(cache.mutex);
  if (!cache.entries.contains(version.identity) && cache.entries.size() >= kCapacity) {
    DropLeastRecentlyUsed(cache);
  }
  cache.entries[version.identity] = Entry{version, std::move(snapshot), ++cache.clock};
}

std::size_t Size() {
  Cache& cache = TheCache();
  std::lock_guard lock(cache.mutex);
  return cache.entries.size();
}

}  // namespace actualiz::engine::shared_schema
