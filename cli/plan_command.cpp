// actualiz-cli plan --data DIR [--json FILE|-]
//
// Shows what "batch" would do to a data directory without changing it: the
// batch runs over a scratch copy (app/plan.h) and its report is printed as
// a plan. Exit status 0, or 1 when the plan could not be made (no models, a
// data directory that cannot be used, another run changing the catalogues
// or the data directory past --wait) or the batch would pass over a failure.
#include "cli/plan_command.h"

#include <fstream>
#include <iostream>
#include <optional>

#include "app/operator_advice.h"
#include "app/plan.h"
#include "app/quick_check.h"
#include "base/terminal_text.h"
#include "cli/shared_options.h"

namespace actualiz::cli {

void WriteJsonReport(const CliContext& context, const std::string& path,
                     const nlohmann::json& report) {
  std::ofstream file;
  if (path != "-") file.open(path, std::ios::binary | std::ios::trunc);
  std::ostream& out = path == "-" ? *context.output : file;
  out << report.dump(2) << "\n" << std::flush;
  if (path != "-") file.close();
  if (!out) {
    throw MakeError(err::kPermissionDenied,
                    path == "-" ? "standard output" : "report file " + path);
  }
}

int RunPlan(const CliContext& context, const PlanOptions& options, bool check) {
  const char* command = check ? "check" : "plan";
  TerminalOperator op;
  try {
    const app::Environment env = context.MakeEnvironment(op);
    const std::string data = context.WindowsPath(options.data);
    // `check` answers "up to date" from the structures alone when it can;
    // the JSON report carries what only the exact plan counts.
    std::optional<app::Plan> quick;
    if (check && options.json_file.empty()) quick = app::QuickPlan(env, data);
    const app::Plan plan = quick ? std::move(*quick) : app::MakePlan(env, data);
    // With the JSON report on standard output the text is left out.
    if (options.json_file != "-") std::cout << app::FormatPlan(plan);
    if (!options.json_file.empty()) {
      WriteJsonReport(context, options.json_file, app::BatchReportJson(plan.report));
    }
    if (plan.Failed()) return 1;
    return check && !plan.NothingToDo() ? 2 : 0;
  } catch (const Error& e) {
    std::cerr << "actualiz-cli " << command << ": " << TerminalSafe(app::OperatorLine(e)) << "\n";
    return 1;
  }
}

void AddPlanningCommand(CLI::App& app, CliContext& context, const std::string& name,
                        const std::string& description, bool check) {
  auto options = std::make_shared<PlanOptions>();
  CLI::App* command = app.add_subcommand(name, description);
  command
      ->add_option("--data", options->data,
                   "The data directory (host path or Windows path on a mapped drive), or a "
                   "database on a server: postgresql://USER@HOST:PORT/DBNAME")
      ->required();
  AddJsonReportOption(*command, options->json_file,
                      "Also write the plan as JSON to FILE; '-' writes it to standard output "
                      "instead of the text");
  command->callback(
      [&context, options, check] { context.exit_status = RunPlan(context, *options, check); });
}

namespace {

void AddPlanCommand(CLI::App& app, CliContext& context) {
  AddPlanningCommand(app, context, "plan",
                     "Show what batch would change in the data directory, changing nothing", false);
}

}  // namespace

ACTUALIZ_COMMAND(AddPlanCommand);

}  // namespace actualiz::cli
