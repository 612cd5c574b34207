// The backups of customer databases held on a server (a data directory that
// is a server location, base/server_address.h), for app/backups.h: each
// schema is kept as the file pg_dump makes of it, "NAME.mdb.dump", and put
// back with pg_restore in one transaction (engine/postgres/pg_programs.h).
//
// A server has no folder beside its databases, so their dated backup
// folders go into ".actualiz-backups" of the program directory; the
// manifest names the location as ServerAddress::Display() gives it (an
// address never carries a password).
#pragma once

#include <optional>
#include <set>
#include <string>

namespace actualiz::app {

// The file that keeps customer database `name` ("clientes.mdb") of a
// server in a backup folder: "clientes.mdb.dump".
std::string DumpFileName(const std::string& name);

// The location as manifests and messages name it.
std::string LocationName(const std::string& location);

// Whether two names of server locations name the same server database.
bool SameLocation(const std::string& a, const std::string& b);

// The customer databases of the location, as file names. 3151 when the
// server cannot be reached.
std::set<std::string> DatabasesOnServer(const std::string& location);

// A fingerprint of the schema as it is now: the SHA-256 of the engine's
// description of it with its rows and the engine's own tables. Nothing when
// the schema is gone; "" when it is no longer one the engine opens (then
// it counts as changed). Other failures (the server unreachable) pass.
std::optional<std::string> SchemaDigest(const std::string& location, const std::string& name);

// pg_dump of schema `name` of the location into the new file `path`.
void DumpDatabase(const std::string& location, const std::string& name, const std::string& path);

// Puts schema `name` back as `path` keeps it, in one transaction.
void RestoreDatabase(const std::string& location, const std::string& name, const std::string& path);

// Drops schema `name` of the location with everything in it.
void DropDatabase(const std::string& location, const std::string& name);

}  // namespace actualiz::app
