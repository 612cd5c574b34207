#include "engine/sqlite/sqlite_idle_connections.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "engine/session.h"
#include "engine/sqlite/sqlite_session.h"
#include "engine/sqlite/sqlite_storage.h"

namespace actualiz::engine {

namespace {

// A batch has a model, a customer database and the three catalogues in hand
// at once; a few more cover the files a stage opens beside them. Each kept
// connection holds its page cache, so the number stays small.
constexpr std::size_t kMostKept = 6;

}  // namespace

IdleConnections::IdleConnections() = default;
IdleConnections::~IdleConnections() = default;

// The file still the one the connection has open, unchanged since it was
// kept. (Its durability needs no check: a path marked as hand-off stays
// marked, and a connection that still waits for the disk is only slower.)
bool IdleConnections::StillFits(const KeptConnection& kept) {
  const std::optional<FileStat> now = StatFile(kept.storage->HostPath());
  return now && now->identity == kept.file.identity && now->size == kept.file.size &&
         now->change_time_ns == kept.file.change_time_ns;
}

void IdleConnections::StopKeeping() {
  if (--keeping_ > 0) return;
  // Moved out first: closing a connection touches the file, and the list
  // is left empty whatever happens.
  std::vector<KeptConnection> closing;
  closing.swap(kept_);
}

void IdleConnections::Keep(std::unique_ptr<SqliteStorage> storage) {
  if (keeping_ == 0 || !storage || !storage->Idle()) return;
  const std::optional<FileStat> file = StatFile(storage->HostPath());
  if (!file || file->identity != storage->Identity()) return;
  std::unique_ptr<SqliteStorage> evicted;
  try {
    if (kept_.size() == kMostKept) {
      evicted = std::move(kept_.front().storage);
      kept_.erase(kept_.begin());
    }
    kept_.push_back({std::move(storage), *file});
  } catch (...) {
    // No room to keep it: it is closed, as it would be without keeping.
  }
}

std::unique_ptr<SqliteStorage> IdleConnections::Take(const std::string& host_path, bool read_only) {
  const auto it = std::find_if(kept_.rbegin(), kept_.rend(), [&](const KeptConnection& kept) {
    return kept.storage->HostPath() == host_path && kept.storage->RequestedReadOnly() == read_only;
  });
  if (it == kept_.rend()) return nullptr;
  KeptConnection found = std::move(*it);
  kept_.erase(std::next(it).base());
  if (!StillFits(found)) return nullptr;  // closed here; the caller opens afresh
  return std::move(found.storage);
}

KeepClosedConnections::KeepClosedConnections(Session& session) : state_(session.SharedState()) {
  SqliteState(*state_).idle.StartKeeping();
}

KeepClosedConnections::~KeepClosedConnections() { SqliteState(*state_).idle.StopKeeping(); }

}  // namespace actualiz::engine
