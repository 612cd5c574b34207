#include "engine/postgres/pg_storage.h"

#include <libpq-fe.h>

#include <cassert>
#include <cstring>

#include "base/error.h"
#include "base/names.h"
#include "engine/engine.h"
#include "engine/postgres/pg_connection.h"
#include "engine/session.h"
#include "engine/session_state.h"

namespace actualiz::engine {

namespace {

// As long as a SQLite file's lock is waited for.
constexpr const char* kLockTimeout = "3s";
constexpr const char* kChangeSavepoint = "actualiz_change";
constexpr const char* kRowSavepoint = "actualiz_row";

constexpr const char* kEngineTablesSql = R"(
CREATE COLLATION IF NOT EXISTS {S}."actualiz.nocase" (provider = icu, locale = 'und-u-ks-level2',
  deterministic = false);
CREATE TABLE IF NOT EXISTS {S}."MSysColumns" (
  "actualiz.key" bigint GENERATED ALWAYS AS IDENTITY UNIQUE,
  "TableName" varchar(64) NOT NULL,
  "ColumnName" varchar(64) NOT NULL,
  "AllowZeroLength" boolean NOT NULL DEFAULT false,
  "Required" boolean NOT NULL DEFAULT false,
  "JetType" smallint NOT NULL,
  "JetSize" integer NOT NULL);
CREATE TABLE IF NOT EXISTS {S}."MSysIndexes" (
  "actualiz.key" bigint GENERATED ALWAYS AS IDENTITY UNIQUE,
  "TableName" varchar(64) NOT NULL,
  "IndexName" varchar(64) NOT NULL,
  "ServerName" varchar(63) NOT NULL,
  "IsPrimary" boolean NOT NULL DEFAULT false);
CREATE TABLE IF NOT EXISTS {S}."MSysRelationships" (
  "actualiz.key" bigint GENERATED ALWAYS AS IDENTITY UNIQUE,
  "ccolumn" integer NOT NULL,
  "grbit" integer NOT NULL,
  "icolumn" integer NOT NULL,
  "szColumn" varchar(64) NOT NULL,
  "szObject" varchar(64) NOT NULL,
  "szReferencedColumn" varchar(64) NOT NULL,
  "szReferencedObject" varchar(64) NOT NULL,
  "szRelationship" varchar(64) NOT NULL);
CREATE TABLE IF NOT EXISTS {S}."MSysQueries" (
  "actualiz.key" bigint GENERATED ALWAYS AS IDENTITY UNIQUE,
  "Name" varchar(64) NOT NULL,
  "SQL" text NOT NULL);
)";

std::string DiagField(pg_result* result, int code) {
  const char* f = PQresultErrorField(result, code);
  return f == nullptr ? "" : f;
}

}  // namespace

std::string PgIdentifier(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

// ---- results ----

PgResult::~PgResult() { PQclear(result_); }
int PgResult::Rows() const { return PQntuples(result_); }
bool PgResult::IsNull(int row, int column) const { return PQgetisnull(result_, row, column) != 0; }
std::string PgResult::Text(int row, int column) const {
  return std::string(PQgetvalue(result_, row, column),
                     static_cast<size_t>(PQgetlength(result_, row, column)));
}
std::int64_t PgResult::Int(int row, int column) const {
  return std::strtoll(PQgetvalue(result_, row, column), nullptr, 10);
}
bool PgResult::Bool(int row, int column) const {
  return PQgetvalue(result_, row, column)[0] == 't';
}

// ---- connection ----

PgStorage::PgStorage(SessionState& session, std::shared_ptr<PgConnection> connection,
                     ServerAddress address, std::string name)
    : session_(session),
      connection_(std::move(connection)),
      conn_(connection_->conn),
      address_(std::move(address)),
      name_(std::move(name)) {}

PgStorage::~PgStorage() = default;

namespace {

pg_conn* ConnectTo(const ServerAddress& address, const std::string& name) {
  pg_conn* conn = PQconnectdb(address.ConnInfo().c_str());
  if (PQstatus(conn) != CONNECTION_OK) {
    const std::string why = PgMessageLine(PQerrorMessage(conn));
    PQfinish(conn);
    ServerAddress server = address.Location();
    throw MakeError(err::kConnectionFailed, {server.Display()}, "'" + name + "': " + why);
  }
  // The server's notices ("drop cascades to ...") tell nothing the engine
  // acts on; failures come back as results.
  PQsetNoticeProcessor(
      conn, [](void*, const char*) {}, nullptr);
  return conn;
}

}  // namespace

std::shared_ptr<PgConnection> PgStorage::Connect(const ServerAddress& address,
                                                 const std::string& name) {
  auto connection =
      std::make_shared<PgConnection>(ConnectTo(address, name), name, address.Location().Display());
  pg_result* set = PQexecParams(connection->conn, "SELECT set_config('lock_timeout', $1, false)", 1,
                                nullptr, &kLockTimeout, nullptr, nullptr, 0);
  const bool done = PQresultStatus(set) == PGRES_TUPLES_OK;
  PQclear(set);
  if (!done) {
    throw MakeError(err::kConnectionFailed, {connection->location},
                    "'" + name + "': " + PgMessageLine(PQerrorMessage(connection->conn)));
  }
  return connection;
}

std::unique_ptr<PgStorage> PgStorage::Open(Session& session, const ServerAddress& address,
                                           const std::string& name) {
  PgSessionState& pg = PgState(session.State());
  std::shared_ptr<PgConnection> held = pg.Held(address);
  std::unique_ptr<PgStorage> storage(
      new PgStorage(session.State(), held ? held : Connect(address, name), address, name));
  if (!held) {
    if (storage->SchemaOid().empty()) {
      throw MakeError(err::kFileNotFound, {name},
                      "'" + name + "': no schema '" + address.schema + "' in database '" +
                          address.database + "'");
    }
    pg.Hold(address, storage->connection_);
  }
  storage->Describe();
  return storage;
}

std::unique_ptr<PgStorage> PgStorage::Create(Session& session, const ServerAddress& address,
                                             const std::string& name) {
  std::unique_ptr<PgStorage> storage(
      new PgStorage(session.State(), Connect(address, name), address, name));
  if (!storage->SchemaOid().empty()) throw MakeError(err::kDatabaseExists, "'" + name + "'");
  const std::string schema = PgIdentifier(address.schema);
  // One transaction: a schema that could not be made whole is not left.
  // While the session holds changes until a commit, what fills the schema
  // joins that transaction, and the schema appears only with the commit.
  PgSessionState& pg = PgState(session.State());
  storage->Exec("BEGIN");
  try {
    storage->Exec("CREATE SCHEMA " + schema, {}, storage->In("the schema"));
    storage->MakeEngineTables();
    if (!pg.committing) storage->Exec("COMMIT");
  } catch (...) {
    PQclear(PQexec(storage->conn_, "ROLLBACK"));
    throw;
  }
  if (pg.committing) {
    storage->connection_->group_open = true;
    storage->connection_->creating = true;
    pg.Hold(address, storage->connection_);
  }
  storage->connection_->schema_oid.clear();
  storage->Describe();
  return storage;
}

void PgStorage::DropSchema(const ServerAddress& address) {
  const std::string name = address.Display();
  pg_conn* conn = ConnectTo(address, name);
  PQclear(
      PQexec(conn, ("DROP SCHEMA IF EXISTS " + PgIdentifier(address.schema) + " CASCADE").c_str()));
  PQfinish(conn);
}

std::vector<std::string> PgStorage::ListSchemas(const ServerAddress& location) {
  const std::string name = location.Display();
  pg_conn* conn = ConnectTo(location, name);
  // "public" is made with every database: it counts only when it holds
  // something, as an empty one is no customer's.
  PgResult result(PQexec(conn,
                         "SELECT nspname FROM pg_namespace n WHERE nspname NOT LIKE 'pg\\_%' "
                         "AND nspname <> 'information_schema' AND (nspname <> 'public' OR "
                         "EXISTS (SELECT 1 FROM pg_class c WHERE c.relnamespace = n.oid))"));
  if (PQresultStatus(result.Raw()) != PGRES_TUPLES_OK) {
    const std::string why = PgMessageLine(PQerrorMessage(conn));
    PQfinish(conn);
    throw MakeError(err::kConnectionFailed, {name}, "'" + name + "': " + why);
  }
  PQfinish(conn);
  std::vector<std::string> schemas;
  for (int row = 0; row < result.Rows(); ++row) schemas.push_back(result.Text(row, 0));
  return schemas;
}

void PgStorage::MakeEngineTables() {
  std::string sql = kEngineTablesSql;
  const std::string schema = PgIdentifier(address_.schema);
  for (size_t at = sql.find("{S}"); at != std::string::npos; at = sql.find("{S}", at)) {
    sql.replace(at, 3, schema);
  }
  Exec(sql, {}, In("the engine's tables"));
}

std::string PgStorage::SchemaOid() {
  if (connection_->schema_oid.empty()) {
    PgResult r = Exec("SELECT oid FROM pg_namespace WHERE nspname = $1", {{address_.schema}});
    if (r.Rows() == 1) connection_->schema_oid = r.Text(0, 0);
  }
  return connection_->schema_oid;
}

std::string PgStorage::Qualified(const std::string& name) const {
  return PgIdentifier(address_.schema) + "." + PgIdentifier(name);
}

std::string PgStorage::In(const std::string& what) const { return what + " in '" + name_ + "'"; }

bool PgStorage::InTransaction() const { return PQtransactionStatus(conn_) != PQTRANS_IDLE; }

PgResult PgStorage::Exec(const std::string& sql, const std::vector<PgParam>& params,
                         const std::string& context, Op op) {
  std::vector<const char*> values;
  std::vector<int> lengths, formats;
  for (const PgParam& p : params) {
    values.push_back(p.value ? p.value->data() : nullptr);
    lengths.push_back(p.value ? static_cast<int>(p.value->size()) : 0);
    formats.push_back(p.binary ? 1 : 0);
  }
  pg_result* result = params.empty()
                          ? PQexec(conn_, sql.c_str())
                          : PQexecParams(conn_, sql.c_str(), static_cast<int>(params.size()),
                                         nullptr, values.data(), lengths.data(), formats.data(), 0);
  const ExecStatusType status = PQresultStatus(result);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) Fail(result, context, op);
  return PgResult(result);
}

void PgStorage::Fail(pg_result* result, const std::string& context, Op op) {
  const std::string state = result ? DiagField(result, PG_DIAG_SQLSTATE) : "";
  const std::string message =
      PgMessageLine(result ? PQresultErrorMessage(result) : PQerrorMessage(conn_));
  const std::string constraint = result ? DiagField(result, PG_DIAG_CONSTRAINT_NAME) : "";
  PQclear(result);
  const std::string where = context.empty() ? "'" + name_ + "'" : context;
  if (PQstatus(conn_) == CONNECTION_BAD) {
    // The server dropped the open transaction with the connection. Within a
    // change, Change says so; a read or row write says it here.
    std::string lost = where + ": the connection was lost (" + message + ")";
    if (connection_->group_open && !in_change_) lost += "; " + Undone();
    connection_->Break("the connection was lost (" + message + ")");
    throw MakeError(err::kConnectionFailed, {address_.Location().Display()}, lost);
  }
  if (state == "55P03" || state == "40P01") throw MakeError(err::kFileInUse, {name_}, where);
  if (state == "23505") throw MakeError(err::kDuplicateValues, where);
  if (state == "23503") {
    const RelationInfo* relation =
        connection_->schema ? connection_->schema->FindRelation(constraint) : nullptr;
    if (op == Op::kRelation) {
      throw MakeError(err::kDataBreaksRelation, {relation ? relation->foreign_table : constraint},
                      where);
    }
    // An update breaks the relation from the referencing side (a key with
    // no primary row) or from the primary side (a referenced key changed).
    // Only for a table related to itself does the server's message decide.
    bool referencing_side = op == Op::kInsert;
    if (op == Op::kUpdate) {
      referencing_side = relation && relation->table != relation->foreign_table
                             ? write_table_ == relation->foreign_table
                             : message.find("insert or update") == 0;
    }
    if (referencing_side) {
      throw MakeError(err::kRelatedRecordRequired, {relation ? relation->table : constraint},
                      where);
    }
    throw MakeError(err::kRecordIsReferenced, {relation ? relation->foreign_table : constraint},
                    where);
  }
  if (state == "23502") throw MakeError(err::kRequiredNull, {message}, where);
  if (state == "42830") throw MakeError(err::kNoUniqueIndex, where);
  if (state == "42804") throw MakeError(err::kRelationFieldMismatch, where);
  if (state == "22003" || state == "23514" || state == "22001") {
    throw MakeError(err::kTypeConversion, where + ": " + message);
  }
  throw Error(err::kReservedError, ErrorText(err::kReservedError) + " (" + state + "): " + message,
              where);
}

// ---- changes ----

void PgStorage::RequireChange() const {
  assert(in_change_ && "schema operations run inside Change");
}

void PgStorage::Change(const std::function<void(const Schema&)>& change) {
  assert(!in_change_);
  const bool grouped =
      connection_->group_open || connection_->until_commit || session_.groups.Active();
  const std::string where = In("the database");
  const bool begins = !connection_->group_open;
  in_change_ = true;
  auto abandon = [&]() -> bool {
    in_change_ = false;
    connection_->schema.reset();
    // Within a group the savepoint undoes the failed change alone, unless
    // the connection (and so the whole transaction) is gone.
    if (grouped && PQstatus(conn_) == CONNECTION_OK && InTransaction()) {
      const std::string undo = std::string("ROLLBACK TO SAVEPOINT ") + kChangeSavepoint +
                               "; RELEASE SAVEPOINT " + kChangeSavepoint;
      pg_result* r = PQexec(conn_, undo.c_str());
      const bool undone = PQresultStatus(r) == PGRES_COMMAND_OK;
      PQclear(r);
      if (undone) return false;
    }
    if (PQstatus(conn_) == CONNECTION_OK && InTransaction()) PQclear(PQexec(conn_, "ROLLBACK"));
    connection_->Break("a change could not be undone alone");
    return grouped;
  };
  try {
    if (begins) {
      Exec("BEGIN", {}, where);
      connection_->group_open = grouped;
      connection_->objects_checked = false;
    }
    if (grouped) Exec(std::string("SAVEPOINT ") + kChangeSavepoint, {}, where);
    // A schema made by other means gains the engine's tables with its
    // first change, as a plain SQLite file does.
    const auto before = Describe();
    if (!before->FindTable("MSysColumns") || !before->FindTable("MSysIndexes") ||
        !before->FindTable("MSysRelationships") || !before->FindTable("MSysQueries")) {
      MakeEngineTables();
      connection_->schema.reset();
    }
    change(*Describe());
    Exec(grouped ? std::string("RELEASE SAVEPOINT ") + kChangeSavepoint : "COMMIT", {}, where);
  } catch (const Error& e) {
    if (abandon()) {
      throw Error(e.Number(), e.Text(), e.Context() + "; " + Undone() + " too");
    }
    throw;
  } catch (...) {
    abandon();
    throw;
  }
  in_change_ = false;
  connection_->schema.reset();
}

std::string PgStorage::Undone() const {
  if (connection_->until_commit) return "the changes made since the last commit were undone";
  return "the changes made since '" + name_ + "' was opened were undone";
}

void PgStorage::Finish() {
  // A held group goes on in the next open of the schema, until its commit.
  if (!connection_->group_open || connection_->until_commit) return;
  connection_->group_open = false;
  connection_->schema.reset();
  try {
    Exec("COMMIT", {},
         In("storing the changes made since the database was opened (none was kept)"));
  } catch (...) {
    if (PQstatus(conn_) == CONNECTION_OK && InTransaction()) PQclear(PQexec(conn_, "ROLLBACK"));
    throw;
  }
}

PgResult PgStorage::Write(const std::string& sql, const std::vector<PgParam>& params,
                          const std::string& context, Op op) {
  JoinHeldGroup(context);
  if (!InTransaction() || connection_->creating) return Exec(sql, params, context, op);
  // Inside a transaction a failed statement would end all of it: the
  // savepoint undoes the failed write alone, as the engine's files do.
  Exec(std::string("SAVEPOINT ") + kRowSavepoint, {}, context);
  try {
    PgResult result = Exec(sql, params, context, op);
    Exec(std::string("RELEASE SAVEPOINT ") + kRowSavepoint, {}, context);
    return result;
  } catch (...) {
    if (PQstatus(conn_) == CONNECTION_OK) {
      const std::string undo = std::string("ROLLBACK TO SAVEPOINT ") + kRowSavepoint +
                               "; RELEASE SAVEPOINT " + kRowSavepoint;
      PQclear(PQexec(conn_, undo.c_str()));
    }
    throw;
  }
}

void PgStorage::JoinHeldGroup(const std::string& context) {
  if (!connection_->until_commit || connection_->group_open) return;
  Exec("BEGIN", {}, context);
  connection_->group_open = true;
  connection_->objects_checked = false;
}

}  // namespace actualiz::engine
