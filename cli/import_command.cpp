// `import SOURCE TARGET`: converts a database (an Access file) into a new
// database in our format, structure and data. TARGET must not exist.
// `import SOURCE LOCATION --schema NAME`: the same conversion into a new
// schema NAME of a server database (or TARGET a schema's address,
// ".../DB/NAME.mdb"), so that a site can move its files to the server.
// `import --all DIR`: converts every Access file of DIR in place: the
// original moves to DIR/.actualiz-backups/ and the converted database takes
// its name (an .accdb becomes .mdb). A run killed part-way is finished by
// the next; the database is under its name throughout. Whatever could not be carried is
// listed on standard output; failures go to standard error.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>

#include "app/import_in_place.h"
#include "app/import_into_schema.h"
#include "app/operator_advice.h"
#include "base/server_address.h"
#include "base/terminal_text.h"
#include "cli/command.h"
#include "engine/accessfile/import.h"

namespace actualiz::cli {

namespace {

struct ImportOptions {
  std::string source;
  std::string target;
  std::string all;
  std::string schema;
};

// The server address of the schema an import writes to, or "" for a file
// target. A mismatch of TARGET and --schema is a usage error; an address
// with a password fails with 3044 (naming it without the password).
std::string SchemaTarget(const ImportOptions& options) {
  const bool given = !options.schema.empty();
  if (given && !options.all.empty()) throw UsageError("--schema does not go with --all");
  const std::optional<ServerAddress> address = ParseServerAddress(options.target);
  if (!address) {
    if (given) {
      throw UsageError("--schema needs TARGET to be a database on a server (postgresql://...)");
    }
    return "";
  }
  if (!given) {
    if (!address->schema.empty()) return address->Display();
    throw UsageError("TARGET is a database on a server: name the new schema with --schema NAME");
  }
  if (!address->schema.empty()) {
    throw UsageError("TARGET already names schema '" + address->schema +
                     "': give the schema either there or with --schema, not both");
  }
  if (options.schema.size() >= 4 &&
      std::equal(options.schema.end() - 4, options.schema.end(), ".mdb",
                 [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; })) {
    throw UsageError("--schema takes the schema's name ('" +
                     options.schema.substr(0, options.schema.size() - 4) + "'), not a file name");
  }
  return ServerDatabasePath(address->Display(), options.schema + ".mdb");
}

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

int RunImport(const ImportOptions& options, const std::string& schema_target,
              const CliContext& context) {
  if (!options.all.empty()) return RunImportAll(options.all, context);
  if (options.source.empty() || options.target.empty()) {
    std::cerr << "actualiz-cli: import needs SOURCE and TARGET, or --all DIR\n";
    return 2;
  }
  try {
    if (!schema_target.empty()) {
      const engine::ImportReport report =
          app::ImportIntoSchema(context.HostPath(options.source), schema_target, options.source);
      PrintReport(options.source, schema_target, report);
      return 0;
    }
    const engine::ImportReport report =
        app::ImportIntoNew(context.HostPath(options.source), context.HostPath(options.target),
                           options.source, options.target);
    PrintReport(options.source, options.target, report);
    return 0;
  } catch (const Error& e) {
    // A failure the error does not place is the source's in a file import,
    // and the server's in an import into a schema.
    const std::string& concerned = schema_target.empty() ? options.source : schema_target;
    std::cerr << "actualiz-cli import: " << TerminalSafe(app::OperatorLine(e, concerned)) << "\n";
    return 1;
  }
}

void AddImportCommand(CLI::App& app, CliContext& context) {
  auto options = std::make_shared<ImportOptions>();
  CLI::App* command =
      app.add_subcommand("import", "Convert an Access file into a database in our format");
  command->add_option("SOURCE", options->source, "The Access file to read");
  command->add_option("TARGET", options->target,
                      "The database to create (must not exist), or a database on a server "
                      "with --schema");
  command
      ->add_option("--schema", options->schema,
                   "Create the new database as schema NAME of the server database TARGET")
      ->type_name("NAME");
  command
      ->add_option("--all", options->all,
                   "Convert every Access file of DIR, keeping the originals in "
                   "DIR/.actualiz-backups")
      ->type_name("DIR");
  command->callback([options, &context] {
    std::string schema_target;
    try {
      schema_target = SchemaTarget(*options);
    } catch (const Error& e) {
      std::cerr << "actualiz-cli import: error " << TerminalSafe(e.what()) << "\n";
      context.exit_status = 1;
      return;
    }
    const app::RunLocks locks = context.LockForWriting(
        "import", false,
        {options->all.empty() ? CliContext::DirectoryOf(options->target) : options->all});
    context.exit_status = RunImport(*options, schema_target, context);
  });
}

}  // namespace

ACTUALIZ_COMMAND(AddImportCommand);

}  // namespace actualiz::cli
