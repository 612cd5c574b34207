#include "app/fleet_window.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "app/fleet_state.h"

namespace actualiz::app {

namespace {

// Every location of `fleet`, none of them started.
std::vector<LocationOutcome> NotStarted(const Fleet& fleet) {
  std::vector<LocationOutcome> rows;
  for (const FleetLocation& location : fleet.locations) {
    LocationOutcome row;
    row.name = location.name;
    row.data = location.data;
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace

FleetWindow::FleetWindow(FleetWindowOptions options) : options_(std::move(options)) { Load(); }

FleetWindow::~FleetWindow() {
  Stop();
  Wait();
}

void FleetWindow::Load() {
  try {
    fleet_ = ReadFleetFile(options_.file, options_.defaults);
  } catch (const Error& e) {
    notice_ = e.Text();
    return;
  }
  loaded_ = true;
  rows_ = NotStarted(fleet_);
  started_.assign(rows_.size(), std::nullopt);
  try {
    ShowEarlierOutcomes(rows_, FinishedLocations(fleet_));
  } catch (const Error& e) {
    notice_ = e.Text();  // the locations still show; a run without resume starts afresh
  }
}

bool FleetWindow::Start(FleetWork work, bool resume) {
  const std::lock_guard<std::mutex> worker_lock(worker_mutex_);
  if (!loaded_ || Running()) return false;
  if (worker_.joinable()) worker_.join();  // the last run, ended
  std::vector<LocationOutcome> earlier;
  if (work == FleetWork::kBatch) {
    try {
      earlier = StartFleetState(fleet_, resume);
    } catch (const Error& e) {
      const std::lock_guard<std::mutex> lock(mutex_);
      notice_ = e.Text();
      ++changes_;
      return false;
    }
  }
  earlier_ = earlier;

  FleetRunOptions run;
  run.work = work;
  run.back_up = options_.back_up;
  run.jobs = options_.jobs != 0 ? options_.jobs
                                : DefaultFleetJobs(fleet_, std::thread::hardware_concurrency());
  run.wait_seconds = options_.wait_seconds;
  run.stop = &stop_;
  for (const LocationOutcome& outcome : earlier) run.skip.push_back(outcome.name);
  run.started = [this](size_t index) { LocationStarted(index); };
  run.ended = [this, work](const LocationOutcome& outcome) { LocationEnded(work, outcome); };
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    rows_ = NotStarted(fleet_);
    ShowEarlierOutcomes(rows_, earlier);
    started_.assign(rows_.size(), std::nullopt);
    stop_ = 0;
    running_ = true;
    work_ = work;
    notice_.clear();
  }
  ++changes_;
  worker_ = std::thread([this, run = std::move(run)] { Run(run); });
  return true;
}

void FleetWindow::Stop() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!running_ || stop_ != 0) return;
  stop_ = kStoppedByOperator;
  Say("Stopping: no further location starts; the running ones stop between two databases.");
}

void FleetWindow::Wait() {
  const std::lock_guard<std::mutex> worker_lock(worker_mutex_);
  if (worker_.joinable()) worker_.join();
}

bool FleetWindow::Running() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return running_;
}

void FleetWindow::Run(FleetRunOptions run) {
  std::vector<LocationOutcome> outcomes;
  try {
    outcomes = RunFleet(fleet_, run);
  } catch (const std::exception& e) {
    // RunFleet keeps each location's faults to that location; anything
    // else (no thread to be had) ends the whole run, which the window says.
    const std::lock_guard<std::mutex> lock(mutex_);
    Say(std::string("The run failed: ") + e.what());
  }
  Ended(std::move(outcomes));
}

void FleetWindow::LocationStarted(size_t index) {
  const std::lock_guard<std::mutex> lock(mutex_);
  rows_[index].state = "running";
  started_[index] = Clock::now();
  ++changes_;
}

void FleetWindow::LocationEnded(FleetWork work, const LocationOutcome& outcome) {
  std::string unrecorded;
  if (work == FleetWork::kBatch) {
    try {
      RecordFinished(FleetStatePath(fleet_.file), outcome);
    } catch (const Error& e) {
      // The location is done all the same; only a resumed run would run it
      // again, which changes nothing.
      unrecorded = "Cannot record that " + outcome.name + " is done: " + e.Text();
    }
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].name != outcome.name) continue;
    rows_[i] = outcome;
    started_[i].reset();
  }
  if (!unrecorded.empty()) Say(unrecorded);
  ++changes_;
}

void FleetWindow::Ended(std::vector<LocationOutcome> outcomes) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!outcomes.empty()) {
    ShowEarlierOutcomes(outcomes, earlier_);
    rows_ = std::move(outcomes);
  }
  started_.assign(rows_.size(), std::nullopt);
  for (LocationOutcome& row : rows_) {
    if (row.state == "running") row.state = "not started";
  }
  running_ = false;
  if (stop_ != 0) {
    Say("Stopped: no further location was started, and the running ones stopped between two "
        "databases.");
  }
  ++changes_;
}

FleetWindowSnapshot FleetWindow::Snapshot() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  FleetWindowSnapshot snapshot;
  snapshot.rows = rows_;
  snapshot.running = running_;
  snapshot.work = work_;
  snapshot.notice = notice_;
  const Clock::time_point now = Clock::now();
  FleetProgress& progress = snapshot.progress;
  progress.total = rows_.size();
  for (size_t i = 0; i < rows_.size(); ++i) {
    LocationOutcome& row = snapshot.rows[i];
    if (started_[i]) {
      row.seconds = std::chrono::duration<double>(now - *started_[i]).count();
      ++progress.running;
      if (row.seconds >= progress.slowest_seconds) {
        progress.slowest = row.name;
        progress.slowest_seconds = row.seconds;
      }
    } else if (row.state != "not started") {
      ++progress.done;
      if (row.Failed()) ++progress.failed;
    }
  }
  return snapshot;
}

void FleetWindow::Say(const std::string& line) {
  if (!notice_.empty()) notice_ += "\n";
  notice_ += line;
  ++changes_;
}

}  // namespace actualiz::app
