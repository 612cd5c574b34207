// Addresses of databases on a PostgreSQL server.
//
// A data directory on a server (a "location") is one server database:
//   postgresql://[USER@][HOST][:PORT]/DBNAME[?KEY=VALUE&...]
// ("postgres://" too; "?host=/path/to/socket" names a Unix socket
// directory, as libpq allows). A customer database in it is one schema,
// written as the location with one more path segment NAME.mdb (".mdb" in
// any case):
//   postgresql://USER@HOST:PORT/DBNAME/NAME.mdb?host=/sock  -> schema NAME
// Every part may be percent-encoded. An address never carries a password
// (in the user part or as a "password" parameter): such an address is
// refused, since it would end up on command lines and in reports; the
// password comes from PGPASSWORD or ~/.pgpass.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace actualiz {

struct ServerAddress {
  std::string user;      // "" for libpq's default (the login name)
  std::string host;      // a host name, an address, or a socket directory ("/...")
  std::string port;      // digits, or "" for the default
  std::string database;  // never empty
  std::string schema;    // the customer database (NAME of NAME.mdb); "" for a location
  // The other parameters, in the order given (decoded).
  std::vector<std::pair<std::string, std::string>> params;

  // The address without its schema: the data directory it lies in.
  ServerAddress Location() const;
  // A libpq connection string: every value single-quoted with its
  // backslashes and apostrophes escaped, so no part of the address can add
  // or change a setting.
  std::string ConnInfo() const;
  // The address as a URL in its usual form, each part percent-encoded where
  // needed: how messages and reports name it.
  std::string Display() const;
};

// True when `text` starts with "postgresql://" or "postgres://" (any case).
bool IsServerAddress(std::string_view text);

// The parts of `text`; nothing when it is not a server address at all (a
// path). Fails with 3044 naming the address when it is one but malformed:
// bad percent-encoding, a port that is not a number, no database, a second
// path segment that is not NAME.mdb, more segments, a parameter without
// "=", or a password (the message then tells where a password goes, and
// names the address without it).
std::optional<ServerAddress> ParseServerAddress(std::string_view text);

// The address of customer database `file_name` ("NAME.mdb") in the data
// directory `location`. Fails with 3044 when `location` is not a server
// location (or already names a schema) or `file_name` does not end in
// ".mdb".
std::string ServerDatabasePath(std::string_view location, std::string_view file_name);

}  // namespace actualiz
