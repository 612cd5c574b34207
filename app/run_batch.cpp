#include "app/run_batch.h"

#include <chrono>

#include "app/plan.h"
#include "base/server_address.h"
#include "platform/stop_signals.h"

namespace actualiz::app {

namespace {

// Each database the backup left out because it cannot be opened, as a
// failure of that database in the run log.
void RecordUnopened(Actualiz& window, const BackupFolder& backup) {
  Actualiz::HandlerScope scope(window, "backup");
  for (const UnopenedDatabase& database : backup.unopened) {
    window.RecordFailure("back up " + database.name, database.error, true,
                         DatabaseIn(window.Dir1.Path(), database.name));
  }
}

int StoppedBy(const Environment& env) { return env.stop != nullptr ? env.stop->load() : 0; }

BatchResult Ended(BatchEnd end, std::optional<Error> error = std::nullopt) {
  BatchResult result;
  result.end = end;
  result.error = std::move(error);
  return result;
}

}  // namespace

int BatchResult::ExitStatus() const {
  switch (end) {
    case BatchEnd::kRan: {
      if (stopped_by != 0) return platform::StopSignals::ExitStatus(stopped_by);
      const bool failed = spool == nullptr || spool->FailureCount() != 0;
      return failed || backup_incomplete ? 1 : 0;
    }
    case BatchEnd::kLocked:
      return stopped_by != 0 ? platform::StopSignals::ExitStatus(stopped_by) : 1;
    default:
      return 1;
  }
}

BatchResult RunBatch(Environment env, const BatchOptions& options) {
  // Made first, so that it outlives the window whose log feeds it, and so
  // that a temporary directory that cannot take it stops the run before
  // anything changes.
  std::unique_ptr<RunSpool> spool;
  try {
    spool = std::make_unique<RunSpool>();
  } catch (const Error& e) {
    return Ended(BatchEnd::kNoSpool, e);
  }
  Actualiz window(std::move(env));
  std::unique_ptr<ControlListener> progress;
  if (options.progress) progress = options.progress(window);
  window.Activate();
  if (!options.data_directory.empty()) {
    // A data directory that cannot be set is the caller's mistake: nothing runs.
    const std::string& data = options.data_directory;
    if (!window.AtTop("Dir1.Path = " + data, [&] { window.Dir1.SetPath(data); })) {
      return Ended(BatchEnd::kDataDirectoryRefused);
    }
  } else if (window.Dir1.Path() != Actualiz::kDefaultDataDirectory) {
    // Start-up fell back to the drive root: a batch there would take
    // whatever databases lie at the root for customer databases.
    return Ended(BatchEnd::kNoDefaultDataDirectory);
  }
  try {
    RequireModels(window);
  } catch (const Error& e) {
    return Ended(BatchEnd::kNoModels, e);
  }
  BatchResult result;
  try {
    result.locks = LockForClick(window, options.program);
  } catch (const Error& e) {
    result = Ended(BatchEnd::kLocked, e);
    result.stopped_by = StoppedBy(window.Env());
    return result;
  }
  // Another run may have changed the data directory while this one waited
  // (copied its models in): list it again now that nobody else can.
  result.data_directory = window.Dir1.Path();
  if (!window.AtTop("Dir1.Path = " + result.data_directory,
                    [&] { window.Dir1.SetPath(result.data_directory); })) {
    result.end = BatchEnd::kDataDirectoryNotListed;
    return result;
  }
  // The report covers the run itself; what the start-up recorded (a
  // fallback of the data directory, a catalogue that could not be opened)
  // stays in the log file, and a missing catalogue fails the chains that
  // use it, which the report shows.
  std::string host_data;
  if (options.back_up) {
    try {
      host_data = window.Env().drives.ToHost(window.Dir1.Path());
      // A server has no folder beside its databases: theirs go into the
      // program directory.
      const std::string host_program = IsServerAddress(host_data)
                                           ? window.Env().drives.ToHost(window.ProgramDirectory())
                                           : std::string();
      result.backup = BackUpDatabases(host_data, window.Dir1.Path(), PairedTargets(window),
                                      std::chrono::system_clock::now(), host_program);
    } catch (const Error& e) {
      result.end = BatchEnd::kBackupFailed;
      result.error = e;
      return result;
    }
  }
  spool->Attach(window.Log());
  if (result.backup) RecordUnopened(window, *result.backup);
  if (progress) window.SetListener(progress.get());
  bool ended = false;
  try {
    window.Click("Command13_Click");
  } catch (const ProgramEnded&) {
    ended = true;
  }
  window.SetListener(nullptr);
  RunSpool::Detach(window.Log());
  if (ended || window.Ended()) {
    result.end = BatchEnd::kProgramEnded;
    return result;
  }

  result.stopped_by = StoppedBy(window.Env());
  try {
    result.report = std::make_unique<StreamedBatchReport>(window, *spool);
    result.not_reached = result.report->NotReached();
    if (options.write_report)
      options.write_report(*result.report, result.stopped_by, result.not_reached);
  } catch (const Error& e) {
    // Without the report it is not known which databases changed: every
    // backup is kept.
    result.report.reset();
    result.end = BatchEnd::kNoReport;
    result.error = e;
    return result;
  }
  if (result.backup) {
    try {
      KeepChangedOnly(*result.backup, host_data, result.report->MayHaveChanged(),
                      result.report->CopiedIn());
    } catch (const Error& e) {
      result.backup_incomplete = e;
    }
  }
  result.spool = std::move(spool);
  return result;
}

}  // namespace actualiz::app
