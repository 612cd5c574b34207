// `describe FILE [--system] [--rows]`: a database's structure (and data) as
// JSON on standard output, in the form `create` reads.
#include <iostream>

#include "base/terminal_text.h"
#include "cli/command.h"
#include "engine/description/description.h"

namespace actualiz::cli {

namespace {

struct DescribeCommandOptions {
  std::string file;
  bool system = false;
  bool rows = false;
};

int RunDescribe(const DescribeCommandOptions& options, const CliContext& context) {
  try {
    const std::string host_path = context.HostPath(options.file);
    engine::Session session;
    engine::DatabasePtr database = engine::OpenDatabase(session, host_path, options.file);
    const nlohmann::json description =
        engine::Describe(*database, {.system = options.system, .rows = options.rows});
    database->Close();
    // Non-ASCII text is written as UTF-8, as it is stored.
    std::ostream& out = *context.output;  // the description is asked for: --quiet keeps it
    out << description.dump(2, ' ', false) << "\n";
    out.flush();
    if (!out) {
      throw MakeError(err::kPermissionDenied, "standard output");
    }
    return 0;
  } catch (const Error& e) {
    std::cerr << "actualiz-cli: cannot describe '" << TerminalSafe(options.file) << "': error "
              << TerminalSafe(e.what()) << "\n";
    return 1;
  }
}

void AddDescribeCommand(CLI::App& app, CliContext& context) {
  auto options = std::make_shared<DescribeCommandOptions>();
  CLI::App* command = app.add_subcommand("describe", "Print a database's description as JSON");
  command->add_option("FILE", options->file, "The database (a host path or a mapped Windows path)")
      ->required();
  command->add_flag("--system", options->system,
                    "Also the engine's own tables, relations and queries");
  command->add_flag("--rows", options->rows, "Also every table's rows");
  command->callback([options, &context] { context.exit_status = RunDescribe(*options, context); });
}

}  // namespace

ACTUALIZ_COMMAND(AddDescribeCommand);

}  // namespace actualiz::cli
