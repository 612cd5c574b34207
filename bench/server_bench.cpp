// The server bench: one line of bench/run.sh --server. Over a drive laid out
// by actualiz-bench-generate, it starts a PostgreSQL server of its own (as
// the tests do, tests/support/pg_server.h), loads the customer databases as
// schemas of one server database and a copy of that database for the floor,
// then times
//   the batch: `actualiz-cli batch --data URL --no-backup` over the first
//     database (the floor makes no backups either), and
//   the floor: for each schema, the same changes in one transaction straight
//     through psql (`psql -X -q --single-transaction -f`, the scripts written
//     beforehand by bench/pg_floor_script.cpp),
// each as wall clock and CPU: the client's (from /usr/bin/time -v) and the
// server's (its processes' user and system time from /proc, before and
// after). It checks that the first schema ends with the same description
// (the engine's own tables included) both ways, and prints one line:
//   rows pairs batch_ms/pair floor_ms/pair ratio batch_cpu_ms/p batch_srv_ms/p
//   floor_cpu_ms/p floor_srv_ms/p same
// (the cpu columns are client plus server, the srv columns the server's part).
//
// Usage: actualiz-bench-server --drive DIR --cli ACTUALIZ_CLI --rows R
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "base/error.h"
#include "base/server_address.h"
#include "bench/failure.h"
#include "bench/pg_floor_script.h"
#include "bench/server_support.h"
#include "engine/description/description.h"
#include "engine/engine.h"
#include "tests/support/pg_server.h"
#include "tests/support/program_run.h"

namespace fs = std::filesystem;
using namespace actualiz;
using testing::PgServer;

namespace {

constexpr const char* kPsql = "/usr/lib/postgresql/15/bin/psql";

nlohmann::json SystemDescription(const std::string& address) {
  engine::Session session;
  engine::DatabasePtr db = engine::OpenDatabase(session, address);
  nlohmann::json description = engine::Describe(*db, {.system = true});
  db->Close();
  return description;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Times the batch over a server database against the psql floor"};
  std::string drive, cli;
  int rows = 0;
  app.add_option("--drive", drive, "a directory laid out by actualiz-bench-generate")->required();
  app.add_option("--cli", cli, "the actualiz-cli to time")->required();
  app.add_option("--rows", rows, "rows a table (for the line printed)");
  CLI11_PARSE(app, argc, argv);

  try {
    const bench::BenchDrive site = bench::ReadBenchDrive(drive);
    const fs::path& root = site.root;
    const fs::path& data = site.data;
    const std::vector<std::string>& files = site.files;
    const int n = static_cast<int>(files.size());

    PgServer& server = PgServer::Get();
    const std::string location = server.FreshDatabase();
    const std::string database = ParseServerAddress(location)->database;
    double start = bench::Now();
    bench::LoadSchemas(data, files, location);
    std::fprintf(stderr, "loaded %d schemas in %.1f s\n", n, bench::Now() - start);
    server.Run("postgres", "CREATE DATABASE floor TEMPLATE " + database);
    std::string floor = location;
    floor.replace(floor.find("/" + database + "?"), database.size() + 1, "/floor");

    const fs::path scripts = root / "floor-sql";
    fs::create_directories(scripts);
    testing::Words floor_run = {"/usr/bin/time",
                                "-v",
                                "-o",
                                (root / "floor.time").string(),
                                "/bin/sh",
                                "-c",
                                "for f; do " + std::string(kPsql) +
                                    " -X -q --single-transaction -v ON_ERROR_STOP=1 -d \"$CONN\" "
                                    "-f \"$f\" || exit 1; done",
                                "floor"};
    for (const std::string& file : files) {
      const fs::path script = scripts / (fs::path(file).stem().string() + ".sql");
      std::ofstream(script) << bench::FloorScript((root / "c" / "prog" / "modelos" / file).string(),
                                                  ServerDatabasePath(floor, file),
                                                  server.ConnInfo("floor"));
      floor_run.push_back(script.string());
    }

    const int pid = server.ServerProcess();
    double server_before = bench::ServerSeconds(pid);
    start = bench::Now();
    const testing::ProgramRun batch = testing::RunProgram(
        {"/usr/bin/time", "-v", "-o", (root / "batch.time").string(), cli, "--drive",
         "c=" + (root / "c").string(), "--program-dir", (root / "c" / "prog").string(), "batch",
         "--data", location, "--no-backup", "--json", (root / "report.json").string()},
        testing::ProgramSetting().Together());
    const double batch_s = bench::Now() - start;
    const double batch_server_s = bench::ServerSeconds(pid) - server_before;
    std::ofstream(root / "batch.log") << batch.out;
    if (batch.status != 0) {
      std::fprintf(stderr, "batch ended with status %d; see %s\n", batch.status,
                   (root / "batch.log").c_str());
    }

    server_before = bench::ServerSeconds(pid);
    start = bench::Now();
    const testing::ProgramRun psql = testing::RunProgram(
        floor_run, testing::ProgramSetting().Together().Set("CONN=" + server.ConnInfo("floor")));
    const double floor_s = bench::Now() - start;
    const double floor_server_s = bench::ServerSeconds(pid) - server_before;
    if (psql.status != 0) throw std::runtime_error("the floor failed: " + psql.out);

    const std::string first = fs::path(files.front()).string();
    const bool same = SystemDescription(ServerDatabasePath(location, first)) ==
                      SystemDescription(ServerDatabasePath(floor, first));
    const double batch_ms = 1000 * batch_s / n;
    const double floor_ms = 1000 * floor_s / n;
    std::printf("%-7d %-6d %14.2f %14.2f %7.2f %14.2f %14.2f %14.2f %14.2f %5s\n", rows, n,
                batch_ms, floor_ms, batch_ms / floor_ms,
                1000 * (bench::ClientSeconds(root / "batch.time") + batch_server_s) / n,
                1000 * batch_server_s / n,
                1000 * (bench::ClientSeconds(root / "floor.time") + floor_server_s) / n,
                1000 * floor_server_s / n, same ? "yes" : "no");
    return 0;
  } catch (...) {
    return bench::ReportFailure();
  }
}
