// The batch "Transformar" (Command13_Click) run over a data directory from
// start to end, as a front end without a display runs it:
//
//  1. a spool for the run's entries is made under the system's temporary
//     directory, so memory stays flat however many databases the run
//     covers (app/run_spool.h); one that cannot be made stops the run;
//  2. the window is built and started as the program starts it, and Dir1
//     is pointed at the data directory (without one, the window's default
//     data directory is used only when start-up could set it: its fallback
//     to the drive root is refused);
//  3. the models directory must hold a model;
//  4. the catalogue directory and the data directory are locked
//     (app/run_locks.h) for the whole run, then the data directory is
//     listed again: another run may have changed it while this one waited;
//  5. every target database is backed up into a dated folder
//     (app/backups.h); a database that opens but cannot be backed up stops
//     the run, a file that cannot be opened at all is left out and its
//     failure recorded under its name;
//  6. the batch runs, stopping between two databases once the
//     environment's stop flag is set;
//  7. the report is made from the spool and handed to the front end to
//     write; only then are the backups of databases the run left as they
//     were removed, as the run's entries tell (a database with a change or
//     a failure recorded keeps its backup). Without a report nobody knows
//     what changed, so every backup is kept.
//
// Nothing is changed by a run that ends in steps 1 to 5.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/actualiz.h"
#include "app/backups.h"
#include "app/batch_report.h"
#include "app/run_locks.h"
#include "app/run_spool.h"

namespace actualiz::app {

struct BatchOptions {
  // The data directory as the window takes it (a Windows path, or a host
  // path on no mapped drive); "" keeps the window's default data directory.
  std::string data_directory{};
  bool back_up = true;
  // Who runs the batch, as the run locks name it to a run that waits.
  std::string program = "actualiz-cli batch";
  // Makes the listener that shows the run's progress (it must not outlive
  // the window it is given); null shows none.
  std::function<std::unique_ptr<ControlListener>(const Actualiz& window)> progress{};
  // Writes the report once the run has ended, before the backups are
  // trimmed; given the signal that stopped the run (0 for none) and the
  // databases it never reached. An Error it raises counts as a report that
  // cannot be made. Null writes nothing.
  std::function<void(const StreamedBatchReport& report, int stopped_by,
                     const std::vector<std::string>& not_reached)>
      write_report{};
};

// How far a batch run came.
enum class BatchEnd {
  kRan,                     // the batch ran (to its end, or stopped between two databases)
  kNoSpool,                 // the temporary file of the run's entries cannot be made
  kDataDirectoryRefused,    // Dir1 cannot be set to the data directory given
  kNoDefaultDataDirectory,  // no data directory given, and the default one is not there
  kNoModels,                // the models directory holds no model
  kLocked,                  // another run held a lock past the wait (or the run was stopped)
  kDataDirectoryNotListed,  // the data directory cannot be listed again once locked
  kBackupFailed,            // a database that opens cannot be backed up
  kProgramEnded,            // a handler ended the program during the run
  kNoReport,                // the run ended but its report cannot be made
};

struct BatchResult {
  BatchEnd end = BatchEnd::kRan;
  // Why the run ended early (kNoSpool, kNoModels, kLocked, kBackupFailed,
  // kNoReport); empty otherwise.
  std::optional<Error> error;
  // The data directory as Dir1 showed it when the run was refused or ran.
  std::string data_directory;
  // The signal that asked the run to stop, 0 when none did.
  int stopped_by = 0;
  // The run's entries; kept while `report` is, which reads them.
  std::unique_ptr<RunSpool> spool;
  // The report of a run that ended kRan.
  std::unique_ptr<StreamedBatchReport> report;
  // The databases a stopped run never came to.
  std::vector<std::string> not_reached;
  // The backup folder as it stands after the run (all of it with kNoReport);
  // empty without backups or when the run ended before it was made.
  std::optional<BackupFolder> backup;
  // Why the backup folder could not be trimmed and completed after the run.
  std::optional<Error> backup_incomplete;
  // The run's locks, held until the result goes, so that the front end
  // writes what it reports before another run may change the directories.
  RunLocks locks;

  // The exit status of a front end: 128 + the signal when the run was asked
  // to stop (ran or refused while waiting for a lock), else 0 when the run
  // ended with nothing passed over, failed or left incomplete, else 1.
  int ExitStatus() const;
};

// Runs the batch with `env` (its operator and stop flag included) as the
// steps above say. Never raises an Error: every failure ends the run with
// the BatchEnd it is given. The batch ending the program ends the run with
// kProgramEnded; only a start-up that ends it lets ProgramEnded through.
BatchResult RunBatch(Environment env, const BatchOptions& options);

}  // namespace actualiz::app
