// actualiz-cli batch [--data DIR] [--json FILE] [--no-backup]
//
// Runs "Transformar" (Command13_Click) over a data directory without a
// display: builds the window as the program starts it, points Dir1 at DIR
// (a host path or a Windows path on a mapped drive; without --data the
// start-up's own choice stands), raises the batch driver, shows its progress
// panel as it changes and prints the report at the end. Exit status 0 when
// nothing failed, 1 when something was passed over or reached the top.
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
// The run's entries are kept in a temporary file under the system's
// temporary directory (TMPDIR) until the report is written, one database
// at a time, so memory stays the same however many databases the run
// covers; a temporary directory that cannot take that file stops the
// command before anything changes.
#include <chrono>
#include <fstream>
#include <iostream>
#include <optional>

#include "app/backups.h"
#include "app/batch_report.h"
#include "app/run_spool.h"
#include "base/terminal_text.h"
#include "cli/command.h"
#include "cli/progress_panel.h"

namespace actualiz::cli {

namespace {

struct BatchOptions {
  std::string data;
  std::string json_file;
  bool no_backup = false;
};

// Writes the report as JSON to `path`, one database at a time.
void WriteJson(const std::string& path, const app::StreamedBatchReport& report,
               const app::BackupFolder* backup) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  report.WriteJson(out, backup);
  out << "\n";
  out.close();
  if (!out) throw Error(err::kPermissionDenied, "Permission denied", "report file " + path);
}

std::string ErrorLine(const Error& e) {
  return TerminalSafe("error " + std::to_string(e.Number()) + " " + e.Text() +
                      (e.Context().empty() ? "" : " [" + e.Context() + "]"));
}

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
  ProgressPanel panel(window, std::cout, StandardOutputIsTerminal());
  window.Activate();
  if (!options.data.empty()) {
    // A data directory that cannot be set is the caller's mistake: nothing runs.
    // A host path is taken as the Windows path of the drive it lies on; the
    // window itself reads every path without a drive as one on c:.
    std::string data = options.data;
    if (!platform::DriveMap::DriveOf(data)) {
      if (auto windows = window.Env().drives.FromHost(data)) data = *windows;
    }
    if (!window.AtTop("Dir1.Path = " + data, [&] { window.Dir1.SetPath(data); })) {
      std::cerr << "actualiz-cli batch: cannot use '" << TerminalSafe(options.data)
                << "' as the data directory\n";
      return 1;
    }
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
  window.SetListener(&panel);
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

  std::optional<app::StreamedBatchReport> report;
  try {
    report.emplace(window, *spool);
    std::cout << "\n";
    report->WriteText(std::cout);
  } catch (const Error& e) {
    // Without the report it is not known which databases changed: every
    // backup is kept.
    std::cerr << "actualiz-cli batch: the report cannot be made: " << ErrorLine(e) << "\n";
    if (backup) std::cout << BackupLines(*backup);
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
    std::cout << BackupLines(*backup);
  }
  if (!options.json_file.empty()) {
    WriteJson(options.json_file, *report, backup ? &*backup : nullptr);
  }
  return status;
}

void AddBatchCommand(CLI::App& app, CliContext& context) {
  auto options = std::make_shared<BatchOptions>();
  CLI::App* command = app.add_subcommand(
      "batch", "Bring every customer database of the data directory up to its model");
  command->add_option("--data", options->data,
                      "The data directory (host path or Windows path on a mapped drive)");
  command->add_option("--json", options->json_file, "Also write the report as JSON to FILE")
      ->type_name("FILE");
  command->add_flag("--no-backup", options->no_backup,
                    "Do not back up the databases before changing them");
  command->callback([&context, options] { context.exit_status = RunBatch(context, *options); });
}

}  // namespace

ACTUALIZ_COMMAND(AddBatchCommand);

}  // namespace actualiz::cli
