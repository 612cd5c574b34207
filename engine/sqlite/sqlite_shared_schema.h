// One schema snapshot per SQLite file, shared by every connection of a
// session.
//
// The table walk and the catalogue chains open the same model and target
// hundreds of times a pair; each open would otherwise read the whole schema
// again. A connection that has to read the schema first asks here for the
// snapshot of the file's current state; when it reads the schema itself (or
// brings it up to date after its own change) it leaves its copy here for the
// next connection.
//
// A snapshot is filed under a FileVersion, which names one state of one file:
//   - the file's identity (device, inode, birth time), taken from the path
//     while the connection's own descriptor keeps that inode alive, so a file
//     renamed or copied over the path (restore, copy-in) is another identity
//     and is read afresh; the birth time tells a new file that took a
//     deleted file's inode number from the one it replaced;
//   - bytes 24..99 of the database header, read through SQLite's own file
//     handle while the reading connection holds the read lock: with the
//     rollback journal the change counter (bytes 24..27) moves on every
//     commit of any process, and the lock keeps any writer out while the
//     key and the schema are read. The schema cookie, page count and the
//     rest of the header come along;
//   - the file's size and its change time (ctime, which no program can set
//     back), for contents written into the same inode by something other
//     than SQLite.
// The one state these cannot tell apart is another database with the very
// same header and size written into the same inode within the tick of the
// kernel's clock (a few milliseconds) in which the state last read was
// written. SQLite's own page cache trusts the change counter alone.
// Files in WAL mode do not move the change counter on commit, so they are
// never shared (no FileVersion is made for them).
//
// The cache holds the last snapshot of a few files; the one used least
// recently goes first, so memory stays bounded however many files a batch
// opens.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "engine/storage.h"

namespace actualiz::engine {

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  // When the file was made (0 where the file system does not keep it): a
  // file made at an inode number a deleted file left differs from it here
  // unless both were made within the same tick of the kernel's clock.
  std::int64_t birth_time_ns = 0;
  auto operator<=>(const FileIdentity&) const = default;
};

// What the file system says of the file at a path now.
struct FileStat {
  FileIdentity identity;
  std::int64_t size = 0;
  std::int64_t change_time_ns = 0;
};

// The file at `host_path`, following links; nothing when there is none or
// it cannot be examined.
std::optional<FileStat> StatFile(const std::string& host_path);

struct FileVersion {
  FileIdentity identity;
  std::array<unsigned char, 76> header{};  // database header bytes 24..99
  std::int64_t size = 0;
  std::int64_t change_time_ns = 0;
  bool operator==(const FileVersion&) const = default;
};

// (folded table name, folded Jet index name) -> SQLite index name.
using IndexNames = std::map<std::pair<std::string, std::string>, std::string>;

struct SchemaSnapshot {
  std::shared_ptr<const Schema> schema;
  IndexNames index_names;
};

// The snapshots of one session.
class SharedSchemas {
 public:
  static constexpr std::size_t kCapacity = 8;

  // The snapshot filed under exactly `version`; nothing when there is none.
  std::optional<SchemaSnapshot> Find(const FileVersion& version);
  // Files `snapshot` as the schema of the file's state `version`, replacing
  // the file's earlier snapshot.
  void Publish(const FileVersion& version, SchemaSnapshot snapshot);
  // How many files have a snapshot now, at most kCapacity.
  std::size_t Size() const { return entries_.size(); }

 private:
  struct Entry {
    FileVersion version;
    SchemaSnapshot snapshot;
    std::uint64_t last_use = 0;
  };
  void DropLeastRecentlyUsed();

  std::map<FileIdentity, Entry> entries_;
  std::uint64_t clock_ = 0;
};

}  // namespace actualiz::engine
