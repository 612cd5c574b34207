// The fleet bench on a server: lines of bench/run.sh --fleet --server. Over
// a drive laid out by actualiz-bench-generate (--for-server), it starts a
// PostgreSQL server of its own, loads the customer databases as schemas of
// one server database, and for each jobs count J makes F fresh copies of
// that database (one a location) and times
//   `actualiz-cli fleet FILE --jobs J --no-backup --quiet`
// over them: wall clock, the client's and the server's CPU, the client's
// peak memory. Every location reads its models and catalogues from the
// drive (a private copy of the catalogues each). It prints one line a jobs
// count:
//   rows pairs locs jobs fleet_ms/pair ratio_j1 client_cpu_ms/p server_cpu_ms/p
//   peak_MiB status
//
// Usage: actualiz-bench-server-fleet --drive DIR --cli ACTUALIZ_CLI --rows R
//                                    --locations F --jobs 1,2,4
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "base/server_address.h"
#include "bench/failure.h"
#include "bench/server_support.h"
#include "tests/support/pg_server.h"
#include "tests/support/program_run.h"

namespace fs = std::filesystem;
using namespace actualiz;
using testing::PgServer;

namespace {

// `location` with its database renamed `database`.
std::string OnDatabase(std::string location, const std::string& database) {
  const std::string old = ParseServerAddress(location)->database;
  location.replace(location.find("/" + old + "?"), old.size() + 1, "/" + database);
  return location;
}

// F fresh copies of `base` for a run with `jobs` jobs; their locations.
std::vector<std::string> CopyLocations(PgServer& server, const std::string& base, int count,
                                       int jobs) {
  const std::string base_name = ParseServerAddress(base)->database;
  std::vector<std::string> locations;
  for (int f = 0; f < count; ++f) {
    const std::string name = "j" + std::to_string(jobs) + "_l" + std::to_string(f);
    server.Run("postgres", "CREATE DATABASE " + name + " TEMPLATE " + base_name);
    locations.push_back(OnDatabase(base, name));
  }
  return locations;
}

void DropLocations(PgServer& server, const std::vector<std::string>& locations) {
  for (const std::string& location : locations) {
    server.Run("postgres", "DROP DATABASE " + ParseServerAddress(location)->database);
  }
}

void WriteFleetFile(const fs::path& file, const fs::path& root,
                    const std::vector<std::string>& locations) {
  nlohmann::json fleet = {{"locations", nlohmann::json::array()}};
  for (size_t f = 0; f < locations.size(); ++f) {
    fleet["locations"].push_back({{"name", "l" + std::to_string(f)},
                                  {"data", locations[f]},
                                  {"drive", {{"c", (root / "c").string()}}},
                                  {"program-dir", (root / "c" / "prog").string()}});
  }
  std::ofstream(file) << fleet.dump(2);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Times a fleet of server locations with several jobs counts"};
  std::string drive, cli;
  int rows = 0;
  int count = 4;
  std::vector<int> jobs_counts = {1, 2, 4};
  app.add_option("--drive", drive, "a directory laid out by actualiz-bench-generate")->required();
  app.add_option("--cli", cli, "the actualiz-cli to time")->required();
  app.add_option("--rows", rows, "rows a table (for the lines printed)");
  app.add_option("--locations", count, "locations in the fleet");
  app.add_option("--jobs", jobs_counts, "jobs counts to time")->delimiter(',');
  CLI11_PARSE(app, argc, argv);

  try {
    const bench::BenchDrive site = bench::ReadBenchDrive(drive);
    const fs::path& root = site.root;
    const int n = static_cast<int>(site.files.size());
    PgServer& server = PgServer::Get();
    const std::string base = server.FreshDatabase();
    bench::LoadSchemas(site.data, site.files, base);
    const int pid = server.ServerProcess();
    double one_s = 0;
    for (const int jobs : jobs_counts) {
      const std::vector<std::string> locations = CopyLocations(server, base, count, jobs);
      const fs::path fleet = root / ("fleet-j" + std::to_string(jobs) + ".json");
      WriteFleetFile(fleet, root, locations);
      const fs::path time_file = root / ("fleet-j" + std::to_string(jobs) + ".time");
      const double server_before = bench::ServerSeconds(pid);
      const double start = bench::Now();
      const testing::ProgramRun run = testing::RunProgram(
          {"/usr/bin/time", "-v", "-o", time_file.string(), cli, "fleet", fleet.string(), "--jobs",
           std::to_string(jobs), "--no-backup", "--quiet"},
          testing::ProgramSetting().Together());
      const double fleet_s = bench::Now() - start;
      const double server_s = bench::ServerSeconds(pid) - server_before;
      std::ofstream(root / ("fleet-j" + std::to_string(jobs) + ".log")) << run.out;
      if (one_s == 0) one_s = fleet_s;
      const double pairs = static_cast<double>(n) * count;
      std::printf("%-7d %-6d %-5d %-5d %14.2f %9.2f %15.2f %15.2f %9.1f %7d\n", rows, n, count,
                  jobs, 1000 * fleet_s / pairs, fleet_s / one_s,
                  1000 * bench::ClientSeconds(time_file) / pairs, 1000 * server_s / pairs,
                  bench::PeakMiB(time_file), run.status);
      std::fflush(stdout);
      DropLocations(server, locations);
    }
    return 0;
  } catch (...) {
    return bench::ReportFailure();
  }
}
