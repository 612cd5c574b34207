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

// The locations of `fleet` its state file records as done, those no longer
// in the fleet file left out: what a resumed run passes over. Errors as
// ReadFleetState.
std::vector<LocationOutcome> FinishedLocations(const Fleet& fleet);

// Starts the state of a batch run of `fleet` and gives the locations it
// passes over: when `resume`, FinishedLocations; otherwise none, so that the
// state starts afresh. Either way that is written as the whole state. Errors
// as ReadFleetState and WriteFleetState.
std::vector<LocationOutcome> StartFleetState(const Fleet& fleet, bool resume);

// Adds `outcome` to `finished` and records the whole at `path` when it is
// "done"; any other outcome is not recorded. Errors as WriteFleetState.
void RecordFinished(const std::string& path, std::vector<LocationOutcome>& finished,
                    const LocationOutcome& outcome);

// Each location of `outcomes` a run passed over because `earlier` had
// finished it ("not started" there) shows its earlier outcome, marked so.
void ShowEarlierOutcomes(std::vector<LocationOutcome>& outcomes,
                         const std::vector<LocationOutcome>& earlier);

}  // namespace actualiz::app
