// A storage that fails on purpose, for tests of what a failure leaves.
//
// FailingStorage wraps the standard storage of a file (the real SQLite one)
// and fails one chosen operation with a chosen Error, as the engine reports
// a full disk, say:
//   - kChange: the Nth change to the structure fails before any of it is
//     made;
//   - kInsert: the Nth row added fails before it is stored;
//   - kCommit: the Nth commit fails: a change made on its own is undone
//     whole, and changes grouped until the close are all undone when the
//     database is closed (Close raises the Error).
// Counts run over every file of the session whose host path ends with
// `file` ("" for every file; a server address is matched without its
// "?..." part). Install puts it in a session's storage
// factory; the returned plan tells how many faults were injected.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "base/error.h"
#include "engine/engine.h"

namespace actualiz::testing {

enum class Fault { kChange, kInsert, kCommit };

struct FaultPlan {
  Fault fault = Fault::kChange;
  int nth = 1;         // the Nth operation of that kind fails; 0: none
  bool every = false;  // and every one of that kind after it
  std::string file;    // only files whose host path ends with this
  // The Error raised, naming the file as the engine does; by default
  // SQLite's full disk as the engine reports it.
  int number = 3000;
  std::string text = "Reserved error (13): database or disk is full";
  // When set, runs in place of raising the Error, and the operation goes
  // on: for faults made for real (a server's connections cut, say).
  std::function<void()> instead;
  int injected = 0;  // how many operations were failed so far
  int seen = 0;      // how many operations of the kind were counted so far
};

// A plan failing every operation of kind `fault` on `file` ("" for every
// file).
inline FaultPlan FailEvery(Fault fault, std::string file = {}) {
  FaultPlan plan;
  plan.fault = fault;
  plan.every = true;
  plan.file = std::move(file);
  return plan;
}

// Makes `session` open and create every file through a FailingStorage
// following `plan` (shared with the caller, who may read or change it).
std::shared_ptr<FaultPlan> InstallFailingStorage(engine::Session& session, FaultPlan plan);

}  // namespace actualiz::testing
