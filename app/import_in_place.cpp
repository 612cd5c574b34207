#include "app/import_in_place.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace actualiz::app {

namespace {

namespace fs = std::filesystem;

constexpr const char* kBackups = ".actualiz-backups";

// A backup path under `backups` for `file` that does not exist yet.
fs::path FreeBackupPath(const fs::path& backups, const fs::path& file) {
  fs::path candidate = backups / file.filename();
  for (int n = 1; fs::exists(candidate); ++n) {
    candidate =
        backups / (file.stem().string() + "." + std::to_string(n) + file.extension().string());
  }
  return candidate;
}

bool SameContents(const fs::path& a, const fs::path& b) {
  std::ifstream in_a(a, std::ios::binary), in_b(b, std::ios::binary);
  if (!in_a || !in_b) return false;
  return std::equal(std::istreambuf_iterator<char>(in_a), std::istreambuf_iterator<char>(),
                    std::istreambuf_iterator<char>(in_b), std::istreambuf_iterator<char>());
}

// Whether the backups already keep `file`: one of the names FreeBackupPath
// gives it is the same file (a link) or holds the same bytes. A run killed
// after keeping the original leaves it there.
bool KeptInBackups(const fs::path& backups, const fs::path& file) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(file, ec);
  if (ec) return false;
  fs::path candidate = backups / file.filename();
  for (int n = 1; fs::is_regular_file(candidate, ec); ++n) {
    if (fs::equivalent(candidate, file, ec) ||
        (fs::file_size(candidate, ec) == size && !ec && SameContents(candidate, file))) {
      return true;
    }
    candidate =
        backups / (file.stem().string() + "." + std::to_string(n) + file.extension().string());
  }
  return false;
}

// Keeps the original in the backups: a second name for the same file where
// the file system allows it (the original stays where it is until the
// converted file replaces it), a copy otherwise.
void KeepInBackups(const fs::path& backups, const fs::path& file,
                   const platform::DriveMap& drives) {
  std::error_code ec;
  fs::create_directories(backups, ec);
  const fs::path backup = FreeBackupPath(backups, file);
  fs::create_hard_link(file, backup, ec);
  if (ec) platform::CopyFileNoReplace(drives, file.string(), backup.string());
  if (!platform::SyncDirectory(backups.string())) {
    throw MakeError(err::kPermissionDenied, "'" + backups.string() + "'");
  }
}

// Converts one Access file of a directory in place, in the steps the
// header gives.
ImportStep ConvertInPlace(const fs::path& file, const fs::path& backups,
                          const platform::DriveMap& drives) {
  ImportStep step;
  step.file = file.string();
  const fs::path target = fs::path(file).replace_extension(".mdb");
  step.converted = target.string();
  const bool kept = KeptInBackups(backups, file);
  if (target != file && fs::exists(target)) {
    if (!kept) {
      throw MakeError(err::kDatabaseExists, "'" + target.string() + "'");
    }
    fs::remove(file);
    step.kind = ImportStep::Kind::kFinished;
    return step;
  }
  platform::RemoveLeftoversOf(target.string());
  platform::FileBuiltBeside built(target.string());
  step.report = engine::ImportDatabase(file.string(), built.Path(), file.string(), target.string());
  built.Lock();
  if (!kept) KeepInBackups(backups, file, drives);
  if (target == file) {
    built.PlaceOver();
  } else {
    if (!built.PlaceWithoutReplacing()) {
      throw MakeError(err::kDatabaseExists, "'" + target.string() + "'");
    }
    fs::remove(file);
    platform::SyncDirectory(file.parent_path().string());
  }
  return step;
}

// The newest backup FreeBackupPath gave `name`; empty when there is none.
fs::path NewestBackup(const fs::path& backups, const fs::path& name) {
  fs::path newest;
  std::error_code ec;
  fs::path candidate = backups / name.filename();
  for (int n = 1; fs::is_regular_file(candidate, ec); ++n) {
    newest = candidate;
    candidate =
        backups / (name.stem().string() + "." + std::to_string(n) + name.extension().string());
  }
  return newest;
}

// Earlier versions moved the original to the backups before renaming the
// converted "NAME.actualiz-import" over it; a run killed between the two
// left the database only in the backups, and no Access file to find. The
// original is put back beside it (and converted again after) and the work
// file, which only that conversion could have made, is removed.
void PutBackOriginalsOfOlderRuns(const fs::path& dir, const fs::path& backups,
                                 const std::function<void(const ImportStep&)>& told) {
  constexpr std::string_view kWork = ".actualiz-import";
  std::error_code ec;
  std::vector<fs::path> works;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > kWork.size() && name.ends_with(kWork) &&
        fs::symlink_status(entry.path(), ec).type() == fs::file_type::regular) {
      works.push_back(entry.path());
    }
  }
  for (const fs::path& work : works) {
    const std::string name = work.filename().string();
    const fs::path original = dir / name.substr(0, name.size() - kWork.size());
    if (!fs::exists(original, ec)) {
      const fs::path kept = NewestBackup(backups, original);
      if (kept.empty() || !engine::IsAccessFile(kept.string())) continue;
      fs::create_hard_link(kept, original, ec);
      if (ec) fs::copy_file(kept, original, ec);
      if (ec) continue;
      ImportStep step;
      step.kind = ImportStep::Kind::kPutBack;
      step.file = original.string();
      step.kept = kept.string();
      told(step);
    }
    if (engine::IsAccessFile(original.string())) fs::remove(work, ec);
  }
}

}  // namespace

int ImportInPlace(const std::string& host_directory, const platform::DriveMap& drives,
                  const std::function<void(const ImportStep&)>& told) {
  const fs::path dir = host_directory;
  const fs::path backups = dir / kBackups;
  PutBackOriginalsOfOlderRuns(dir, backups, told);
  std::error_code ec;
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (entry.is_regular_file() && engine::IsAccessFile(entry.path().string())) {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    ImportStep step;
    try {
      step = ConvertInPlace(file, backups, drives);
    } catch (const Error& e) {
      step.kind = ImportStep::Kind::kFailed;
      step.file = file.string();
      step.error = e;
    } catch (const fs::filesystem_error& e) {
      step.kind = ImportStep::Kind::kFailed;
      step.file = file.string();
      step.system_error = e.what();
    }
    told(step);
  }
  return static_cast<int>(files.size());
}

engine::ImportReport ImportIntoNew(const std::string& source, const std::string& target,
                                   const std::string& source_name, const std::string& target_name) {
  std::error_code ec;
  if (fs::symlink_status(target, ec).type() != fs::file_type::not_found) {
    throw MakeError(err::kDatabaseExists, "'" + target_name + "'");
  }
  platform::RemoveLeftoversOf(target);
  platform::FileBuiltBeside built(target);
  const engine::ImportReport report =
      engine::ImportDatabase(source, built.Path(), source_name, target_name);
  built.Lock();
  if (!built.PlaceWithoutReplacing()) {
    throw MakeError(err::kDatabaseExists, "'" + target_name + "'");
  }
  return report;
}

}  // namespace actualiz::app
