// The run lock of a data directory on a server: what platform/run_lock.h
// is for a folder of files, for a server database whose schemas are the
// customer databases.
//
// A run lock here is a session-level advisory lock of the server
// (pg_try_advisory_lock), held on a connection of its own for as long as
// the object lives. The server releases it when that connection closes or
// is lost, so a killed run never leaves the data directory locked. An
// advisory lock belongs to one server database, so every run on the same
// database (whatever address it was reached by) takes the same lock.
//
// The holder names itself in the connection's application_name: a run
// refused after its wait reads it from the server's activity list to say
// who is in the way, as a lock file's holder line does.
//
// Shared locks are for runs that only read (the plan copying the schemas):
// any number at once, none beside an exclusive one.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>

struct pg_conn;

namespace actualiz::engine {

class PgRunLock {
 public:
  // Locks the data directory `location` (a server location,
  // base/server_address.h), shared or exclusive, for `program` (written
  // with this process's id and start time as the holder's name). Tries again
  // every few milliseconds for up to `wait`; `stop`, when given, ends the
  // wait early once non-zero.
  // 3044 when `location` is no server location; 3151 naming the server when
  // it cannot be reached or refuses; 3260 "Couldn't update; currently
  // locked" naming the holder (when known), with the location as context,
  // when the wait ends first.
  PgRunLock(const std::string& location, bool exclusive, std::chrono::milliseconds wait,
            std::string_view program, const std::atomic<int>* stop = nullptr);
  // Lets go (closes the connection, which releases the lock).
  ~PgRunLock();
  PgRunLock(PgRunLock&& other) noexcept;
  PgRunLock& operator=(PgRunLock&&) = delete;
  PgRunLock(const PgRunLock&) = delete;
  PgRunLock& operator=(const PgRunLock&) = delete;

  // The location locked, as messages name it.
  const std::string& Location() const { return location_; }

 private:
  pg_conn* conn_ = nullptr;
  std::string location_;
};

}  // namespace actualiz::engine
