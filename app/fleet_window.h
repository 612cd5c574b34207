// The fleet window's model: the locations of one fleet file, how each
// stands, and the runs over them (app/run_fleet.h).
//
// A run goes on a worker thread of its own, so the window that shows it
// stays free to repaint and to hear the operator; the window asks for a
// Snapshot whenever Changes() has moved (or every so often while a run
// goes on, to follow the seconds). Every member may be called from any
// thread.
//
// The batch records the locations it finishes in the same state file as
// the command line's fleet run (app/fleet_state.h). By default it resumes:
// it runs only the locations not recorded as done, and shows those as done
// by an earlier run, as `actualiz-cli fleet --resume` does; without resume
// it starts the state afresh and runs them all. A check records nothing.
//
// Stop sets the stop flag as SIGINT does for the command line: no further
// location starts, and the running ones stop between two databases. The
// model must not be destroyed while its run goes on: the destructor stops
// the run and waits for the worker.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/fleet_file.h"
#include "app/run_fleet.h"

namespace actualiz::app {

struct FleetWindowOptions {
  std::string file;  // the fleet file
  FleetDefaults defaults{};
  size_t jobs = 0;  // 0: DefaultFleetJobs for the fleet and this machine's cores
  bool back_up = true;
  double wait_seconds = 5;
};

// What the window shows at one moment.
struct FleetWindowSnapshot {
  // One per location, in the fleet's order; state "running" while its run
  // goes on, with the seconds it has taken so far.
  std::vector<LocationOutcome> rows;
  FleetProgress progress;  // over every location, those done earlier included
  bool running = false;
  FleetWork work = FleetWork::kBatch;  // the last run's
  // What the window has to say: why the fleet file cannot be read, how the
  // last run ended, a state that could not be recorded; one a line.
  std::string notice;
};

class FleetWindow {
 public:
  // Reads the fleet file and what its state file records as done. A fleet
  // file that cannot be read leaves a window with no locations that says
  // why; it cannot run.
  explicit FleetWindow(FleetWindowOptions options);
  ~FleetWindow();
  FleetWindow(const FleetWindow&) = delete;
  FleetWindow& operator=(const FleetWindow&) = delete;

  // Whether the fleet file was read.
  bool Loaded() const { return loaded_; }
  // The fleet file: its absolute path once read, else as given.
  const std::string& File() const { return loaded_ ? fleet_.file : options_.file; }

  // Starts `work` over the fleet on the worker thread; a batch with
  // `resume` runs only the locations not recorded as done. False when the
  // fleet file was not read or a run still goes on, and with a notice
  // saying why when the state file cannot be started.
  bool Start(FleetWork work, bool resume = true);
  // Asks the run to stop: no further location starts, and the running ones
  // stop between two databases.
  void Stop();
  // Waits until the run has ended.
  void Wait();

  bool Running() const;
  // Moves on at every change of a row, the notice or the running state.
  uint64_t Changes() const { return changes_.load(); }
  FleetWindowSnapshot Snapshot() const;

 private:
  using Clock = std::chrono::steady_clock;

  void Load();
  void Run(FleetRunOptions run);
  void LocationStarted(size_t index);
  void LocationEnded(FleetWork work, const LocationOutcome& outcome);
  void Ended(std::vector<LocationOutcome> outcomes);
  void Say(const std::string& line);  // under the lock

  const FleetWindowOptions options_;
  Fleet fleet_;
  bool loaded_ = false;
  std::atomic<int> stop_{0};
  std::atomic<uint64_t> changes_{0};

  mutable std::mutex mutex_;  // guards what follows
  std::vector<LocationOutcome> rows_;
  std::vector<std::optional<Clock::time_point>> started_;
  bool running_ = false;
  FleetWork work_ = FleetWork::kBatch;
  std::string notice_;

  // Touched only by Start before the worker starts and by the location's
  // ended calls, which RunFleet makes one at a time.
  std::vector<LocationOutcome> earlier_;

  std::mutex worker_mutex_;  // guards the worker's start and join
  std::thread worker_;
};

}  // namespace actualiz::app
