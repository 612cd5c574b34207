// Run locks on a server: a session-level advisory lock on a connection of
// the lock's own.
//
// The lock is tried without waiting (pg_try_advisory_lock) again and again
// with short sleeps until the wait ends, so a run never hangs on another and
// a stop request is seen at once, as with a lock file. The key is fixed: an
// advisory lock already belongs to the server database it is taken in, which
// is the data directory.
#include "engine/postgres/pg_run_lock.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <optional>
#include <thread>
#include <vector>

#include "base/error.h"
#include "base/server_address.h"
#include "engine/postgres/pg_connection.h"

namespace actualiz::engine {

namespace {

constexpr std::chrono::milliseconds kRetryEvery{25};
// The advisory lock's two keys: "actu" and the run lock's number.
constexpr const char* kKeys = "1635021941, 1";

// The single value of a query's one row, or nullopt when it failed or gave
// no row.
std::optional<std::string> QueryValue(pg_conn* conn, const std::string& sql,
                                      const std::vector<std::string>& params = {}) {
  std::vector<const char*> values;
  for (const std::string& param : params) values.push_back(param.c_str());
  PGresult* result = PQexecParams(conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                  values.data(), nullptr, nullptr, 0);
  std::optional<std::string> value;
  if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0 &&
      !PQgetisnull(result, 0, 0)) {
    value = PQgetvalue(result, 0, 0);
  }
  PQclear(result);
  return value;
}

// Who holds the lock in a way that keeps this one out, as the holder named
// itself: "actualiz-cli batch (process 4242, started 2026-12-08 09:40:01
// UTC)"; "another run" when it cannot be told.
std::string Holder(pg_conn* conn) {
  const std::optional<std::string> holder = QueryValue(
      conn,
      "SELECT CASE WHEN a.backend_start IS NULL OR right(a.application_name, 1) <> ')' "
      "THEN a.application_name ELSE left(a.application_name, -1) || ', started ' || "
      "to_char(a.backend_start AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS') || ' UTC)' END "
      "FROM pg_locks l JOIN pg_stat_activity a ON a.pid = l.pid "
      "WHERE l.locktype = 'advisory' AND l.granted AND l.pid <> pg_backend_pid() "
      "AND l.database = (SELECT oid FROM pg_database WHERE datname = current_database()) "
      "AND (l.classid, l.objid, l.objsubid) = (" +
          std::string(kKeys) + ", 2) ORDER BY a.backend_start LIMIT 1");
  return holder && !holder->empty() ? *holder : "another run";
}

}  // namespace

PgRunLock::PgRunLock(const std::string& location, bool exclusive, std::chrono::milliseconds wait,
                     std::string_view program, const std::atomic<int>* stop) {
  const std::optional<ServerAddress> address = ParseServerAddress(location);
  if (!address || !address->schema.empty()) {
    throw MakeError(err::kInvalidPath, {location},
                    "'" + location + "': a data directory on a server is named .../DATABASE");
  }
  location_ = address->Display();
  conn_ = PQconnectdb(address->ConnInfo().c_str());
  if (PQstatus(conn_) != CONNECTION_OK) {
    const std::string why = PgMessageLine(PQerrorMessage(conn_));
    PQfinish(conn_);
    conn_ = nullptr;
    throw MakeError(err::kConnectionFailed, {location_}, "run lock of '" + location_ + "': " + why);
  }
  PQsetNoticeProcessor(
      conn_, [](void*, const char*) {}, nullptr);
  const std::string name = std::string(program) + " (process " + std::to_string(getpid()) + ")";
  QueryValue(conn_, "SELECT set_config('application_name', $1, false)", {name});

  const std::string attempt =
      std::string("SELECT ") +
      (exclusive ? "pg_try_advisory_lock(" : "pg_try_advisory_lock_shared(") + kKeys + ")";
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    const std::optional<std::string> had = QueryValue(conn_, attempt);
    if (!had) {
      const std::string why = PgMessageLine(PQerrorMessage(conn_));
      PQfinish(conn_);
      conn_ = nullptr;
      throw MakeError(err::kConnectionFailed, {location_},
                      "run lock of '" + location_ + "': " + why);
    }
    if (*had == "t") return;
    const bool stopping = stop != nullptr && stop->load() != 0;
    if (stopping || std::chrono::steady_clock::now() >= deadline) {
      const std::string text = ErrorText(err::kLockedByOtherUser, {Holder(conn_)});
      PQfinish(conn_);
      conn_ = nullptr;
      throw Error(err::kLockedByOtherUser, text,
                  stopping ? location_ + "; stopped waiting" : location_);
    }
    std::this_thread::sleep_for(kRetryEvery);
  }
}

PgRunLock::PgRunLock(PgRunLock&& other) noexcept
    : conn_(other.conn_), location_(std::move(other.location_)) {
  other.conn_ = nullptr;
}

PgRunLock::~PgRunLock() {
  if (conn_ != nullptr) PQfinish(conn_);
}

}  // namespace actualiz::engine
