// The SQLite library's process-wide settings, made once before its first
// use.
#pragma once

namespace actualiz::engine {

// Turns off SQLite's memory statistics, which take one process-wide lock at
// every allocation: with several locations of a fleet running at once, their
// threads spent more time waiting for that lock than working (a fleet of
// four locations took longer two at a time than one at a time). Nothing in
// the program reads those statistics. Call before any other use of SQLite;
// later calls do nothing.
void ConfigureSqliteLibrary();

}  // namespace actualiz::engine
