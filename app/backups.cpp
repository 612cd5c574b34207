#include "app/backups.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include <nlohmann/json.hpp>

#include "engine/backup.h"
#include "engine/description.h"
#include "engine/import.h"
#include "engine/jet_errors.h"

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

fs::path FreshFolder(const fs::path& parent, const std::string& stamp) {
  fs::path candidate = parent / stamp;
  for (int n = 2; fs::exists(candidate); ++n) {
    candidate = parent / (stamp + "-" + std::to_string(n));
  }
  return candidate;
}

void WriteManifest(const BackupFolder& backup) {
  const nlohmann::json manifest = {{"dataDirectory", backup.data_directory},
                                   {"databases", backup.databases},
                                   {"copiedIn", backup.copied_in}};
  const std::string path = (fs::path(backup.folder) / kBackupManifest).string();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << manifest.dump(2) << "\n";
  out.close();
  if (!out) throw Error(err::kPermissionDenied, "Permission denied", "'" + path + "'");
}

// Whether a run left the database at `current` as its backup holds it: the
// same tables, fields, indexes, relations and queries as the engine
// describes them, and the same rows, compared side by side a row at a time,
// so a large database is never held in memory whole. Throws the engine's
// error when either file cannot be read.
bool SameContent(const std::string& backup, const std::string& current) {
  nlohmann::json structure;
  {
    engine::DatabasePtr before = engine::OpenDatabase(backup);
    engine::DatabasePtr after = engine::OpenDatabase(current);
    structure = engine::Describe(*before, {.system = false});
    if (structure != engine::Describe(*after, {.system = false})) return false;
  }
  std::vector<std::string> tables;
  for (const nlohmann::json& table : structure["tables"]) tables.push_back(table["name"]);
  return engine::SameRows(backup, current, tables);
}

bool Unchanged(const std::string& backup, const std::string& current) {
  try {
    return SameContent(backup, current);
  } catch (const Error&) {
    return false;  // when in doubt the backup stays
  }
}

// The engine's refusal when the file at `host_path` cannot be opened as a
// database at all, naming it `name`, or 3027 when it is a read-only Access
// file; nothing when it opens as one of ours. Other failures
// (a lock held by another process, a file that cannot be read now) pass
// through: they may clear during the run, and then the run would change a
// database with no backup.
std::optional<Error> RefusedAsDatabase(const std::string& host_path, const std::string& name) {
  try {
    engine::OpenDatabase(host_path, name)->Close();
    // An Access file opens, read-only: the run cannot change it, and the
    // engine's copy keeps only databases of its own format.
    if (engine::IsAccessFile(host_path)) {
      return Error(err::kReadOnly,
                   std::string(engine::text::kReadOnly) + " '" + name +
                       "' is a read-only Access file; import it to change it.",
                   "'" + name + "'");
    }
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

std::vector<std::string> PairedTargets(const Actualiz& window) {
  const std::vector<std::string>& models = window.List7.Items();
  std::vector<std::string> targets;
  for (const std::string& name : window.List6.Items()) {
    const bool paired = std::find(models.begin(), models.end(), name) != models.end();
    const bool seen = std::find(targets.begin(), targets.end(), name) != targets.end();
    if (paired && !seen) targets.push_back(name);
  }
  return targets;
}

BackupFolder BackUpDatabases(const std::string& host_data_directory,
                             const std::string& data_directory,
                             const std::vector<std::string>& names,
                             std::chrono::system_clock::time_point now) {
  const fs::path parent = fs::path(host_data_directory) / kBackupsDirectory;
  const bool parent_existed = fs::exists(parent);
  BackupFolder backup;
  backup.data_directory = data_directory;
  std::error_code ec;
  const fs::path folder = FreshFolder(parent, Stamp(now));
  fs::create_directories(folder, ec);
  if (ec) {
    throw Error(err::kPathNotFound, "Path not found", "'" + folder.string() + "': " + ec.message());
  }
  backup.folder = folder.string();
  try {
    for (const std::string& name : names) {
      const std::string path = (fs::path(host_data_directory) / name).string();
      // Named as the run names the target, so its failures read alike.
      const std::string target = data_directory + "\\" + name;
      if (std::optional<Error> refused = RefusedAsDatabase(path, target)) {
        backup.unopened.push_back({name, *refused});
        continue;
      }
      engine::CopyDatabase(path, (folder / name).string(), engine::CopyTarget::kNew);
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
                     const std::vector<std::string>& copied_in) {
  if (backup.folder.empty()) return;
  const fs::path folder(backup.folder);
  std::vector<std::string> kept;
  std::error_code ec;
  for (const std::string& name : backup.databases) {
    const std::string saved = (folder / name).string();
    if (Unchanged(saved, (fs::path(host_data_directory) / name).string())) {
      fs::remove(saved, ec);
    } else {
      kept.push_back(name);
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
  WriteManifest(backup);
}

BackupFolder ReadBackupFolder(const std::string& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    throw Error(err::kPathNotFound, "Path not found", "'" + folder + "'");
  }
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

void RestoreDatabases(const BackupFolder& backup, const std::string& host_data_directory,
                      std::vector<RestoredFile>& done) {
  const fs::path folder(backup.folder);
  const fs::path data(host_data_directory);
  // Every copy is there before any is put back: no half restore for a
  // folder that lost a file.
  std::error_code ec;
  if (!fs::is_directory(data, ec)) {
    throw Error(err::kPathNotFound, "Path not found", "'" + data.string() + "'");
  }
  for (const std::string& name : backup.databases) {
    if (!fs::is_regular_file(folder / name, ec)) {
      throw Error(err::kFileNotFound, "Backup copy missing: " + name,
                  "'" + (folder / name).string() + "'");
    }
  }
  for (const std::string& name : backup.databases) {
    engine::CopyDatabase((folder / name).string(), (data / name).string(),
                         engine::CopyTarget::kReplace);
    done.push_back({name, "restored"});
  }
  for (const std::string& name : backup.copied_in) {
    const fs::path copied = data / name;
    if (!fs::exists(copied, ec)) continue;
    const fs::path aside = folder / "copied-in" / name;
    if (fs::exists(aside, ec)) {
      throw Error(err::kFileAlreadyExists, "File already exists", "'" + aside.string() + "'");
    }
    fs::create_directories(aside.parent_path(), ec);
    fs::rename(copied, aside, ec);
    if (ec) {
      throw Error(err::kPermissionDenied, "Permission denied",
                  "'" + copied.string() + "': " + ec.message());
    }
    done.push_back({name, "moved aside"});
  }
}

}  // namespace actualiz::app
