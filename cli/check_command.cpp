// actualiz-cli check --data DIR [--json FILE]
//
// For scripts: is every customer database already carrying what its model
// carries, and does every model have its database? Answers "up to date" from
// a read-only comparison of the structures when it proves that
// (app/quick_check.h), and otherwise makes the same plan as "plan". Exit status 0 when nothing
// would change, 2 when something would (the plan is printed), 1 when the plan could not be made or
// the batch would pass over a failure.
#include "cli/plan_command.h"

namespace actualiz::cli {

namespace {

void AddCheckCommand(CLI::App& app, CliContext& context) {
  AddPlanningCommand(app, context, "check",
                     "Exit 0 when the data directory is up to date, 2 when batch would change it",
                     true);
}

}  // namespace

ACTUALIZ_COMMAND(AddCheckCommand);

}  // namespace actualiz::cli
