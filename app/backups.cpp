#include "app/backups.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <system_error>

#include <nlohmann/json.hpp>

#include "app/server_backups.h"
#include "base/server_address.h"
#include "base/sha256.h"
#include "engine/accessfile/access_copy.h"
#include "engine/description/description.h"
#include "engine/jet_errors.h"
#include "engine/sqlite/backup.h"
#include "platform/file_system.h"

namespace actualiz::app {

namespace {

namespace fs = std::filesystem;

std::string Stamp(std::chrono::system_clock::time_point now) {
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d_%H%M%S", &local);
  return text;
}

// Makes a new folder "<parent>/<stamp>" (or "<stamp>-2", "-3", ...) with
// one mkdir each: a name another run took, even at this very moment, fails
// with EEXIST and the next one is tried, so the folder returned is this
// run's alone.
fs::path CreateFreshFolder(const fs::path& parent, const std::string& stamp) {
  constexpr int kMaxTries = 1000;
  for (int n = 1; n <= kMaxTries; ++n) {
    const fs::path candidate = parent / (n == 1 ? stamp : stamp + "-" + std::to_string(n));
    if (::mkdir(candidate.c_str(), 0777) == 0) return candidate;
    if (errno != EEXIST) {
      throw MakeError(err::kPathNotFound,
                      "'" + candidate.string() + "': " + std::generic_category().message(errno));
    }
  }
  throw MakeError(err::kFileAlreadyExists, "'" + (parent / stamp).string() + "' and " +
                                               std::to_string(kMaxTries - 1) +
                                               " numbered names after it");
}

// The directory as a host path with symbolic links resolved, so that two
// names of one directory compare equal.
std::string Resolved(const std::string& directory) {
  std::error_code ec;
  const fs::path resolved = fs::weakly_canonical(fs::absolute(directory), ec);
  return ec ? fs::absolute(directory).lexically_normal().string() : resolved.string();
}

// The SHA-256 of the file's bytes, read a piece at a time.
std::string DigestOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw MakeError(err::kPermissionDenied, "'" + path.string() + "'");
  Sha256 digest;
  std::string buffer(1 << 16, '\0');
  while (in.read(buffer.data(), std::streamsize(buffer.size())) || in.gcount() > 0) {
    digest.Update(std::string_view(buffer.data(), size_t(in.gcount())));
  }
  if (in.bad()) throw MakeError(err::kPermissionDenied, "'" + path.string() + "'");
  return digest.HexDigest();
}

// Records the digest of each of `names` as the file in `directory` (the
// schema of the server location) is now. A file that cannot be read gets
// none: a restore then treats it as possibly changed, which is the safe
// side.
void RecordDigests(BackupFolder& backup, const std::string& directory,
                   const std::vector<std::string>& names) {
  const bool server = IsServerAddress(directory);
  for (const std::string& name : names) {
    try {
      std::optional<std::string> digest = server
                                              ? SchemaDigest(directory, name)
                                              : std::optional(DigestOf(fs::path(directory) / name));
      if (digest && !digest->empty()) {
        backup.digests[name] = *digest;
      } else {
        backup.digests.erase(name);
      }
    } catch (const Error&) {
      backup.digests.erase(name);
    }
  }
}

// The digest of database `name` of `directory` now, to compare with the
// one the run left: nothing when it is gone, "" when it cannot be read as
// one (counted as changed).
std::optional<std::string> DigestNow(const std::string& directory, const std::string& name) {
  if (IsServerAddress(directory)) return SchemaDigest(directory, name);
  std::error_code ec;
  if (!fs::exists(fs::path(directory) / name, ec)) return std::nullopt;
  return DigestOf(fs::path(directory) / name);
}

// The databases of the data directory that are there now, of `names`.
std::vector<std::string> PresentOf(const std::string& directory,
                                   const std::vector<std::string>& names) {
  std::vector<std::string> present;
  std::set<std::string> on_server;
  const bool server = IsServerAddress(directory);
  if (server) on_server = DatabasesOnServer(directory);
  for (const std::string& name : names) {
    std::error_code ec;
    if (server ? on_server.contains(name) : fs::exists(fs::path(directory) / name, ec)) {
      present.push_back(name);
    }
  }
  return present;
}

// Writes the manifest beside a temporary name and renames it over the old
// one, so that a failure part-way leaves the previous manifest whole.
void WriteManifest(const BackupFolder& backup) {
  nlohmann::json manifest = {{"dataDirectory", backup.data_directory},
                             {"hostDataDirectory", backup.host_data_directory},
                             {"databases", backup.databases},
                             {"copiedIn", backup.copied_in}};
  manifest["digests"] = nlohmann::json::object();
  for (const auto& [name, digest] : backup.digests) manifest["digests"][name] = digest;
  const fs::path path = fs::path(backup.folder) / kBackupManifest;
  const fs::path temporary = fs::path(backup.folder) / (std::string(kBackupManifest) + ".new");
  std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
  out << manifest.dump(2) << "\n";
  out.close();
  // On the disk before the run changes any database: a folder whose
  // manifest a crash of the machine lost could not be restored.
  std::error_code ec;
  const bool written = out && platform::SyncFile(temporary.string());
  if (written) fs::rename(temporary, path, ec);
  if (!written || ec || !platform::SyncDirectory(backup.folder) ||
      !platform::SyncDirectory(fs::path(backup.folder).parent_path().string())) {
    fs::remove(temporary, ec);
    throw MakeError(err::kPermissionDenied, "'" + path.string() + "'");
  }
}

// Every symbolic link inside `folder`, as a path relative to it. Links are
// not followed.
std::vector<std::string> LinksInside(const fs::path& folder) {
  std::vector<std::string> links;
  std::error_code ec;
  fs::recursive_directory_iterator it(folder, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    std::error_code type_ec;
    if (it->is_symlink(type_ec)) links.push_back(it->path().lexically_relative(folder).string());
  }
  if (ec) {
    throw MakeError(err::kPermissionDenied, "'" + folder.string() + "': " + ec.message());
  }
  return links;
}

std::string Listed(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
  return out;
}

void RefuseLinks(const fs::path& folder) {
  const std::vector<std::string> links = LinksInside(folder);
  if (!links.empty()) {
    throw Error(
        err::kInvalidArgument,
        "The backup folder holds symbolic links, which a restore does not follow: " + Listed(links),
        "'" + folder.string() + "'");
  }
}

// The engine's refusal when the file at `host_path` cannot be opened as a
// database at all, naming it `name`; nothing when it opens (an Access file
// included: it is backed up as its bytes). Other failures (a lock held by
// another process, a file that cannot be read now) pass through: they may
// clear during the run, and then the run would change a database with no
// backup.
std::optional<Error> RefusedAsDatabase(const std::string& host_path, const std::string& name) {
  try {
    engine::Session session;
    engine::OpenDatabase(session, host_path, name)->Close();
    return std::nullopt;
  } catch (const Error& e) {
    const int number = e.Number();
    if (number == err::kUnrecognizedFormat || number == err::kFileNotFound ||
        number == err::kInvalidPath) {
      return e;
    }
    throw;
  }
}

}  // namespace

bool BackupFolder::OnServer() const {
  return IsServerAddress(host_data_directory) || IsServerAddress(data_directory);
}

std::string BackupFolder::CopyOf(const std::string& name) const {
  return (fs::path(folder) / (OnServer() ? DumpFileName(name) : name)).string();
}

BackupFolder BackUpDatabases(const std::string& host_data_directory,
                             const std::string& data_directory,
                             const std::vector<std::string>& names,
                             std::chrono::system_clock::time_point now,
                             const std::string& host_program_directory) {
  const bool server = IsServerAddress(host_data_directory);
  if (server && host_program_directory.empty()) {
    throw Error(err::kPathNotFound,
                "Path not found: no program directory to keep the backups of a server's "
                "databases in",
                "'" + host_data_directory + "'");
  }
  const fs::path parent =
      fs::path(server ? host_program_directory : host_data_directory) / kBackupsDirectory;
  const bool parent_existed = fs::exists(parent);
  BackupFolder backup;
  backup.data_directory = server ? LocationName(data_directory) : data_directory;
  backup.host_data_directory =
      server ? LocationName(host_data_directory) : Resolved(host_data_directory);
  std::error_code ec;
  fs::create_directories(parent, ec);
  if (ec) {
    throw MakeError(err::kPathNotFound, "'" + parent.string() + "': " + ec.message());
  }
  fs::path folder;
  try {
    folder = CreateFreshFolder(parent, Stamp(now));
  } catch (const Error&) {
    if (!parent_existed) fs::remove(parent, ec);
    throw;
  }
  backup.folder = folder.string();
  try {
    for (const std::string& name : names) {
      const std::string path = server ? ServerDatabasePath(host_data_directory, name)
                                      : (fs::path(host_data_directory) / name).string();
      // Named as the run names the target, so its failures read alike.
      const std::string target =
          server ? ServerDatabasePath(data_directory, name) : data_directory + "\\" + name;
      if (std::optional<Error> refused = RefusedAsDatabase(path, target)) {
        backup.unopened.push_back({name, *refused});
        continue;
      }
      if (server) {
        DumpDatabase(host_data_directory, name, backup.CopyOf(name));
      } else {
        engine::CopyDatabaseFile(path, backup.CopyOf(name), engine::CopyTarget::kNew);
      }
      backup.databases.push_back(name);
    }
    WriteManifest(backup);
  } catch (const Error&) {
    fs::remove_all(folder, ec);
    if (!parent_existed) fs::remove(parent, ec);
    throw;
  }
  return backup;
}

void KeepChangedOnly(BackupFolder& backup, const std::string& host_data_directory,
                     const std::set<std::string>& changed,
                     const std::vector<std::string>& copied_in) {
  if (backup.folder.empty()) return;
  const fs::path folder(backup.folder);
  std::vector<std::string> kept;
  std::error_code ec;
  for (const std::string& name : backup.databases) {
    if (changed.contains(name)) {
      kept.push_back(name);
    } else {
      fs::remove(backup.CopyOf(name), ec);
    }
  }
  backup.databases = kept;
  backup.copied_in = copied_in;
  if (backup.databases.empty() && backup.copied_in.empty()) {
    fs::remove_all(folder, ec);
    fs::remove(folder.parent_path(), ec);  // only when empty
    backup.folder.clear();
    return;
  }
  backup.digests.clear();
  RecordDigests(backup, host_data_directory, backup.databases);
  RecordDigests(backup, host_data_directory, backup.copied_in);
  WriteManifest(backup);
}

BackupFolder ReadBackupFolder(const std::string& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    throw MakeError(err::kPathNotFound, "'" + folder + "'");
  }
  RefuseLinks(folder);
  const fs::path manifest_path = fs::path(folder) / kBackupManifest;
  std::ifstream in(manifest_path, std::ios::binary);
  if (!in) {
    throw Error(err::kInvalidArgument,
                "Not a backup folder: it holds no " + std::string(kBackupManifest),
                "'" + folder + "'");
  }
  BackupFolder backup;
  backup.folder = folder;
  try {
    const nlohmann::json manifest = nlohmann::json::parse(in);
    backup.data_directory = manifest.at("dataDirectory").get<std::string>();
    backup.databases = manifest.at("databases").get<std::vector<std::string>>();
    backup.copied_in = manifest.value("copiedIn", std::vector<std::string>{});
    backup.host_data_directory = manifest.value("hostDataDirectory", std::string());
    backup.digests = manifest.value("digests", std::map<std::string, std::string>{});
  } catch (const nlohmann::json::exception& e) {
    throw Error(err::kInvalidArgument, std::string("Backup manifest cannot be read: ") + e.what(),
                "'" + manifest_path.string() + "'");
  }
  // A name is a plain file name: a manifest must not reach outside the folders.
  auto plain = [](const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string::npos;
  };
  for (const auto* names : {&backup.databases, &backup.copied_in}) {
    for (const std::string& name : *names) {
      if (!plain(name)) {
        throw Error(err::kInvalidArgument, "Backup manifest names a path, not a file: " + name,
                    "'" + manifest_path.string() + "'");
      }
    }
  }
  return backup;
}

std::string HostDataDirectoryOf(const std::string& folder) {
  fs::path path = fs::absolute(fs::path(folder)).lexically_normal();
  if (!path.has_filename()) path = path.parent_path();  // a trailing separator
  return path.parent_path().parent_path().string();
}

std::string OwnDataDirectory(const BackupFolder& backup, const platform::DriveMap& drives) {
  if (!backup.host_data_directory.empty()) return backup.host_data_directory;
  // An older manifest: only a name on a mapped drive proves a directory.
  if (!platform::DriveMap::DriveOf(backup.data_directory)) return "";
  try {
    return Resolved(drives.ToHost(backup.data_directory));
  } catch (const Error&) {
    return "";
  }
}

RestoreCheck CheckRestore(const BackupFolder& backup, const RestoreRequest& request) {
  const fs::path folder(backup.folder);
  const std::string& data = request.host_data_directory;
  const bool server = IsServerAddress(data);
  RefuseLinks(folder);
  if (server != backup.OnServer()) {
    throw Error(err::kInvalidArgument,
                backup.OnServer()
                    ? "The backup folder keeps databases of a server (" + backup.data_directory +
                          "): it restores only into a data directory on a server"
                    : "The backup folder keeps database files: it restores only into a directory",
                "'" + backup.folder + "'");
  }
  std::error_code ec;
  if (server) {
    DatabasesOnServer(data);  // reachable, and a server database
  } else if (!fs::is_directory(data, ec)) {
    throw MakeError(err::kPathNotFound, "'" + data + "'");
  }
  if (!request.into) {
    if (request.own_data_directory.empty()) {
      throw Error(err::kInvalidArgument,
                  "The backup folder does not prove which directory it was taken from (its "
                  "manifest names " +
                      backup.data_directory +
                      ", which is not on a mapped drive here): name the directory to restore "
                      "into with --into",
                  "'" + backup.folder + "'");
    }
    const bool own = server ? SameLocation(request.own_data_directory, data)
                            : Resolved(request.own_data_directory) == Resolved(data);
    if (!own) {
      throw Error(err::kInvalidArgument,
                  "The backup folder was taken from " + backup.data_directory + " (" +
                      request.own_data_directory + "), not from " + data +
                      ": it was moved or copied. Restore into its own directory with --data, "
                      "or into this one with --into",
                  "'" + backup.folder + "'");
    }
  }
  // Every copy is there before any is put back: no half restore for a
  // folder that lost a file.
  for (const std::string& name : backup.databases) {
    if (!fs::is_regular_file(backup.CopyOf(name), ec)) {
      throw Error(err::kFileNotFound, "Backup copy missing: " + name,
                  "'" + backup.CopyOf(name) + "'");
    }
  }
  RestoreCheck check;
  for (const auto* names : {&backup.databases, &backup.copied_in}) {
    for (const std::string& name : *names) {
      const std::optional<std::string> now = DigestNow(data, name);
      if (!now) continue;  // nothing there to lose
      const auto recorded = backup.digests.find(name);
      if (recorded == backup.digests.end()) {
        check.unrecorded.push_back(name);
      } else if (*now != recorded->second) {
        check.changed.push_back(name);
      }
    }
  }
  if (request.force) return check;
  if (!check.changed.empty()) {
    throw Error(err::kInvalidArgument,
                "Changed since the run: " + Listed(check.changed) +
                    ". Restoring would discard that work; --force restores anyway (what it "
                    "replaces is kept)",
                "'" + data + "'");
  }
  if (!check.unrecorded.empty()) {
    throw Error(err::kInvalidArgument,
                "The backup folder does not record how the run left " + Listed(check.unrecorded) +
                    " (a folder from an older version, or a run that did not finish), so work "
                    "done since cannot be ruled out; --force restores anyway (what it replaces "
                    "is kept)",
                "'" + data + "'");
  }
  return check;
}

void RestoreDatabases(const BackupFolder& backup, const RestoreRequest& request,
                      RestoreResult& result) {
  CheckRestore(backup, request);
  const fs::path folder(backup.folder);
  const std::string& data = request.host_data_directory;
  const bool server = IsServerAddress(data);
  std::error_code ec;

  // Keep what the restore replaces, in a backup folder of its own (beside
  // this one for a server's databases).
  const std::vector<std::string> present = PresentOf(data, backup.databases);
  std::optional<BackupFolder> kept;
  if (!present.empty()) {
    kept = BackUpDatabases(data, request.data_directory, present, request.now,
                           server ? HostDataDirectoryOf(backup.folder) : std::string());
    for (const UnopenedDatabase& left : kept->unopened) {
      if (left.error.Number() == err::kFileNotFound) continue;  // gone since: nothing to keep
      fs::remove_all(kept->folder, ec);
      fs::remove(fs::path(kept->folder).parent_path(), ec);  // only when empty
      throw Error(left.error.Number(),
                  "Cannot keep " + left.name + " before replacing it: " + left.error.Text(),
                  left.error.Context());
    }
    result.kept_folder = kept->folder;
  }

  for (const std::string& name : backup.databases) {
    if (server) {
      RestoreDatabase(data, name, backup.CopyOf(name));
    } else {
      engine::CopyDatabaseFile(backup.CopyOf(name), (fs::path(data) / name).string(),
                               engine::CopyTarget::kReplace);
    }
    result.done.push_back({name, "restored"});
  }
  for (const std::string& name : PresentOf(data, backup.copied_in)) {
    const fs::path aside = folder / "copied-in" / (server ? DumpFileName(name) : name);
    if (fs::exists(aside, ec)) {
      throw MakeError(err::kFileAlreadyExists, "'" + aside.string() + "'");
    }
    fs::create_directories(aside.parent_path(), ec);
    if (server) {
      // Kept whole before it goes, so moving it aside loses nothing.
      DumpDatabase(data, name, aside.string());
      DropDatabase(data, name);
    } else {
      const fs::path copied = fs::path(data) / name;
      fs::rename(copied, aside, ec);
      if (ec) {
        throw MakeError(err::kPermissionDenied, "'" + copied.string() + "': " + ec.message());
      }
    }
    result.done.push_back({name, "moved aside"});
  }
  // The kept folder can itself be restored: it records how this restore
  // left each database.
  if (kept) {
    RecordDigests(*kept, data, kept->databases);
    WriteManifest(*kept);
  }
}

}  // namespace actualiz::app
