// What a fleet run has finished, kept beside the fleet file so that a run
// cut short (a kill, a reboot) can be resumed: "FILE.state" holds, as JSON,
// the outcome of every location whose batch ran through ("done"). The file
// is written whole after each such location (built beside, written to the
// disk, renamed over the old one), so a kill at any moment leaves the last
// state or the one before it, never half of one.
#pragma once

#include <string>
#include <vector>

#include "app/run_fleet.h"

namespace actualiz::app {

// The state file of the fleet file at `fleet_file` (a host path).
std::string FleetStatePath(const std::string& fleet_file);

// The outcomes recorded in the state file at `path`; none when there is no
// such file. Error 3001 naming it when it is not a state file.
std::vector<LocationOutcome> ReadFleetState(const std::string& path);

// Records `finished` as the whole state at `path`. Error 70 or 76 naming it
// when it cannot be written.
void WriteFleetState(const std::string& path, const std::vector<LocationOutcome>& finished);

}  // namespace actualiz::app
