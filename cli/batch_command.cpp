// actualiz-cli batch [--data DIR] [--json FILE]
//
// Runs "Transformar" (Command13_Click) over a data directory without a
// display: builds the window as the program starts it, points Dir1 at DIR
// (a host path or a Windows path on a mapped drive; without --data the
// start-up's own choice stands), raises the batch driver, shows its progress
// panel as it changes and prints the report at the end. Exit status 0 when
// nothing failed, 1 when something was passed over or reached the top.
#include <fstream>
#include <iostream>

#include "app/batch_report.h"
#include "cli/command.h"
#include "cli/progress_panel.h"

namespace actualiz::cli {

namespace {

struct BatchOptions {
  std::string data;
  std::string json_file;
};

void WriteJson(const std::string& path, const nlohmann::json& report) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << report.dump(2) << "\n";
  out.close();
  if (!out) throw Error(err::kPermissionDenied, "Permission denied", "report file " + path);
}

int RunBatch(const CliContext& context, const BatchOptions& options) {
  TerminalOperator op;
  app::Actualiz window(context.MakeEnvironment(op));
  ProgressPanel panel(window, std::cout, StandardOutputIsTerminal());
  window.Activate();
  if (!options.data.empty()) {
    // A data directory that cannot be set is the caller's mistake: nothing runs.
    if (!window.AtTop("Dir1.Path = " + options.data, [&] { window.Dir1.SetPath(options.data); })) {
      std::cerr << "actualiz-cli batch: cannot use '" << options.data
                << "' as the data directory\n";
      return 1;
    }
  }
  // The report covers the run itself; what the start-up recorded (a
  // fallback of the data directory, a catalogue that could not be opened)
  // stays in the log file, and a missing catalogue fails the chains that
  // use it, which the report shows.
  const size_t failures_before = window.Log().Failures().size();
  const size_t changes_before = window.Log().Changes().size();
  window.SetListener(&panel);
  try {
    window.Click("Command13_Click");
  } catch (const app::ProgramEnded&) {
    op.ended = true;
  }
  window.SetListener(nullptr);
  if (op.ended) {
    std::cerr << "actualiz-cli batch: the program ended during the run\n";
    return 1;
  }

  const app::RunLog run = app::EntriesSince(window.Log(), failures_before, changes_before);
  const app::BatchReport report = app::BuildBatchReport(window, run);
  std::cout << "\n" << app::FormatBatchReport(report);
  if (!options.json_file.empty()) WriteJson(options.json_file, app::BatchReportJson(report));
  return run.Failures().empty() ? 0 : 1;
}

void AddBatchCommand(CLI::App& app, CliContext& context) {
  auto options = std::make_shared<BatchOptions>();
  CLI::App* command = app.add_subcommand(
      "batch", "Bring every customer database of the data directory up to its model");
  command->add_option("--data", options->data,
                      "The data directory (host path or Windows path on a mapped drive)");
  command->add_option("--json", options->json_file, "Also write the report as JSON to FILE")
      ->type_name("FILE");
  command->callback([&context, options] { context.exit_status = RunBatch(context, *options); });
}

}  // namespace

ACTUALIZ_COMMAND(AddBatchCommand);

}  // namespace actualiz::cli
