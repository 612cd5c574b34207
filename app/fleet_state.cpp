#include "app/fleet_state.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/file_system.h"

namespace actualiz::app {

namespace fs = std::filesystem;

std::string FleetStatePath(const std::string& fleet_file) { return fleet_file + ".state"; }

std::vector<LocationOutcome> ReadFleetState(const std::string& path) {
  std::vector<LocationOutcome> finished;
  std::error_code ec;
  if (!fs::exists(path, ec)) return finished;
  std::ifstream in(path, std::ios::binary);
  try {
    const nlohmann::json state = nlohmann::json::parse(in);
    for (const nlohmann::json& location : state.at("finished")) {
      finished.push_back(LocationOutcome::FromJson(location));
    }
  } catch (const nlohmann::json::exception& e) {
    throw Error(err::kInvalidArgument,
                "the fleet's state file " + path + " cannot be read: " + e.what() +
                    "; remove it to run the whole fleet again",
                path);
  }
  return finished;
}

void WriteFleetState(const std::string& path, const std::vector<LocationOutcome>& finished) {
  nlohmann::json state = {{"finished", nlohmann::json::array()}};
  for (const LocationOutcome& outcome : finished) state["finished"].push_back(outcome.Json());
  platform::FileBuiltBeside built(path);
  {
    std::ofstream out(built.Path(), std::ios::binary | std::ios::trunc);
    out << state.dump(2) << "\n";
    out.close();
    if (!out) throw MakeError(err::kPermissionDenied, "the fleet's state file " + path);
  }
  built.PlaceOver();
}

std::vector<LocationOutcome> FinishedLocations(const Fleet& fleet) {
  std::vector<LocationOutcome> finished = ReadFleetState(FleetStatePath(fleet.file));
  // What an earlier run recorded of a location no longer in the file has
  // nothing to resume.
  std::erase_if(finished, [&](const LocationOutcome& outcome) {
    return outcome.state != "done" ||
           std::none_of(fleet.locations.begin(), fleet.locations.end(),
                        [&](const FleetLocation& l) { return l.name == outcome.name; });
  });
  return finished;
}

std::vector<LocationOutcome> StartFleetState(const Fleet& fleet, bool resume) {
  std::vector<LocationOutcome> finished;
  if (resume) finished = FinishedLocations(fleet);
  WriteFleetState(FleetStatePath(fleet.file), finished);
  return finished;
}

void RecordFinished(const std::string& path, std::vector<LocationOutcome>& finished,
                    const LocationOutcome& outcome) {
  if (outcome.state != "done") return;
  finished.push_back(outcome);
  WriteFleetState(path, finished);
}

void ShowEarlierOutcomes(std::vector<LocationOutcome>& outcomes,
                         const std::vector<LocationOutcome>& earlier) {
  for (LocationOutcome& outcome : outcomes) {
    if (outcome.state != "not started") continue;
    for (const LocationOutcome& done : earlier) {
      if (done.name != outcome.name) continue;
      outcome = done;
      outcome.earlier = true;
    }
  }
}

}  // namespace actualiz::app
