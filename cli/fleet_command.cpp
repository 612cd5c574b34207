// actualiz-cli fleet FILE [--jobs N] [--no-backup] [--json FILE|-] [--resume]
//                         [--check | --plan]
//
// Runs the batch over every data location of the fleet file FILE
// (app/fleet_file.h), up to N locations at once (default: the number of
// cores), each as a window of its own (app/run_fleet.h). A location that
// fails never stops the others. While it runs, one progress line on
// standard error tells how many locations are done, running and failed and
// which running one has taken longest (redrawn in place on a terminal; one
// line per change with --progress). At the end one report lists every
// location with its state and its totals (`--json`: also as JSON, `-` for
// standard output in place of the text). Exit status 0 when every location
// is done, 1 when any failed (or was not reached).
//
// Each location that ran through is recorded in "FILE.state"
// (app/fleet_state.h); `--resume` runs only the others and reports the
// whole fleet. SIGINT or SIGTERM starts no further location, lets the
// running ones stop between two databases and exits 130 or 143.
//
// `--check` and `--plan` make each location's plan instead (nothing is
// changed and nothing recorded): exit 1 when any location failed, else with
// `--check` 2 when any is behind, else 0.
#include <csignal>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <thread>

#include "app/fleet_report_text.h"
#include "app/fleet_state.h"
#include "app/run_fleet.h"
#include "base/terminal_text.h"
#include "cli/command.h"
#include "cli/plan_command.h"
#include "cli/progress_panel.h"
#include "cli/shared_options.h"
#include "platform/stop_signals.h"

namespace actualiz::cli {

namespace {

struct FleetOptions {
  std::string file;
  size_t jobs = 0;  // 0: the number of cores
  bool no_backup = false;
  bool resume = false;
  bool check = false;
  bool plan = false;
  std::string json_file;
};

// The progress line: "fleet: 3/10 done, 2 running, 1 failed; slowest: norte (12 s)".
class ProgressLine {
 public:
  explicit ProgressLine(bool in_place) : in_place_(in_place) {}
  void Draw(const app::FleetProgress& progress) {
    const std::string line = "fleet: " + app::FleetProgressText(progress);
    const std::string counts = app::FleetProgressCounts(progress);
    if (in_place_) {
      std::cerr << "\r\033[K" << line << std::flush;
    } else if (counts != last_counts_) {
      std::cerr << line << "\n" << std::flush;  // one line per change, not per second
    }
    last_counts_ = counts;
    drawn_ = true;
  }
  void End() {
    if (drawn_ && in_place_) std::cerr << "\n";
  }

 private:
  bool in_place_;
  bool drawn_ = false;
  std::string last_counts_;
};

void WriteText(std::ostream& out, const app::Fleet& fleet, app::FleetWork work,
               const std::vector<app::LocationOutcome>& outcomes) {
  std::map<std::string, int> states;
  for (const app::LocationOutcome& outcome : outcomes) ++states[outcome.state];
  if (work != app::FleetWork::kBatch) {
    for (const app::LocationOutcome& outcome : outcomes) {
      if (outcome.plan.empty()) continue;
      out << "== " << TerminalSafe(outcome.name) << " ==\n" << outcome.plan << "\n";
    }
  }
  out << "Fleet " << TerminalSafe(fleet.file) << " (" << app::FleetWorkName(work)
      << "): " << outcomes.size() << " location" << (outcomes.size() == 1 ? "" : "s");
  for (const auto& [state, count] : states) out << ", " << count << " " << state;
  out << "\n";
  for (const app::LocationOutcome& outcome : outcomes) {
    out << "  " << TerminalSafe(outcome.name) << ": " << outcome.state;
    if (outcome.earlier) out << " (earlier run)";
    if (!outcome.reason.empty()) out << ": " << TerminalSafe(outcome.reason);
    const std::string totals = app::FleetTotalsText(outcome.totals);
    if (!totals.empty()) out << "\n    " << totals << "; " << app::FleetSeconds(outcome.seconds);
    if (!outcome.backup.empty()) out << "\n    backups in " << TerminalSafe(outcome.backup);
    out << "\n";
  }
}

nlohmann::json ReportJson(const app::Fleet& fleet, app::FleetWork work,
                          const std::vector<app::LocationOutcome>& outcomes, int signal) {
  nlohmann::json out = {{"fleet", fleet.file}, {"work", app::FleetWorkName(work)}};
  nlohmann::json states = nlohmann::json::object();
  nlohmann::json locations = nlohmann::json::array();
  for (const app::LocationOutcome& outcome : outcomes) {
    locations.push_back(outcome.Json());
    states[outcome.state] = states.value(outcome.state, 0) + 1;
  }
  out["states"] = states;
  out["locations"] = locations;
  if (signal != 0) out["interrupted"] = signal == SIGINT ? "SIGINT" : "SIGTERM";
  return out;
}

int ExitStatus(app::FleetWork work, const std::vector<app::LocationOutcome>& outcomes, int signal) {
  if (signal != 0) return platform::StopSignals::ExitStatus(signal);
  bool failed = false;
  bool behind = false;
  for (const app::LocationOutcome& outcome : outcomes) {
    failed = failed || outcome.Failed() || outcome.state == "not started" ||
             outcome.state == "interrupted";
    behind = behind || outcome.state == "behind";
  }
  if (failed) return 1;
  return work == app::FleetWork::kCheck && behind ? 2 : 0;
}

int RunFleetCommand(const CliContext& context, const FleetOptions& options) {
  const app::FleetWork work = options.check  ? app::FleetWork::kCheck
                              : options.plan ? app::FleetWork::kPlan
                                             : app::FleetWork::kBatch;
  app::Fleet fleet;
  std::vector<app::LocationOutcome> earlier;
  std::string state_file;
  try {
    fleet = app::ReadFleetFile(options.file,
                               {.drives = context.drives, .program_dir = context.program_dir});
    if (work == app::FleetWork::kBatch) {
      state_file = app::FleetStatePath(fleet.file);
      earlier = app::StartFleetState(fleet, options.resume);
    }
  } catch (const Error& e) {
    std::cerr << "actualiz-cli fleet: " << TerminalSafe(e.Text()) << "\nNothing was changed.\n";
    return 1;
  }

  app::FleetRunOptions run;
  run.work = work;
  run.back_up = !options.no_backup;
  run.jobs = options.jobs != 0 ? options.jobs
                               : app::DefaultFleetJobs(fleet, std::thread::hardware_concurrency());
  run.wait_seconds = context.wait_seconds;
  run.stop = context.stop;
  for (const app::LocationOutcome& outcome : earlier) run.skip.push_back(outcome.name);
  std::unique_ptr<ProgressLine> line;
  if (context.ShowsProgress()) {
    line = std::make_unique<ProgressLine>(StandardErrorIsTerminal());
    run.progress = [&](const app::FleetProgress& progress) { line->Draw(progress); };
  }
  run.ended = [&](const app::LocationOutcome& outcome) {
    if (work != app::FleetWork::kBatch) return;
    try {
      app::RecordFinished(state_file, outcome);
    } catch (const Error& e) {
      // The location is done all the same; only a resumed run would run
      // it again, which changes nothing.
      std::cerr << "actualiz-cli fleet: cannot record that " << TerminalSafe(outcome.name)
                << " is done: " << TerminalSafe(e.Text()) << "\n";
    }
  };
  std::vector<app::LocationOutcome> outcomes = app::RunFleet(fleet, run);
  if (line) line->End();
  app::ShowEarlierOutcomes(outcomes, earlier);
  const int signal = context.stop != nullptr ? context.stop->load() : 0;
  if (options.json_file != "-") {
    WriteText(std::cout, fleet, work, outcomes);
    if (signal != 0) {
      std::cout << "\nInterrupted by " << (signal == SIGINT ? "SIGINT" : "SIGTERM")
                << ": no further location was started, and the running ones stopped between "
                   "two databases. Run again with --resume to finish.\n";
    }
  }
  if (!options.json_file.empty()) {
    WriteJsonReport(context, options.json_file, ReportJson(fleet, work, outcomes, signal));
  }
  return ExitStatus(work, outcomes, signal);
}

void AddFleetCommand(CLI::App& app, CliContext& context) {
  auto options = std::make_shared<FleetOptions>();
  CLI::App* command = app.add_subcommand(
      "fleet", "Bring every data location of a fleet file up to its models, several at once");
  command->add_option("FILE", options->file, "The fleet file (JSON) listing the data locations")
      ->required();
  command
      ->add_option("--jobs", options->jobs,
                   "How many locations run at once (default: the number of cores; four times that "
                   "when every location is on a server)")
      ->check(CLI::PositiveNumber);
  command->add_flag("--no-backup", options->no_backup,
                    "Do not back up the databases before changing them");
  command->add_flag("--resume", options->resume,
                    "Run only the locations an earlier run of this fleet file did not finish");
  CLI::Option* check = command->add_flag(
      "--check", options->check,
      "Exit 0 when every location is up to date, 2 when the batch would change one");
  CLI::Option* plan =
      command->add_flag("--plan", options->plan, "Show what the batch would do at each location");
  check->excludes(plan);
  command->get_option("--resume")->excludes(check)->excludes(plan);
  command->get_option("--no-backup")->excludes(check)->excludes(plan);
  AddJsonReportOption(*command, options->json_file,
                      "Also write the fleet's report as JSON to FILE; '-' writes it to standard "
                      "output instead of the text report");
  command->callback([&context, options] {
    const platform::StopSignals signals;
    context.stop = &platform::StopSignals::Flag();
    context.exit_status = RunFleetCommand(context, *options);
    context.stop = nullptr;
  });
}

}  // namespace

ACTUALIZ_COMMAND(AddFleetCommand);

}  // namespace actualiz::cli
