#include "app/fleet_state.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include "platform/file_system.h"

namespace actualiz::app {

namespace fs = std::filesystem;

std::string FleetStatePath(const std::string& fleet_file) { return fleet_file + ".state"; }

namespace {

std::string StateLine(const LocationOutcome& outcome) { return outcome.Json().dump() + "\n"; }

Error UnreadableState(const std::string& path, const std::string& why) {
  return Error(err::kInvalidArgument,
               "the fleet's state file " + path + " cannot be read: " + why +
                   "; remove it to run the whole fleet again",
               path);
}

// The earlier shape: {"finished": [outcome, ...]}, written whole.
bool ReadWholeState(const std::string& path, const std::string& text,
                    std::vector<LocationOutcome>& finished) {
  const nlohmann::json state = nlohmann::json::parse(text, nullptr, false);
  if (!state.is_object() || !state.contains("finished")) return false;
  try {
    for (const nlohmann::json& location : state.at("finished")) {
      finished.push_back(LocationOutcome::FromJson(location));
    }
  } catch (const nlohmann::json::exception& e) {
    throw UnreadableState(path, e.what());
  }
  return true;
}

}  // namespace

std::vector<LocationOutcome> ReadFleetState(const std::string& path) {
  std::vector<LocationOutcome> finished;
  std::error_code ec;
  if (!fs::exists(path, ec)) return finished;
  std::ifstream in(path, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in.good() && !in.eof()) throw UnreadableState(path, "it cannot be read from the disk");
  if (ReadWholeState(path, text, finished)) return finished;
  size_t start = 0;
  for (size_t number = 1;; ++number) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) break;  // a last line a kill cut short
    const std::string_view line(text.data() + start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    try {
      finished.push_back(LocationOutcome::FromJson(nlohmann::json::parse(line)));
    } catch (const nlohmann::json::exception& e) {
      throw UnreadableState(path, "line " + std::to_string(number) + ": " + e.what());
    }
  }
  return finished;
}

void WriteFleetState(const std::string& path, const std::vector<LocationOutcome>& finished) {
  platform::FileBuiltBeside built(path);
  {
    std::ofstream out(built.Path(), std::ios::binary | std::ios::trunc);
    for (const LocationOutcome& outcome : finished) out << StateLine(outcome);
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

void RecordFinished(const std::string& path, const LocationOutcome& outcome) {
  if (outcome.state != "done") return;
  if (!platform::AppendDurably(path, StateLine(outcome))) {
    throw MakeError(err::kPermissionDenied, "the fleet's state file " + path);
  }
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
