// Hand-off files: databases whose whole contents every run empties and
// writes again (the catalogues through which the index, relation and query
// chains pass what they carry from a model to a target).
//
// Their commits stay whole: the rollback journal still lets the next opener
// undo a change a killed process left half-done. What they give up is the
// wait for the disk at every commit (synchronous=OFF): after an operating
// system crash or power cut the last commits may be lost or the file
// damaged, which the next capture would have overwritten anyway. Every
// other database keeps synchronous=FULL, each change on disk when its call
// returns.
//
// The choice is per process and per path: it applies to the connections
// opened after the call, and other processes open the file as usual. It
// changes nothing on disk, so a program that does not know of it opens the
// file as before.
#pragma once

#include <string>

namespace actualiz::engine {

// Marks the file at `host_path` (which need not exist yet) as a hand-off
// file for the rest of the process. Paths are compared after resolving
// links, "." and "..".
void SetHandOff(const std::string& host_path);

// True when `host_path` names a file marked by SetHandOff.
bool IsHandOff(const std::string& host_path);

}  // namespace actualiz::engine
