// actualiz-cli check --data DIR [--json FILE]
//
// For scripts: is every customer database already carrying what its model
// carries, and does every model have its database? Makes the same plan as
// "plan". Exit status 0 when nothing would change, 2 when something would
// (the plan is printed), 1 when the plan could not be made or the batch
// would pass over a failure.
#include "cli/plan_command.h"

namespace actualiz::cli {

namespace {

void AddCheckCommand(CLI::App& app, CliContext& context) {
  auto options = std::make_shared<PlanOptions>();
  CLI::App* command = app.add_subcommand(
      "check", "Exit 0 when the data directory is up to date, 2 when batch would change it");
  command
      ->add_option("--data", options->data,
                   "The data directory (host path or Windows path on a mapped drive)")
      ->required();
  command->add_option("--json", options->json_file, "Also write the plan as JSON to FILE")
      ->type_name("FILE");
  command->callback(
      [&context, options] { context.exit_status = RunPlan(context, *options, true); });
}

}  // namespace

ACTUALIZ_COMMAND(AddCheckCommand);

}  // namespace actualiz::cli
