#include "engine/postgres/pg_connection.h"

#include <libpq-fe.h>

#include "engine/change_groups.h"
#include "engine/session.h"

namespace actualiz::engine {

namespace {

// The key a held connection is found by: two storages share it only when
// they connect alike and work on the same schema.
std::string HeldKey(const ServerAddress& address) {
  return address.ConnInfo() + '\n' + address.schema;
}

}  // namespace

std::string PgMessageLine(const char* message) {
  std::string text = message == nullptr ? "" : message;
  text = text.substr(0, text.find('\n'));
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

PgConnection::~PgConnection() { PQfinish(conn); }

void PgConnection::Break(const std::string& why) {
  group_open = false;
  creating = false;
  schema.reset();
  if (until_commit && !broken) broken = why;
}

void PgConnection::CommitGroup() {
  const std::string where = "'" + name + "'";
  if (broken) {
    throw MakeError(
        err::kConnectionFailed, {location},
        where + ": none of the changes made since the last commit was kept (" + *broken + ")");
  }
  if (!group_open) return;
  group_open = false;
  creating = false;
  schema.reset();
  pg_result* result = PQexec(conn, "COMMIT");
  const bool committed = PQresultStatus(result) == PGRES_COMMAND_OK;
  const std::string why = PgMessageLine(PQresultErrorMessage(result));
  PQclear(result);
  if (committed) return;
  RollBackGroup();
  throw MakeError(err::kConnectionFailed, {location},
                  where + ": storing the changes made since the last commit failed (" + why +
                      "); none of them was kept");
}

void PgConnection::RollBackGroup() {
  group_open = false;
  creating = false;
  schema.reset();
  if (PQstatus(conn) == CONNECTION_OK && PQtransactionStatus(conn) != PQTRANS_IDLE) {
    PQclear(PQexec(conn, "ROLLBACK"));
  }
}

std::shared_ptr<PgConnection> PgSessionState::Held(const ServerAddress& address) {
  if (!committing) return nullptr;
  const auto it = held.find(HeldKey(address));
  if (it == held.end()) return nullptr;
  const std::shared_ptr<PgConnection>& connection = it->second;
  if (!connection->broken && PQstatus(connection->conn) != CONNECTION_OK) {
    connection->Break("the connection was lost");
  }
  if (connection->broken) {
    throw MakeError(err::kConnectionFailed, {connection->location},
                    "'" + connection->name + "': " + *connection->broken +
                        ", and the changes made since the last commit were undone; nothing "
                        "more is changed there until the commit");
  }
  return connection;
}

void PgSessionState::Hold(const ServerAddress& address,
                          const std::shared_ptr<PgConnection>& connection) {
  if (!committing) return;
  connection->until_commit = true;
  held[HeldKey(address)] = connection;
}

std::vector<Error> PgSessionState::CommitHeld() {
  std::vector<Error> failures;
  for (auto& [key, connection] : std::exchange(held, {})) {
    try {
      connection->CommitGroup();
    } catch (const Error& e) {
      failures.push_back(e);
    }
    connection->until_commit = false;
    connection->broken.reset();
  }
  return failures;
}

void PgSessionState::RollBackHeld() {
  committing = false;
  // What was not committed is undone; a storage still open goes on alone.
  for (auto& [key, connection] : std::exchange(held, {})) {
    connection->RollBackGroup();
    connection->until_commit = false;
  }
}

}  // namespace actualiz::engine
