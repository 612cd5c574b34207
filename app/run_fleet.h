// A fleet run: the batch (or its plan, or the check) over every location of
// a fleet file (app/fleet_file.h), several locations at once.
//
// Each location runs on a worker thread as a window model of its own, with
// its own environment (drive map, program directory, engine session, run
// log) and its own catalogues: the location's "C:\Zarade" is copied, under
// a shared lock on it, into a temporary folder, and the location's drive
// map sends "C:\Zarade" there (platform::DriveMap::MapFolder). Two
// locations at once never see each other's catalogue rows, and every name
// the run shows is the one a single batch shows. The data directory is
// locked as a single batch locks it, so a fleet run and a single run on one
// location keep apart.
//
// A location that fails (cannot be reached, is locked by another run past
// the wait, has no models) is reported with its reason; the others go on.
// Once the stop flag is set no location starts, and the running ones stop
// between two databases as a single batch does.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/fleet_file.h"
#include "app/fleet_totals.h"

namespace actualiz::app {

enum class FleetWork { kBatch, kPlan, kCheck };

// How one location ended.
struct LocationOutcome {
  std::string name;
  std::string data;
  // "done" (the batch ran through, nothing failed), "failed", "interrupted"
  // (stopped between two databases), "not started" (stopped before it
  // began); for a plan or a check: "up to date", "behind" or "failed".
  std::string state = "not started";
  std::string reason;  // why it failed or stopped; "" otherwise
  FleetTotals totals;  // absent when the run made no report
  std::string backup;  // the backup folder a batch kept; "" for none
  std::string plan;    // a plan's or a check's text
  double seconds = 0;
  bool earlier = false;  // recorded by an earlier run and not run again

  bool Failed() const { return state == "failed"; }
  nlohmann::json Json() const;
  static LocationOutcome FromJson(const nlohmann::json& json);
};

// The fleet's state as the progress line shows it.
struct FleetProgress {
  size_t total = 0;
  size_t done = 0;  // ended, failed or not
  size_t running = 0;
  size_t failed = 0;
  std::string slowest;  // the running location that started first
  double slowest_seconds = 0;
};

// The stop flag's value when the operator asked the run to stop (a button,
// not a signal).
constexpr int kStoppedByOperator = -1;

struct FleetRunOptions {
  FleetWork work = FleetWork::kBatch;
  bool back_up = true;
  size_t jobs = 1;  // locations at once, at least 1
  double wait_seconds = 5;
  const std::atomic<int>* stop = nullptr;
  // The names of the locations to pass over, as ended by an earlier run.
  std::vector<std::string> skip{};
  // Called on the calling thread about once a second and at every change.
  std::function<void(const FleetProgress&)> progress{};
  // Called as a location starts, with its index in the fleet (on its
  // worker thread).
  std::function<void(size_t index)> started{};
  // Called, one at a time, as each location ends (on its worker thread).
  std::function<void(const LocationOutcome&)> ended{};
};

// How many locations run at once when the operator does not say: the
// number of cores (`cores`, at least 1) when a location lies in files, whose
// batch keeps a core busy; four times that when every location is on a
// server, where a batch spends most of its time waiting for the server.
size_t DefaultFleetJobs(const Fleet& fleet, size_t cores);

// Runs `options.work` over every location of `fleet` not in
// `options.skip`; returns each location's outcome in the fleet's order
// (those passed over and those never started included, as "not started").
std::vector<LocationOutcome> RunFleet(const Fleet& fleet, const FleetRunOptions& options);

// One location's run, on the calling thread.
LocationOutcome RunLocation(const FleetLocation& location, const FleetRunOptions& options);

}  // namespace actualiz::app
