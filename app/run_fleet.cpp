#include "app/run_fleet.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "app/catalogues.h"
#include "app/environment_options.h"
#include "app/operator_advice.h"
#include "app/plan.h"
#include "app/quick_check.h"
#include "app/run_batch.h"
#include "app/run_locks.h"
#include "base/server_address.h"
#include "engine/sqlite/backup.h"
#include "platform/temporary_directory.h"

namespace actualiz::app {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The messages a location's window shows, kept to explain its failure: a
// location runs on a worker thread, where no one answers a message box.
class LocationOperator : public platform::Operator {
 public:
  void ShowMessage(std::string_view text, platform::MessageLook look) override {
    if (look == platform::MessageLook::kCritical || look == platform::MessageLook::kWarning) {
      last_warning = std::string(text);
    }
  }
  void EndProgram() override {}
  std::string last_warning;
};

// The folder "C:\Zarade" of `drives` copied into `into`, each catalogue
// that exists consistently, under a shared lock so that never half-way
// through another run's change; then the map sends the folder there.
void UsePrivateCatalogues(Environment& env, const fs::path& into) {
  const fs::path real = CatalogueHostDirectory(env.drives);
  if (!real.empty() && fs::is_directory(real)) {
    const RunLocks shared =
        LockRun(env, true, {}, platform::LockMode::kShared, "actualiz-cli fleet");
    for (const char* catalogue : {kIndexCatalogue, kRelationCatalogue, kQueryCatalogue}) {
      const fs::path host = env.drives.ToHost(catalogue);
      if (fs::exists(host)) {
        engine::CopyDatabase(host.string(), (into / host.filename()).string(),
                             engine::CopyTarget::kNew);
      }
    }
  }
  env.drives.MapFolder(kCatalogueFolder, into.string());
}

// A message box's lines as one line of a report: "; " between them.
std::string OnOneLine(std::string text) {
  for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos;) {
    text.replace(at, 1, "; ");
  }
  return text;
}

std::string BatchFailure(const BatchResult& result, const FleetLocation& location) {
  const std::string why = result.error ? OperatorLine(*result.error) : std::string();
  switch (result.end) {
    case BatchEnd::kRan:
      break;
    case BatchEnd::kNoSpool:
    case BatchEnd::kLocked:
    case BatchEnd::kNoReport:
      return why;
    case BatchEnd::kDataDirectoryRefused:
      return "cannot use '" + location.data + "' as the data directory";
    case BatchEnd::kNoDefaultDataDirectory:
      return "the default data directory does not exist";
    case BatchEnd::kNoModels:
      return "no models to work from: " + why;
    case BatchEnd::kDataDirectoryNotListed:
      return "cannot list '" + result.data_directory + "' again";
    case BatchEnd::kBackupFailed:
      return "cannot back up before changing: " + why + "; nothing was changed";
    case BatchEnd::kProgramEnded:
      return "the program ended during the run";
  }
  if (result.backup_incomplete) {
    return "backup folder could not be completed: " + OperatorLine(*result.backup_incomplete);
  }
  const int failures = result.report ? result.report->FailureCount() : 0;
  return std::to_string(failures) + " failure" + (failures == 1 ? "" : "s") + " passed over";
}

std::string StopReason(int stopped_by) {
  switch (stopped_by) {
    case SIGINT:
      return "stopped by SIGINT";
    case SIGTERM:
      return "stopped by SIGTERM";
    default:
      return "stopped by the operator";
  }
}

void RunBatchAt(const FleetLocation& location, Environment env, const FleetRunOptions& options,
                LocationOutcome& outcome) {
  const platform::TemporaryDirectory catalogues("actualiz-fleet-", "a fleet location's catalogues");
  UsePrivateCatalogues(env, catalogues.Path());
  BatchOptions batch;
  batch.data_directory = location.data;
  batch.back_up = options.back_up;
  batch.program = "actualiz-cli fleet";
  const BatchResult result = RunBatch(std::move(env), batch);
  if (result.report) outcome.totals = FleetTotals(result.report->Totals());
  if (result.backup) outcome.backup = result.backup->folder;
  const int status = result.ExitStatus();
  if (result.stopped_by != 0) {
    outcome.state = result.end == BatchEnd::kRan ? "interrupted" : "not started";
    outcome.reason = StopReason(result.stopped_by);
  } else if (status == 0) {
    outcome.state = "done";
  } else {
    outcome.state = "failed";
    outcome.reason = BatchFailure(result, location);
  }
}

void PlanAt(const FleetLocation& location, const Environment& env, bool check,
            LocationOutcome& outcome) {
  std::optional<Plan> quick;
  if (check) quick = QuickPlan(env, location.data);
  const Plan plan = quick ? std::move(*quick) : MakePlan(env, location.data);
  outcome.plan = FormatPlan(plan);
  outcome.totals = FleetTotals(plan.report.Totals());
  if (plan.Failed()) {
    outcome.state = "failed";
    const int failures = plan.report.FailureCount();
    outcome.reason = "the batch would pass over " + std::to_string(failures) + " failure" +
                     (failures == 1 ? "" : "s");
  } else {
    outcome.state = plan.NothingToDo() ? "up to date" : "behind";
  }
}

}  // namespace

nlohmann::json LocationOutcome::Json() const {
  nlohmann::json out = {{"name", name}, {"data", data}, {"state", state}};
  if (!reason.empty()) out["reason"] = reason;
  out["totals"] = totals.Json();
  if (!backup.empty()) out["backup"] = backup;
  out["seconds"] = seconds;
  if (earlier) out["earlierRun"] = true;
  return out;
}

LocationOutcome LocationOutcome::FromJson(const nlohmann::json& json) {
  LocationOutcome outcome;
  outcome.name = json.value("name", "");
  outcome.data = json.value("data", "");
  outcome.state = json.value("state", "not started");
  outcome.reason = json.value("reason", "");
  if (json.contains("totals")) outcome.totals = FleetTotals::FromJson(json["totals"]);
  outcome.backup = json.value("backup", "");
  outcome.seconds = json.value("seconds", 0.0);
  return outcome;
}

LocationOutcome RunLocation(const FleetLocation& location, const FleetRunOptions& options) {
  LocationOutcome outcome;
  outcome.name = location.name;
  outcome.data = location.data;
  const Clock::time_point start = Clock::now();
  LocationOperator op;
  try {
    Environment env = MakeEnvironment({.drives = location.drives,
                                       .program_dir = location.program_dir,
                                       .wait_seconds = options.wait_seconds,
                                       .stop = options.stop},
                                      op);
    if (options.work == FleetWork::kBatch) {
      RunBatchAt(location, std::move(env), options, outcome);
    } else {
      PlanAt(location, env, options.work == FleetWork::kCheck, outcome);
    }
  } catch (const Error& e) {
    outcome.state = "failed";
    outcome.reason = OperatorLine(e);
  } catch (const std::exception& e) {
    // A location's fault (a file system error on its own folders) must not
    // end the others' runs: it is that location's failure.
    outcome.state = "failed";
    outcome.reason = e.what();
  }
  if (outcome.Failed() && !op.last_warning.empty()) {
    outcome.reason += " (" + OnOneLine(op.last_warning) + ")";
  }
  outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return outcome;
}

size_t DefaultFleetJobs(const Fleet& fleet, size_t cores) {
  cores = std::max<size_t>(cores, 1);
  const bool all_on_servers =
      !fleet.locations.empty() &&
      std::all_of(fleet.locations.begin(), fleet.locations.end(),
                  [](const FleetLocation& location) { return IsServerAddress(location.data); });
  return all_on_servers ? 4 * cores : cores;
}

std::vector<LocationOutcome> RunFleet(const Fleet& fleet, const FleetRunOptions& options) {
  const size_t total = fleet.locations.size();
  std::vector<LocationOutcome> outcomes(total);
  std::vector<size_t> queue;
  for (size_t i = 0; i < total; ++i) {
    outcomes[i].name = fleet.locations[i].name;
    outcomes[i].data = fleet.locations[i].data;
    const auto& skip = options.skip;
    if (std::find(skip.begin(), skip.end(), fleet.locations[i].name) == skip.end()) {
      queue.push_back(i);
    }
  }
  std::mutex mutex;
  std::condition_variable changed;
  size_t next = 0;
  size_t workers_left = std::min(std::max<size_t>(options.jobs, 1), queue.size());
  std::vector<std::optional<Clock::time_point>> started(total);
  FleetProgress progress;
  progress.total = queue.size();

  auto work = [&] {
    for (;;) {
      size_t index = 0;
      {
        const std::lock_guard<std::mutex> lock(mutex);
        if (next == queue.size() || (options.stop != nullptr && options.stop->load() != 0)) break;
        index = queue[next++];
        started[index] = Clock::now();
        ++progress.running;
      }
      changed.notify_all();
      if (options.started) options.started(index);
      LocationOutcome outcome = RunLocation(fleet.locations[index], options);
      {
        const std::lock_guard<std::mutex> lock(mutex);
        outcomes[index] = outcome;
        started[index].reset();
        --progress.running;
        ++progress.done;
        if (outcome.Failed()) ++progress.failed;
        if (options.ended) options.ended(outcome);
      }
      changed.notify_all();
    }
    {
      const std::lock_guard<std::mutex> lock(mutex);
      --workers_left;
    }
    changed.notify_all();
  };

  std::vector<std::thread> threads;
  const size_t count = workers_left;
  for (size_t i = 0; i < count; ++i) threads.emplace_back(work);
  {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      if (options.progress) {
        progress.slowest.clear();
        progress.slowest_seconds = 0;
        for (size_t i = 0; i < total; ++i) {
          if (!started[i]) continue;
          const double seconds = std::chrono::duration<double>(Clock::now() - *started[i]).count();
          if (seconds >= progress.slowest_seconds) {
            progress.slowest = fleet.locations[i].name;
            progress.slowest_seconds = seconds;
          }
        }
        options.progress(progress);
      }
      if (workers_left == 0) break;
      changed.wait_for(lock, std::chrono::seconds(1));
    }
  }
  for (std::thread& thread : threads) thread.join();
  return outcomes;
}

}  // namespace actualiz::app
