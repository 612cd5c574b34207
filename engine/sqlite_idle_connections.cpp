#include "engine/sqlite_idle_connections.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "engine/sqlite_shared_schema.h"
#include "engine/sqlite_storage.h"

namespace actualiz::engine {

namespace {

// A batch has a model, a customer database and the three catalogues in hand
// at once; a few more cover the files a stage opens beside them. Each kept
// connection holds its page cache, so the number stays small.
constexpr std::size_t kMostKept = 6;

struct KeptConnection {
  std::unique_ptr<SqliteStorage> storage;
  FileStat file;  // the file as it was when the connection was kept
};

struct Pool {
  std::mutex mutex;
  int keeping = 0;                   // live KeepClosedConnections
  std::vector<KeptConnection> kept;  // least recently kept first
};

Pool& ThePool() {
  static Pool pool;
  return pool;
}

// The file still the one the connection has open, unchanged since it was
// kept. (Its durability needs no check: a path marked as hand-off stays
// marked, and a connection that still waits for the disk is only slower.)
bool StillFits(const KeptConnection& kept) {
  const std::optional<FileStat> now = StatFile(kept.storage->HostPath());
  return now && now->identity == kept.file.identity && now->size == kept.file.size &&
         now->change_time_ns == kept.file.change_time_ns;
}

}  // namespace

namespace idle_connections {

void Keep(std::unique_ptr<SqliteStorage> storage) {
  if (!storage || !storage->Idle()) return;
  const std::optional<FileStat> file = StatFile(storage->HostPath());
  if (!file || file->identity != storage->Identity()) return;
  std::unique_ptr<SqliteStorage> evicted;
  Pool& pool = ThePool();
  std::lock_guard lock(pool.mutex);
  if (pool.keeping == 0) return;
  try {
    if (pool.kept.size() == kMostKept) {
      evicted = std::move(pool.kept.front().storage);
      pool.kept.erase(pool.kept.begin());
    }
    pool.kept.push_back({std::move(storage), *file});
  } catch (...) {
    // No room to keep it: it is closed, as it would be without keeping.
  }
}

std::unique_ptr<SqliteStorage> Take(const std::string& host_path, bool read_only) {
  KeptConnection found;
  {
    Pool& pool = ThePool();
    std::lock_guard lock(pool.mutex);
    const auto it =
        std::find_if(pool.kept.rbegin(), pool.kept.rend(), [&](const KeptConnection& kept) {
          return kept.storage->HostPath() == host_path &&
                 kept.storage->RequestedReadOnly() == read_only;
        });
    if (it == pool.kept.rend()) return nullptr;
    found = std::move(*it);
    pool.kept.erase(std::next(it).base());
  }
  if (!StillFits(found)) return nullptr;  // closed here; the caller opens afresh
  return std::move(found.storage);
}

int Count() {
  Pool& pool = ThePool();
  std::lock_guard lock(pool.mutex);
  return static_cast<int>(pool.kept.size());
}

}  // namespace idle_connections

KeepClosedConnections::KeepClosedConnections() {
  Pool& pool = ThePool();
  std::lock_guard lock(pool.mutex);
  ++pool.keeping;
}

KeepClosedConnections::~KeepClosedConnections() {
  std::vector<KeptConnection> closing;
  {
    Pool& pool = ThePool();
    std::lock_guard lock(pool.mutex);
    if (--pool.keeping == 0) closing.swap(pool.kept);
  }
  // Closed outside the lock: closing a connection touches the file.
}

}  // namespace actualiz::engine
