// Opening and creating database files.
//
// OpenDatabase never creates a file. It tells the failures apart before
// handing the file to a storage: a missing file (3024) or directory on its
// path (3044); a directory, an empty file or one that does not start with
// a known header (3343); a SQLite file shorter than its header says
// (truncated: 3343), or one holding a view, a virtual table or a trigger
// the engine does not make (3343, when its schema is read:
// sqlite_schema.cpp). A server address (base/server_address.h) names a
// schema on a PostgreSQL server instead, which the server storage checks
// itself. The header picks the storage: SQLite, or the
// read-only reader of Access files (Jet 3, Jet 4, ACE). A file without any write permission bit, or
// on a file system mounted read-only, opens read-only; its tables then report that they cannot be
// updated. (Permission bits are read rather than asking access(), which says yes to every file for
// the superuser.)
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "base/names.h"
#include "base/server_address.h"
#include "engine/accessfile/jet_storage.h"
#include "engine/dao_database.h"
#include "engine/engine.h"
#include "engine/open/remove_created.h"
#include "engine/postgres/pg_storage.h"
#include "engine/session_state.h"
#include "engine/sqlite/sqlite_held_connections.h"

namespace actualiz::engine {

namespace {

constexpr char kSqliteHeader[16] = "SQLite format 3";  // with its closing zero byte

std::uint32_t BigEndian(const unsigned char* p, int n) {
  std::uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

std::string Quoted(const std::string& name) { return "'" + name + "'"; }

// True when the SQLite file is whole as far as its header tells.
bool SqliteFileWhole(const std::array<unsigned char, 100>& header, std::uintmax_t file_size,
                     bool journal_beside) {
  std::uint32_t page_size = BigEndian(&header[16], 2);
  if (page_size == 1) page_size = 65536;
  if (page_size < 512 || page_size > 65536 || (page_size & (page_size - 1)) != 0) return false;
  // A journal left by a change that did not finish is rolled back when the
  // file opens; until then the file's size may not match its header.
  if (journal_beside) return true;
  if (file_size % page_size != 0) return false;
  const std::uint32_t pages = BigEndian(&header[28], 4);
  const bool count_valid = BigEndian(&header[24], 4) == BigEndian(&header[92], 4);
  if (count_valid && pages > 0 && file_size < std::uintmax_t{pages} * page_size) return false;
  return true;
}

bool ReadOnlyFile(const std::string& host_path, const struct stat& st) {
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
  struct statvfs fs;
  return statvfs(host_path.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0;
}

void RequireParentDirectory(const std::string& host_path, const std::string& name) {
  const std::filesystem::path parent = std::filesystem::path(host_path).parent_path();
  std::error_code ec;
  if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) {
    throw MakeError(err::kInvalidPath, {name}, Quoted(name));
  }
}

DatabasePtr MakeDatabase(Session& session, const StorageRequest& request) {
  auto core = std::make_shared<DatabaseCore>();
  core->name = request.name;
  core->session = session.SharedState();
  core->storage = session.MakeStorage(request);
  if (!core->storage) {
    throw MakeError(err::kCannotOpen, {request.name}, Quoted(request.name));
  }
  return std::make_shared<DaoDatabase>(core);
}

// The request for a customer database on a server; fails with 3044 when
// the address is malformed or names a data directory rather than a database.
StorageRequest ServerRequest(const std::string& address_text, const std::string& name_given,
                             bool create) {
  const std::optional<ServerAddress> address = ParseServerAddress(address_text);
  const std::string name = name_given.empty() ? address->Display() : name_given;
  if (address->schema.empty()) {
    throw MakeError(err::kInvalidPath, {name},
                    "'" + name + "': a database on a server is named .../DATABASE/NAME.mdb");
  }
  return {
      .format = StorageFormat::kServer, .host_path = address_text, .name = name, .create = create};
}

}  // namespace

DatabasePtr OpenDatabase(Session& session, const std::string& host_path,
                         const std::string& name_given) {
  if (IsServerAddress(host_path)) {
    return MakeDatabase(session, ServerRequest(host_path, name_given, false));
  }
  const std::string name = name_given.empty() ? host_path : name_given;
  // A file the session holds open for a pair's changes was checked at the
  // hold's first open; a batch pair opens it some seventy times more.
  if (HeldInSession(session, host_path)) {
    return MakeDatabase(session,
                        {.format = StorageFormat::kSqlite, .host_path = host_path, .name = name});
  }
  const std::string where = Quoted(name);
  struct stat st;
  if (host_path.empty() || stat(host_path.c_str(), &st) != 0) {
    if (errno == ENOENT || host_path.empty()) RequireParentDirectory(host_path, name);
    if (errno == ENOTDIR) throw MakeError(err::kInvalidPath, {name}, where);
    throw MakeError(err::kFileNotFound, {name}, where);
  }
  if (!S_ISREG(st.st_mode)) {
    throw MakeError(err::kUnrecognizedFormat, {name}, where);
  }
  std::array<unsigned char, 100> header{};
  {
    std::ifstream in(host_path, std::ios::binary);
    if (!in) throw MakeError(err::kCannotOpen, {name}, where);
    in.read(reinterpret_cast<char*>(header.data()), header.size());
    if (IsAccessHeader(header.data(), static_cast<std::size_t>(in.gcount()))) {
      in.close();
      return MakeDatabase(session, {.format = StorageFormat::kAccess,
                                    .host_path = host_path,
                                    .name = name,
                                    .read_only = ReadOnlyFile(host_path, st)});
    }
    if (in.gcount() != static_cast<std::streamsize>(header.size()) ||
        std::memcmp(header.data(), kSqliteHeader, sizeof kSqliteHeader) != 0) {
      throw MakeError(err::kUnrecognizedFormat, {name}, where);
    }
  }
  std::error_code ec;
  const bool journal = std::filesystem::exists(host_path + "-journal", ec) ||
                       std::filesystem::exists(host_path + "-wal", ec);
  if (!SqliteFileWhole(header, static_cast<std::uintmax_t>(st.st_size), journal)) {
    throw MakeError(err::kUnrecognizedFormat, {name}, where);
  }
  return MakeDatabase(session, {.format = StorageFormat::kSqlite,
                                .host_path = host_path,
                                .name = name,
                                .read_only = ReadOnlyFile(host_path, st)});
}

DatabasePtr CreateDatabase(Session& session, const std::string& host_path,
                           const std::string& name_given) {
  if (IsServerAddress(host_path)) {
    return MakeDatabase(session, ServerRequest(host_path, name_given, true));
  }
  const std::string name = name_given.empty() ? host_path : name_given;
  std::error_code ec;
  if (std::filesystem::symlink_status(host_path, ec).type() !=
      std::filesystem::file_type::not_found) {
    throw MakeError(err::kDatabaseExists, Quoted(name));
  }
  RequireParentDirectory(host_path, name);
  return MakeDatabase(
      session,
      {.format = StorageFormat::kSqlite, .host_path = host_path, .name = name, .create = true});
}

void RemoveCreatedDatabase(const std::string& host_path) {
  if (IsServerAddress(host_path)) {
    try {
      if (const auto address = ParseServerAddress(host_path)) PgStorage::DropSchema(*address);
    } catch (const Error&) {
      // Nothing more can be done from here; the caller reports its failure.
    }
    return;
  }
  std::error_code ignored;
  std::filesystem::remove(host_path + "-journal", ignored);
  std::filesystem::remove(host_path, ignored);
}

std::vector<std::string> ListServerDatabases(const std::string& location) {
  const std::optional<ServerAddress> address = ParseServerAddress(location);
  if (!address || !address->schema.empty()) {
    throw MakeError(err::kInvalidPath, {location},
                    "'" + location + "': a data directory on a server is named .../DATABASE");
  }
  std::vector<std::string> names;
  for (const std::string& schema : PgStorage::ListSchemas(*address))
    names.push_back(schema + ".mdb");
  std::sort(names.begin(), names.end(), ListingOrder);
  return names;
}

}  // namespace actualiz::engine
