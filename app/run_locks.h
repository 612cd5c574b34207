// The locks a run takes before it writes: the catalogue directory
// "C:\Zarade" and the data directory, so that two runs (two batches, a
// batch and the window, a restore and a batch) never interleave their
// changes. See platform/run_lock.h for the lock itself.
//
// The catalogue directory always comes first, then the data directories in
// the order given, so that two runs never each hold what the other waits
// for. Every wait is bounded (Environment::lock_wait).
//
// A data directory on a server (base/server_address.h) is locked on the
// server instead (engine/postgres/pg_run_lock.h): the same waits, the same
// error naming the holder, with the server location as its context.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/actualiz.h"
#include "engine/postgres/pg_run_lock.h"
#include "platform/run_lock.h"

namespace actualiz::app {

// The locks a run holds, let go when it goes.
struct RunLocks {
  std::vector<platform::RunLock> directories;
  std::vector<engine::PgRunLock> servers;
};

// The host directory of the catalogues on `drives`; "" when c: is not mapped.
std::string CatalogueHostDirectory(const platform::DriveMap& drives);

// Locks, in `mode`, the catalogue directory (with `catalogues`) and each of
// `host_directories` (host paths, or server locations), for `program`,
// waiting up to `env.lock_wait` for each and giving up early once
// `env.stop` is set. A directory that does not exist is passed over
// (nothing can be written there, and whoever wants to will fail on its
// own); one given twice is locked once. Error 3260 naming the holder when a
// lock is not had in time, 70 when a lock file cannot be made, 3151 when a
// server cannot be reached; the locks already taken are then released.
RunLocks LockRun(const Environment& env, bool catalogues,
                 const std::vector<std::string>& host_directories, platform::LockMode mode,
                 std::string_view program);

// Whether a handler may write: every one but "Salir" (Command14_Click),
// which must end the program even while another run holds the locks.
bool ClickWrites(std::string_view handler);

// What a click of the window locks: the catalogues and the data directory
// Dir1 shows, exclusively, for `program`.
RunLocks LockForClick(const Actualiz& window, std::string_view program);

}  // namespace actualiz::app
