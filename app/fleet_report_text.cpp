#include "app/fleet_report_text.h"

#include "base/terminal_text.h"

namespace actualiz::app {

const char* FleetWorkName(FleetWork work) {
  switch (work) {
    case FleetWork::kBatch:
      return "batch";
    case FleetWork::kPlan:
      return "plan";
    case FleetWork::kCheck:
      return "check";
  }
  return "batch";
}

std::string FleetSeconds(double seconds) {
  return std::to_string(static_cast<long long>(seconds + 0.5)) + " s";
}

std::string FleetProgressCounts(const FleetProgress& progress) {
  return std::to_string(progress.done) + "/" + std::to_string(progress.total) + " done, " +
         std::to_string(progress.running) + " running, " + std::to_string(progress.failed) +
         " failed";
}

std::string FleetProgressText(const FleetProgress& progress) {
  std::string text = FleetProgressCounts(progress);
  if (!progress.slowest.empty()) {
    text += "; slowest: " + TerminalSafe(progress.slowest) + " (" +
            FleetSeconds(progress.slowest_seconds) + ")";
  }
  return text;
}

std::string FleetTotalsText(const FleetTotals& totals) {
  if (!totals.Present()) return "";
  auto count = [&](const char* key) { return std::to_string(totals.Count(key)); };
  return count("pairs") + " pairs, " + count("updated") + " updated, " + count("upToDate") +
         " up to date, " + count("copied") + " copied, " + count("failures") + " failures";
}

}  // namespace actualiz::app
