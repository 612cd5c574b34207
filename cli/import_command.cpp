// `import SOURCE TARGET`: converts a database (an Access file) into a new
// database in our format, structure and data. TARGET must not exist.
// `import --all DIR`: converts every Access file of DIR in place: the
// original moves to DIR/.actualiz-backups/ and the converted database takes
// its name (an .accdb becomes .mdb). A run killed part-way is finished by
// the next; the database is under its name throughout. Whatever could not be carried is
// listed on standard output; failures go to standard error.
#include <filesystem>
#include <iostream>

#include "app/import_in_place.h"
#include "app/operator_advice.h"
#include "base/terminal_text.h"
#include "cli/command.h"
#include "engine/accessfile/import.h"

namespace actualiz::cli {

namespace {

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

// Prints each step of an in-place conversion as it happens: what was put
// back and converted on standard output, failures on standard error.
bool PrintStep(const app::ImportStep& step) {
  using Kind = app::ImportStep::Kind;
  switch (step.kind) {
    case Kind::kPutBack:
      std::cout << "put back " << TerminalSafe(step.file) << " from " << TerminalSafe(step.kept)
                << " (an interrupted run had moved it there)\n";
      return true;
    case Kind::kConverted:
      PrintReport(step.file, step.converted, step.report);
      return true;
    case Kind::kFinished:
      std::cout << TerminalSafe(step.file) << " -> " << TerminalSafe(step.converted)
                << ": finished the conversion an interrupted run began\n";
      return true;
    case Kind::kFailed:
      if (step.error) {
        std::cerr << "actualiz-cli import: "
                  << TerminalSafe(app::OperatorLine(*step.error, step.file)) << "\n";
      } else {
        std::cerr << "actualiz-cli: cannot import '" << TerminalSafe(step.file)
                  << "': " << TerminalSafe(step.system_error) << "\n";
      }
      return false;
  }
  return false;
}

int RunImportAll(const std::string& dir_given, const CliContext& context) {
  const std::string dir = context.HostPath(dir_given);
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) {
    std::cerr << "actualiz-cli: cannot import from '" << TerminalSafe(dir_given)
              << "': not a directory\n";
    return 1;
  }
  int status = 0;
  const int files =
      app::ImportInPlace(dir, context.MakeDriveMap(), [&](const app::ImportStep& step) {
        if (!PrintStep(step)) status = 1;
      });
  if (files == 0) std::cout << "No Access files in " << TerminalSafe(dir_given) << "\n";
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
        app::ImportIntoNew(context.HostPath(options.source), context.HostPath(options.target),
                           options.source, options.target);
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
