// PostgreSQL's own programs run on one customer database of a server:
// pg_dump keeps a schema whole in a file of its custom format; pg_restore
// reads such a file back as statements, which psql runs.
//
// Each program runs as a child process from a list of words, never through
// a shell. The connection is one --dbname word holding
// ServerAddress::ConnInfo() (every value quoted), and a schema's name goes
// only into a quoted pattern or identifier, so nothing in an address or a
// name can add an option or a statement. The password comes from
// PGPASSWORD or ~/.pgpass, as for the engine; the programs never ask for
// one.
#pragma once

#include <string>

#include "base/server_address.h"

namespace actualiz::engine {

// The program `name` ("pg_dump"): the first on PATH, else the newest in
// /usr/lib/postgresql/VERSION/bin. Fails with 53 naming it when there is
// none.
std::string FindServerProgram(const std::string& name);

// Writes the schema `address` names, whole (its objects, rows, owner and
// grants), into the new file `dump_path` with pg_dump. A lock another
// session holds on one of its tables is waited for as long as the engine
// waits (3 seconds). Fails with 53 when pg_dump is not installed, and with
// 3000 naming `name` and giving pg_dump's own message when it fails (the
// server unreachable, no such schema, a server newer than pg_dump); a
// file it began is removed.
void DumpSchema(const ServerAddress& address, const std::string& dump_path,
                const std::string& name);

// Puts the schema back as `dump_path` holds it, in one transaction: the
// schema is dropped with everything in it and made again from the dump, or,
// when anything fails (the dump cannot be read, a lock is not had within 3
// seconds, a statement fails, the dump does not make that schema), left as
// it was. The dump is read by pg_restore into a private temporary file,
// which psql runs. Fails as DumpSchema does, with the message of the
// program that failed.
void RestoreSchema(const ServerAddress& address, const std::string& dump_path,
                   const std::string& name);

// Drops the schema `address` names with everything in it, waiting 3
// seconds for the locks; 3000 with the server's message when it cannot.
void DropSchemaNow(const ServerAddress& address, const std::string& name);

}  // namespace actualiz::engine
