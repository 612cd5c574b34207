// The fleet file: the data locations one fleet run brings up to their models.
//
//   {"locations": [
//     {"name": "norte", "data": "c:\\datos", "drive": {"c": "/srv/norte/c"},
//      "program-dir": "c:\\prog"},
//     {"name": "sur", "data": "postgresql://u@/db?host=/tmp/s"}]}
//
// Each location takes the keys of the command line's options: "data" (a
// Windows path on a mapped drive, a host path, or a server location),
// "drive" (letter -> host directory) and "program-dir"; "name" (optional,
// the data location as written when left out) names it in the reports and
// the state of a resumed run. A location without "drive" or "program-dir"
// takes the command line's. A relative host path (a drive's directory, the
// data, the program directory) is taken from the fleet file's folder.
//
// Refused, naming the location, before anything runs: a key that is not
// one of these, a name given twice, and one data location given twice
// under different spellings (a host path and the mapped Windows path of
// the same folder, a server location written two ways).
#pragma once

#include <string>
#include <vector>

#include "base/error.h"

namespace actualiz::app {

struct FleetLocation {
  std::string name;
  std::string data;                 // as the window takes it (app/run_batch.h)
  std::vector<std::string> drives;  // "LETTER=DIR" each, host directories made absolute
  std::string program_dir;          // "" for the command line's own
  std::string identity;             // the folder or the server location it is, in one spelling
};

struct Fleet {
  std::string file;  // the fleet file's host path, absolute
  std::vector<FleetLocation> locations;
};

// The command line's options a location falls back on.
struct FleetDefaults {
  std::vector<std::string> drives;
  std::string program_dir;
};

// Reads the fleet file at `path`. Error 3001 "Invalid argument" saying what
// is wrong (and naming the location) for a file that is no fleet file as
// above; 3024 when it cannot be read.
Fleet ReadFleetFile(const std::string& path, const FleetDefaults& defaults);

}  // namespace actualiz::app
