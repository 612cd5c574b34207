// `import SOURCE TARGET`: converts a database (an Access file) into a new
// database in our format, structure and data. TARGET must not exist.
// `import --all DIR`: converts every Access file of DIR in place: the
// original moves to DIR/.actualiz-backups/ and the converted database takes
// its name (an .accdb becomes .mdb). A run killed part-way is finished by
// the next; the database is under its name throughout. Whatever could not be carried is
// listed on standard output; failures go to standard error.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "app/operator_advice.h"
#include "base/terminal_text.h"
#include "cli/command.h"
#include "engine/accessfile/import.h"
#include "platform/file_system.h"

namespace actualiz::cli {

namespace {

namespace fs = std::filesystem;

struct ImportOptions {
  std::string source;
  std::string target;
  std::string all;
};

void PrintReport(const std::string& source, const std::string& target,
                 const engine::ImportReport& report) {
  std::cout << TerminalSafe(source) << " -> " << TerminalSafe(target) << ": " << report.tables
            << " tables, " << report.rows << " rows, " << report.relations << " relations, "
            << report.queries << " queries\n";
  for (const std::string& line : report.not_carried)
    std::cout << "  not carried: " << TerminalSafe(line) << "\n";
}

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
void KeepInBackups(const fs::path& backups, const fs::path& file, const CliContext& context) {
  std::error_code ec;
  fs::create_directories(backups, ec);
  const fs::path backup = FreeBackupPath(backups, file);
  fs::create_hard_link(file, backup, ec);
  if (ec) platform::CopyFileNoReplace(context.MakeDriveMap(), file.string(), backup.string());
  if (!platform::SyncDirectory(backups.string())) {
    throw MakeError(err::kPermissionDenied, "'" + backups.string() + "'");
  }
}

// Converts one Access file of a directory in place. The steps are ordered so
// that the customer database is under its name at every instant, and a run
// killed at any step is finished by the next:
//  1. the converted database is built under a hidden name beside it;
//  2. the original is kept in the backups (unless a killed run kept it);
//  3. the converted database takes the original's name in one rename, or,
//     for an .accdb, is linked as the .mdb and then the .accdb goes.
// A .mdb beside an .accdb whose original the backups keep is such a run's
// step 3 half done: the .accdb is removed and nothing converted again.
void ConvertInPlace(const fs::path& file, const fs::path& backups, const CliContext& context) {
  const fs::path target = fs::path(file).replace_extension(".mdb");
  const bool kept = KeptInBackups(backups, file);
  if (target != file && fs::exists(target)) {
    if (!kept) {
      throw MakeError(err::kDatabaseExists, "'" + target.string() + "'");
    }
    fs::remove(file);
    std::cout << TerminalSafe(file.string()) << " -> " << TerminalSafe(target.string())
              << ": finished the conversion an interrupted run began\n";
    return;
  }
  platform::RemoveLeftoversOf(target.string());
  platform::FileBuiltBeside built(target.string());
  const engine::ImportReport report =
      engine::ImportDatabase(file.string(), built.Path(), file.string(), target.string());
  built.Lock();
  if (!kept) KeepInBackups(backups, file, context);
  if (target == file) {
    built.PlaceOver();
  } else {
    if (!built.PlaceWithoutReplacing()) {
      throw MakeError(err::kDatabaseExists, "'" + target.string() + "'");
    }
    fs::remove(file);
    platform::SyncDirectory(file.parent_path().string());
  }
  PrintReport(file.string(), target.string(), report);
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
// original is put back beside it (and converted again below) and the work
// file, which only that conversion could have made, is removed.
void PutBackOriginalsOfOlderRuns(const fs::path& dir, const fs::path& backups) {
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
      std::cout << "put back " << TerminalSafe(original.string()) << " from "
                << TerminalSafe(kept.string()) << " (an interrupted run had moved it there)\n";
    }
    if (engine::IsAccessFile(original.string())) fs::remove(work, ec);
  }
}

int RunImportAll(const std::string& dir_given, const CliContext& context) {
  const fs::path dir = context.HostPath(dir_given);
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    std::cerr << "actualiz-cli: cannot import from '" << TerminalSafe(dir_given)
              << "': not a directory\n";
    return 1;
  }
  PutBackOriginalsOfOlderRuns(dir, dir / ".actualiz-backups");
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (entry.is_regular_file() && engine::IsAccessFile(entry.path().string())) {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  int status = 0;
  for (const fs::path& file : files) {
    try {
      ConvertInPlace(file, dir / ".actualiz-backups", context);
    } catch (const Error& e) {
      std::cerr << "actualiz-cli import: " << TerminalSafe(app::OperatorLine(e, file.string()))
                << "\n";
      status = 1;
    } catch (const fs::filesystem_error& e) {
      std::cerr << "actualiz-cli: cannot import '" << TerminalSafe(file.string())
                << "': " << TerminalSafe(e.what()) << "\n";
      status = 1;
    }
  }
  if (files.empty()) std::cout << "No Access files in " << TerminalSafe(dir_given) << "\n";
  return status;
}

int RunImport(const ImportOptions& options, const CliContext& context) {
  if (!options.all.empty()) return RunImportAll(options.all, context);
  if (options.source.empty() || options.target.empty()) {
    std::cerr << "actualiz-cli: import needs SOURCE and TARGET, or --all DIR\n";
    return 2;
  }
  try {
    // Built beside TARGET and linked into place whole: a run killed on the
    // way leaves only a hidden temporary, which the next import removes.
    const std::string target = context.HostPath(options.target);
    std::error_code ec;
    if (fs::symlink_status(target, ec).type() != fs::file_type::not_found) {
      throw MakeError(err::kDatabaseExists, "'" + options.target + "'");
    }
    platform::RemoveLeftoversOf(target);
    platform::FileBuiltBeside built(target);
    const engine::ImportReport report = engine::ImportDatabase(
        context.HostPath(options.source), built.Path(), options.source, options.target);
    built.Lock();
    if (!built.PlaceWithoutReplacing()) {
      throw MakeError(err::kDatabaseExists, "'" + options.target + "'");
    }
    PrintReport(options.source, options.target, report);
    return 0;
  } catch (const Error& e) {
    std::cerr << "actualiz-cli import: " << TerminalSafe(app::OperatorLine(e, options.source))
              << "\n";
    return 1;
  }
}

void AddImportCommand(CLI::App& app, CliContext& context) {
  auto options = std::make_shared<ImportOptions>();
  CLI::App* command =
      app.add_subcommand("import", "Convert an Access file into a database in our format");
  command->add_option("SOURCE", options->source, "The Access file to read");
  command->add_option("TARGET", options->target, "The database to create (must not exist)");
  command
      ->add_option("--all", options->all,
                   "Convert every Access file of DIR, keeping the originals in "
                   "DIR/.actualiz-backups")
      ->type_name("DIR");
  command->callback([options, &context] {
    const app::RunLocks locks = context.LockForWriting(
        "import", false,
        {options->all.empty() ? CliContext::DirectoryOf(options->target) : options->all});
    context.exit_status = RunImport(*options, context);
  });
}

}  // namespace

ACTUALIZ_COMMAND(AddImportCommand);

}  // namespace actualiz::cli
