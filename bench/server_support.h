// What the server benches share: the server's and a client's CPU time, the
// clock, and loading a drive's customer databases as schemas of a server
// database.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace actualiz::bench {

// The server's CPU seconds so far: its main process, the connections it
// served and has reaped, and the processes it runs now.
double ServerSeconds(int server);

// User plus system seconds /usr/bin/time -v wrote to `time_file`.
double ClientSeconds(const std::filesystem::path& time_file);

// Peak resident memory in MiB /usr/bin/time -v wrote to `time_file`.
double PeakMiB(const std::filesystem::path& time_file);

double Now();

// A drive laid out by actualiz-bench-generate: its root, its data directory
// and the customer databases' file names there, sorted.
struct BenchDrive {
  std::filesystem::path root;
  std::filesystem::path data;
  std::vector<std::string> files;
};

// The drive at `drive`; throws when its data directory holds no database.
BenchDrive ReadBenchDrive(const std::string& drive);

// Each customer file as a schema of `location`, its changes stored together.
void LoadSchemas(const std::filesystem::path& data, const std::vector<std::string>& files,
                 const std::string& location);

}  // namespace actualiz::bench
