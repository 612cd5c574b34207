#include "engine/sqlite/sqlite_shared_schema.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cassert>

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

void SharedSchemas::DropLeastRecentlyUsed() {
  auto oldest = entries_.begin();
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->second.last_use < oldest->second.last_use) oldest = it;
  }
  entries_.erase(oldest);
}

std::optional<SchemaSnapshot> SharedSchemas::Find(const FileVersion& version) {
  auto it = entries_.find(version.identity);
  if (it == entries_.end() || !(it->second.version == version)) return std::nullopt;
  it->second.last_use = ++clock_;
  return it->second.snapshot;
}

void SharedSchemas::Publish(const FileVersion& version, SchemaSnapshot snapshot) {
  assert(snapshot.schema != nullptr);
  if (!entries_.contains(version.identity) && entries_.size() >= kCapacity) {
    DropLeastRecentlyUsed();
  }
  entries_[version.identity] = Entry{version, std::move(snapshot), ++clock_};
}

}  // namespace actualiz::engine
