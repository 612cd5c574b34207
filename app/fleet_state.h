// What a fleet run has finished, kept beside the fleet file so that a run
// cut short (a kill, a reboot) can be resumed: "FILE.state" holds one line
// of JSON, the location's outcome, for every location whose batch ran
// through ("done"). A run starts the file whole (built beside, written to
// the disk, renamed over the old one), then appends a line as each location
// ends and writes it to the disk: the run keeps nothing of its finished
// locations in memory for the file, and a kill at any moment leaves every
// line before the last whole. A last line a kill cut short (it has no line
// end) is not counted, so that location runs again, which changes nothing.
// A state file of the earlier shape, one JSON object whose "finished" array
// holds the outcomes, is still read.
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

// Appends `outcome` to the state at `path` when it is "done"; any other
// outcome is not recorded. Error 70 naming the file when it cannot be
// written.
void RecordFinished(const std::string& path, const LocationOutcome& outcome);

// Each location of `outcomes` a run passed over because `earlier` had
// finished it ("not started" there) shows its earlier outcome, marked so.
void ShowEarlierOutcomes(std::vector<LocationOutcome>& outcomes,
                         const std::vector<LocationOutcome>& earlier);

}  // namespace actualiz::app
