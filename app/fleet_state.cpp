#include "app/fleet_state.h"

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

}  // namespace actualiz::app
