// actualiz-cli batch [--data DIR] [--json FILE] [--no-backup]
//
// Runs "Transformar" (Command13_Click) over a data directory without a
// display: builds the window as the program starts it, points Dir1 at DIR
// (a host path or a Windows path on a mapped drive; without --data the
// start-up's own choice stands), raises the batch driver, shows its progress
// panel as it changes (on standard error, when it is a terminal or with
// --progress) and prints the report at the end (`--json -`: the JSON report
// instead). Exit status 0 when nothing failed, 1 when something was passed
// over or reached the top.
//
// Before the run every target database it will work on is backed up into
// a dated folder of the data directory (app/backups.h); a database that
// opens but cannot be backed up stops the command before anything changes.
// A file that cannot be opened as a database at all is left out: the run
// cannot change it either, so the others go on, and its failure is in the
// run log and the report under its name. After the
// run only the backups of databases that changed are kept, and the report
// names them. --no-backup runs without backups.
//
// The models directory must hold a model, and the data directory must be
// there: without --data the window's default data directory is used only
// when it exists (the window's own fallback to the drive root is refused).
// A relative --data is taken from the working directory.
//
// Before it backs up, the command locks the catalogue directory and the
// data directory (app/run_locks.h) and keeps them until it ends; another
// run holding either is waited for up to --wait seconds, then named, exit 1.
//
// SIGINT or SIGTERM stops the run between two databases (a change is never
// cut): the report of what changed so far is printed, the pairs not reached
// are named, the backup is trimmed as after a whole run and its restore
// command printed, and the exit status is 130 (SIGINT) or 143 (SIGTERM).
// A second signal ends the process at once.
//
// The run's entries are kept in a temporary file under the system's
// temporary directory (TMPDIR) until the report is written, one database
// at a time, so memory stays the same however many databases the run
// covers; a temporary directory that cannot take that file stops the
// command before anything changes.
#include <csignal>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/operator_advice.h"
#include "app/run_batch.h"
#include "base/terminal_text.h"
#include "cli/command.h"
#include "cli/progress_panel.h"
#include "cli/shared_options.h"
#include "platform/stop_signals.h"

namespace actualiz::cli {

namespace {

struct BatchOptions {
  std::string data;
  std::string json_file;
  bool no_backup = false;
};

// Writes the report as JSON to `path` ("-": the context's standard
// output), one database at a time. A stopped run's report is marked as
// such: "interrupted" names the signal and "notReached" lists the databases
// the run never came to.
void WriteJson(const CliContext& context, const std::string& path,
               const app::StreamedBatchReport& report, const app::BackupFolder* backup, int signal,
               const std::vector<std::string>& missed) {
  std::ofstream file;
  if (path != "-") file.open(path, std::ios::binary | std::ios::trunc);
  std::ostream& out = path == "-" ? *context.output : file;
  if (signal == 0) {
    report.WriteJson(out, backup);
  } else {
    std::stringstream whole;
    report.WriteJson(whole, backup);
    nlohmann::json marked = nlohmann::json::parse(whole);
    marked["interrupted"] = signal == SIGINT ? "SIGINT" : "SIGTERM";
    marked["notReached"] = missed;
    out << marked.dump(2);
  }
  out << "\n" << std::flush;
  if (path != "-") file.close();
  if (!out) {
    throw MakeError(err::kPermissionDenied,
                    path == "-" ? "standard output" : "report file " + path);
  }
}

// What a stopped run tells the operator after its report.
std::string InterruptedLines(int signal, const std::vector<std::string>& missed) {
  std::string out = std::string("\nInterrupted by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") +
                    ": the run stopped between two databases; every change above is whole.\n";
  if (missed.empty()) {
    out += "Every database was reached.\n";
    return out;
  }
  out += std::to_string(missed.size()) + " database" + (missed.size() == 1 ? " was" : "s were") +
         " not reached and " + (missed.size() == 1 ? "is" : "are") +
         " unchanged (\"not reached\" above):\n";
  constexpr size_t kNamed = 10;  // the rest are counted; the JSON report names them all
  for (size_t i = 0; i < missed.size() && i < kNamed; ++i)
    out += "  " + TerminalSafe(missed[i]) + "\n";
  if (missed.size() > kNamed) {
    out += "  ... and " + std::to_string(missed.size() - kNamed) + " more\n";
  }
  out += "Run the batch again to finish.\n";
  return out;
}

std::string ErrorLine(const Error& e) { return TerminalSafe(app::OperatorLine(e)); }

std::string BackupLines(const app::BackupFolder& backup) {
  if (backup.folder.empty()) return "\nNo backup kept: no database was changed.\n";
  const std::string folder = TerminalSafe(backup.folder);
  std::string out = "\nBackups in " + folder + ":\n";
  for (const std::string& name : backup.databases) out += "  " + TerminalSafe(name) + "\n";
  out += "Restore them with: actualiz-cli restore " + folder + "\n";
  return out;
}

int RunBatch(const CliContext& context, const BatchOptions& options) {
  TerminalOperator op;
  app::BatchOptions run;
  // A host path is taken as the Windows path of the drive it lies on; the
  // window itself reads every path without a drive as one on c:.
  if (!options.data.empty()) run.data_directory = context.WindowsPath(options.data);
  run.back_up = !options.no_backup;
  const bool progress = context.ShowsProgress();
  if (progress) {
    // Progress on standard error, redrawn in place on a terminal.
    run.progress = [](const app::Actualiz& window) {
      return std::make_unique<ProgressPanel>(window, std::cerr, StandardErrorIsTerminal());
    };
  }
  // With the JSON report on standard output the text report is left out:
  // the JSON says all it says.
  std::ostream nowhere(nullptr);
  std::ostream& text = options.json_file == "-" ? nowhere : std::cout;
  run.write_report = [&](const app::StreamedBatchReport& report, int stopped_by,
                         const std::vector<std::string>& missed) {
    if (progress) std::cerr << "\n";  // the panel ends; the report stands apart from it
    report.WriteText(text);
    if (stopped_by != 0) text << InterruptedLines(stopped_by, missed);
  };
  const app::BatchResult result = app::RunBatch(context.MakeEnvironment(op), run);
  switch (result.end) {
    case app::BatchEnd::kRan:
      break;
    case app::BatchEnd::kNoSpool:
    case app::BatchEnd::kLocked:
      std::cerr << "actualiz-cli batch: " << ErrorLine(*result.error) << "\nNothing was changed.\n";
      return result.ExitStatus();
    case app::BatchEnd::kDataDirectoryRefused:
      std::cerr << "actualiz-cli batch: cannot use '" << TerminalSafe(options.data)
                << "' as the data directory\n";
      return result.ExitStatus();
    case app::BatchEnd::kNoDefaultDataDirectory:
      std::cerr << "actualiz-cli batch: the default data directory "
                << app::Actualiz::kDefaultDataDirectory << " does not exist; give one with --data\n"
                << "Nothing was changed.\n";
      return result.ExitStatus();
    case app::BatchEnd::kNoModels:
      std::cerr << "actualiz-cli batch: no models to work from: " << ErrorLine(*result.error)
                << "\nNothing was changed.\n";
      return result.ExitStatus();
    case app::BatchEnd::kDataDirectoryNotListed:
      std::cerr << "actualiz-cli batch: cannot list '" << result.data_directory << "' again\n";
      return result.ExitStatus();
    case app::BatchEnd::kBackupFailed:
      std::cerr << "actualiz-cli batch: cannot back up before changing: "
                << ErrorLine(*result.error)
                << "\nNothing was changed (--no-backup runs without backups).\n";
      return result.ExitStatus();
    case app::BatchEnd::kProgramEnded:
      std::cerr << "actualiz-cli batch: the program ended during the run\n";
      return result.ExitStatus();
    case app::BatchEnd::kNoReport:
      std::cerr << "actualiz-cli batch: the report cannot be made: " << ErrorLine(*result.error)
                << "\n";
      if (result.backup) std::cerr << BackupLines(*result.backup);
      return result.ExitStatus();
  }
  if (result.backup) {
    if (result.backup_incomplete) {
      std::cerr << "actualiz-cli batch: backup folder " << TerminalSafe(result.backup->folder)
                << " could not be completed: " << ErrorLine(*result.backup_incomplete) << "\n";
    }
    text << BackupLines(*result.backup);
  }
  if (!options.json_file.empty()) {
    WriteJson(context, options.json_file, *result.report, result.backup ? &*result.backup : nullptr,
              result.stopped_by, result.not_reached);
  }
  return result.ExitStatus();
}

void AddBatchCommand(CLI::App& app, CliContext& context) {
  auto options = std::make_shared<BatchOptions>();
  CLI::App* command = app.add_subcommand(
      "batch", "Bring every customer database of the data directory up to its model");
  command->add_option("--data", options->data,
                      "The data directory (host path or Windows path on a mapped drive), or a "
                      "database on a server: postgresql://USER@HOST:PORT/DBNAME");
  AddJsonReportOption(*command, options->json_file,
                      "Also write the report as JSON to FILE; '-' writes it to standard output "
                      "instead of the text report");
  command->add_flag("--no-backup", options->no_backup,
                    "Do not back up the databases before changing them");
  command->callback([&context, options] {
    const platform::StopSignals signals;
    context.stop = &platform::StopSignals::Flag();
    context.exit_status = RunBatch(context, *options);
    context.stop = nullptr;
  });
}

}  // namespace

ACTUALIZ_COMMAND(AddBatchCommand);

}  // namespace actualiz::cli
