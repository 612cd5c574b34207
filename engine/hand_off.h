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
// The choice is per session and per path (Session::SetHandOff): it applies
// to the connections the session opens after the call; other sessions and
// other processes open the file as usual. It changes nothing on disk, so a
// program that does not know of it opens the file as before.
#pragma once

#include <map>
#include <set>
#include <string>

namespace actualiz::engine {

// The hand-off files of one session.
class HandOffPaths {
 public:
  // Marks `host_path` (which need not exist yet). Paths are compared after
  // resolving links, "." and "..". Marking a path again as it was spelled
  // before does nothing: the window marks each catalogue at every open.
  void Mark(const std::string& host_path);
  // True when `host_path` names a marked file.
  bool Contains(const std::string& host_path) const;

 private:
  std::set<std::string> paths_;    // resolved
  std::set<std::string> spelled_;  // as the callers of Mark spelled them
  // The answer given for each path asked about since the last Mark, as the
  // caller spelled it. A link changed meanwhile is not seen: a session
  // spans one run.
  mutable std::map<std::string, bool> answers_;
};

}  // namespace actualiz::engine
