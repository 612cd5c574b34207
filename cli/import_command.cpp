// `import SOURCE TARGET`: converts a database (an Access file) into a new
// database in our format, structure and data. TARGET must not exist.
// `import --all DIR`: converts every Access file of DIR in place: the
// original moves to DIR/.actualiz-backups/ and the converted database takes
// its name (an .accdb becomes .mdb). Whatever could not be carried is
// listed on standard output; failures go to standard error.
#include <filesystem>
#include <iostream>

#include "cli/command.h"
#include "engine/import.h"

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
  std::cout << source << " -> " << target << ": " << report.tables << " tables, " << report.rows
            << " rows, " << report.relations << " relations, " << report.queries << " queries\n";
  for (const std::string& line : report.not_carried) std::cout << "  not carried: " << line << "\n";
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

// Converts one Access file of a directory in place. The converted database
// is made beside it first; only when that succeeded does the original move
// to the backups and the new file take its place.
void ConvertInPlace(const fs::path& file, const fs::path& backups) {
  const fs::path target = fs::path(file).replace_extension(".mdb");
  if (target != file && fs::exists(target)) {
    throw Error(err::kDatabaseExists, "Database already exists.", "'" + target.string() + "'");
  }
  const fs::path work = fs::path(file).concat(".actualiz-import");
  fs::remove(work);
  const engine::ImportReport report =
      engine::ImportDatabase(file.string(), work.string(), file.string(), target.string());
  std::error_code ec;
  fs::create_directories(backups, ec);
  const fs::path backup = FreeBackupPath(backups, file);
  fs::rename(file, backup, ec);
  if (ec) {
    fs::remove(work);
    throw Error(err::kPermissionDenied, "Permission denied", "'" + file.string() + "'");
  }
  fs::rename(work, target, ec);
  if (ec) {
    fs::rename(backup, file);  // put the original back
    fs::remove(work);
    throw Error(err::kPermissionDenied, "Permission denied", "'" + target.string() + "'");
  }
  PrintReport(file.string(), target.string(), report);
}

int RunImportAll(const std::string& dir_given, const CliContext& context) {
  const fs::path dir = context.HostPath(dir_given);
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    std::cerr << "actualiz-cli: cannot import from '" << dir_given << "': not a directory\n";
    return 1;
  }
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
      ConvertInPlace(file, dir / ".actualiz-backups");
    } catch (const Error& e) {
      std::cerr << "actualiz-cli: cannot import '" << file.string() << "': error " << e.what()
                << "\n";
      status = 1;
    } catch (const fs::filesystem_error& e) {
      std::cerr << "actualiz-cli: cannot import '" << file.string() << "': " << e.what() << "\n";
      status = 1;
    }
  }
  if (files.empty()) std::cout << "No Access files in " << dir_given << "\n";
  return status;
}

int RunImport(const ImportOptions& options, const CliContext& context) {
  if (!options.all.empty()) return RunImportAll(options.all, context);
  if (options.source.empty() || options.target.empty()) {
    std::cerr << "actualiz-cli: import needs SOURCE and TARGET, or --all DIR\n";
    return 2;
  }
  try {
    const engine::ImportReport report =
        engine::ImportDatabase(context.HostPath(options.source), context.HostPath(options.target),
                               options.source, options.target);
    PrintReport(options.source, options.target, report);
    return 0;
  } catch (const Error& e) {
    std::cerr << "actualiz-cli: cannot import '" << options.source << "' into '" << options.target
              << "': error " << e.what() << "\n";
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
