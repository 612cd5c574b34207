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
#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/backups.h"
#include "app/batch_report.h"
#include "app/operator_advice.h"
#include "app/plan.h"
#include "app/run_spool.h"
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

// Each database the backup left out because it cannot be opened, as a
// failure of that database in the run log.
void RecordUnopened(app::Actualiz& window, const app::BackupFolder& backup) {
  app::Actualiz::HandlerScope scope(window, "backup");
  for (const app::UnopenedDatabase& database : backup.unopened) {
    window.RecordFailure("back up " + database.name, database.error, true,
                         window.Dir1.Path() + "\\" + database.name);
  }
}

int RunBatch(const CliContext& context, const BatchOptions& options) {
  // The run's entries go to a temporary file as they are recorded, so that
  // memory does not grow with the number of databases; the report is read
  // back from it one database at a time. Made first, so that it outlives
  // the window whose log feeds it, and so that a temporary directory that
  // cannot take it stops the command before anything changes.
  std::optional<app::RunSpool> spool;
  try {
    spool.emplace();
  } catch (const Error& e) {
    std::cerr << "actualiz-cli batch: " << ErrorLine(e) << "\nNothing was changed.\n";
    return 1;
  }
  TerminalOperator op;
  app::Actualiz window(context.MakeEnvironment(op));
  // Progress on standard error, redrawn in place on a terminal.
  ProgressPanel panel(window, std::cerr, StandardErrorIsTerminal());
  window.Activate();
  if (!options.data.empty()) {
    // A data directory that cannot be set is the caller's mistake: nothing runs.
    // A host path is taken as the Windows path of the drive it lies on; the
    // window itself reads every path without a drive as one on c:.
    const std::string data = context.WindowsPath(options.data);
    if (!window.AtTop("Dir1.Path = " + data, [&] { window.Dir1.SetPath(data); })) {
      std::cerr << "actualiz-cli batch: cannot use '" << TerminalSafe(options.data)
                << "' as the data directory\n";
      return 1;
    }
  } else if (window.Dir1.Path() != app::Actualiz::kDefaultDataDirectory) {
    // Start-up fell back to the drive root: a batch there would take
    // whatever databases lie at the root for customer databases.
    std::cerr << "actualiz-cli batch: the default data directory "
              << app::Actualiz::kDefaultDataDirectory << " does not exist; give one with --data\n"
              << "Nothing was changed.\n";
    return 1;
  }
  try {
    app::RequireModels(window);
  } catch (const Error& e) {
    std::cerr << "actualiz-cli batch: no models to work from: " << ErrorLine(e)
              << "\nNothing was changed.\n";
    return 1;
  }
  app::RunLocks locks;
  try {
    locks = app::LockForClick(window, "actualiz-cli batch");
  } catch (const Error& e) {
    std::cerr << "actualiz-cli batch: " << ErrorLine(e) << "\nNothing was changed.\n";
    const int stopped_by = context.stop != nullptr ? context.stop->load() : 0;
    return stopped_by != 0 ? platform::StopSignals::ExitStatus(stopped_by) : 1;
  }
  // Another run may have changed the data directory while this one waited
  // (copied its models in): list it again now that nobody else can.
  const std::string data_directory = window.Dir1.Path();
  if (!window.AtTop("Dir1.Path = " + data_directory,
                    [&] { window.Dir1.SetPath(data_directory); })) {
    std::cerr << "actualiz-cli batch: cannot list '" << data_directory << "' again\n";
    return 1;
  }
  // The report covers the run itself; what the start-up recorded (a
  // fallback of the data directory, a catalogue that could not be opened)
  // stays in the log file, and a missing catalogue fails the chains that
  // use it, which the report shows.
  std::optional<app::BackupFolder> backup;
  std::string host_data;
  if (!options.no_backup) {
    try {
      host_data = window.Env().drives.ToHost(window.Dir1.Path());
      backup = app::BackUpDatabases(host_data, window.Dir1.Path(), app::PairedTargets(window),
                                    std::chrono::system_clock::now());
    } catch (const Error& e) {
      std::cerr << "actualiz-cli batch: cannot back up before changing: " << ErrorLine(e)
                << "\nNothing was changed (--no-backup runs without backups).\n";
      return 1;
    }
  }
  spool->Attach(window.Log());
  if (backup) RecordUnopened(window, *backup);
  const bool progress = context.ShowsProgress();
  if (progress) window.SetListener(&panel);
  try {
    window.Click("Command13_Click");
  } catch (const app::ProgramEnded&) {
    op.ended = true;
  }
  window.SetListener(nullptr);
  app::RunSpool::Detach(window.Log());
  if (op.ended) {
    std::cerr << "actualiz-cli batch: the program ended during the run\n";
    return 1;
  }

  const int stopped_by = context.stop != nullptr ? context.stop->load() : 0;
  // With the JSON report on standard output the text report is left out:
  // the JSON says all it says.
  std::ostream nowhere(nullptr);
  std::ostream& text = options.json_file == "-" ? nowhere : std::cout;
  std::vector<std::string> missed;
  std::optional<app::StreamedBatchReport> report;
  try {
    report.emplace(window, *spool);
    missed = report->NotReached();
    if (progress) std::cerr << "\n";  // the panel ends; the report stands apart from it
    report->WriteText(text);
    if (stopped_by != 0) text << InterruptedLines(stopped_by, missed);
  } catch (const Error& e) {
    // Without the report it is not known which databases changed: every
    // backup is kept.
    std::cerr << "actualiz-cli batch: the report cannot be made: " << ErrorLine(e) << "\n";
    if (backup) std::cerr << BackupLines(*backup);
    return 1;
  }
  int status = spool->FailureCount() == 0 ? 0 : 1;
  if (backup) {
    try {
      app::KeepChangedOnly(*backup, host_data, report->CopiedIn());
    } catch (const Error& e) {
      std::cerr << "actualiz-cli batch: backup folder " << TerminalSafe(backup->folder)
                << " could not be completed: " << ErrorLine(e) << "\n";
      status = 1;
    }
    text << BackupLines(*backup);
  }
  if (!options.json_file.empty()) {
    WriteJson(context, options.json_file, *report, backup ? &*backup : nullptr, stopped_by, missed);
  }
  return stopped_by != 0 ? platform::StopSignals::ExitStatus(stopped_by) : status;
}

void AddBatchCommand(CLI::App& app, CliContext& context) {
  auto options = std::make_shared<BatchOptions>();
  CLI::App* command = app.add_subcommand(
      "batch", "Bring every customer database of the data directory up to its model");
  command->add_option("--data", options->data,
                      "The data directory (host path or Windows path on a mapped drive)");
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
