// The command line on a data directory held on a PostgreSQL server: the
// demo's customer databases as schemas of a database of the test server,
// against the same demo on files.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "base/server_address.h"
#include "engine/postgres/pg_run_lock.h"
#include "tests/support/demo_site.h"
#include "tests/support/pg_server.h"
#include "tests/support/server_site.h"

namespace actualiz::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class ServerData : public ::testing::Test {
 protected:
  // The server's copy is made before anything runs on the files.
  ServerData() : location(ParseServerAddress(CopyToServer(site.Data()))->Display()) {}

  // The demo's paths in `text` written as the server's: each database's
  // Windows path as its schema's address, the data directory as the location.
  std::string AsOnServer(std::string text) const {
    std::vector<std::pair<std::string, std::string>> names;
    for (const fs::path& folder : {site.Data(), site.Models()}) {
      for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".mdb") {
          names.emplace_back("c:\\datos\\" + name, ServerDatabasePath(location, name));
        }
      }
    }
    names.emplace_back("c:\\datos", location);
    for (const auto& [path, address] : names) {
      for (size_t at = text.find(path); at != std::string::npos;
           at = text.find(path, at + address.size())) {
        text.replace(at, path.size(), address);
      }
    }
    return text;
  }

  json AsOnServer(const json& value) const {
    if (value.is_string()) return AsOnServer(value.get<std::string>());
    if (!value.is_structured()) return value;
    json out = value;
    for (auto& [key, item] : out.items()) item = AsOnServer(item);
    return out;
  }

  ProgramRun OnFiles(const std::string& command, const Words& extra = {}) const {
    return site.Cli(Joined({command, "--data", "c:\\datos"}, extra));
  }
  ProgramRun OnServer(const std::string& command, const Words& extra = {}) const {
    return site.Cli(Joined({command, "--data", location}, extra));
  }

  DemoSite site;
  const std::string location;
};

// The same demo, once on files and once on the server: the same report but
// for the paths, and the same databases afterwards, rows and all.
TEST_F(ServerData, TheDemoOnAServerGivesTheSameReportAndTheSameDatabasesAsOnFiles) {
  const std::string file_report = site.Scratch("files.json");
  const std::string server_report = site.Scratch("server.json");
  const ProgramRun files = OnFiles("batch", {"--no-backup", "--json", file_report});
  ASSERT_EQ(files.status, 0) << files.out;
  const ProgramRun server = OnServer("batch", {"--no-backup", "--json", server_report});
  ASSERT_EQ(server.status, 0) << server.out;

  EXPECT_EQ(AsOnServer(files.out), server.out);
  EXPECT_EQ(AsOnServer(json::parse(ReadFile(file_report))), json::parse(ReadFile(server_report)));
  EXPECT_NE(server.out.find("copied to " + ServerDatabasePath(location, "tarifas.mdb")),
            std::string::npos)
      << server.out;
  const ProgramRun check = OnServer("check");
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_NE(check.out.find("Nothing to do"), std::string::npos) << check.out;

  // The fixed migrations, run after it, alike on both.
  for (const char* table : {"pomerd", "histoprod"}) {
    const ProgramRun on_files = OnFiles("migrate", {table});
    EXPECT_EQ(on_files.status, 0) << on_files.out;
    const ProgramRun on_server = OnServer("migrate", {table});
    EXPECT_EQ(on_server.status, 0) << on_server.out;
    EXPECT_EQ(AsOnServer(on_files.out), on_server.out);
  }
  EXPECT_EQ(FileStructures(site.Data(), true), ServerStructures(location, true));
}

// plan and check read the server's databases and never change them; they
// name the databases by their addresses.
TEST_F(ServerData, PlanAndCheckOnAServerReadAsOnFilesAndChangeNothing) {
  const json before = ServerStructures(location, true);
  const std::string file_plan = site.Scratch("files.json");
  const std::string server_plan = site.Scratch("server.json");
  const ProgramRun files = OnFiles("plan", {"--json", file_plan});
  ASSERT_EQ(files.status, 0) << files.out;
  const ProgramRun server = OnServer("plan", {"--json", server_plan});
  ASSERT_EQ(server.status, 0) << server.out;
  EXPECT_EQ(AsOnServer(files.out), server.out);
  EXPECT_EQ(AsOnServer(json::parse(ReadFile(file_plan))), json::parse(ReadFile(server_plan)));
  EXPECT_NE(server.out.find("Plan for " + location + ":"), std::string::npos) << server.out;
  EXPECT_EQ(OnServer("check").status, 2);
  EXPECT_EQ(ServerStructures(location, true), before);
}

// A data directory on a server that cannot be used stops every command
// before anything runs, naming the server and the database.
TEST_F(ServerData, AServerOrDatabaseThatCannotBeUsedStopsBeforeAnythingRuns) {
  const std::string socket = PgServer::Get().SocketDirectory();
  const std::string missing_database = "postgresql://actualiz@/no_such_db?host=" + socket;
  const std::string no_server = "postgresql://actualiz@/site1?host=" + site.Scratch("no-server");
  const struct {
    std::string data;
    std::vector<std::string> says;
  } cases[] = {
      {missing_database, {"3151", "no_such_db"}},
      {no_server, {"3151", "site1", "no-server"}},
      {ServerDatabasePath(location, "clientes.mdb"), {"3044", "clientes.mdb"}},
      {"postgresql://actualiz:secret@/site1?host=" + socket, {"3044", "PGPASSWORD"}},
  };
  const json before = ServerStructures(location, true);
  for (const auto& c : cases) {
    for (const char* command : {"batch", "plan", "check", "migrate"}) {
      SCOPED_TRACE(c.data + " " + command);
      const Words arguments = std::string(command) == "migrate"
                                  ? Words{"migrate", "pomerd", "--data", c.data}
                                  : Words{command, "--data", c.data};
      const ProgramRun run = site.Cli(arguments);
      EXPECT_EQ(run.status, 1) << run.out;
      for (const std::string& said : c.says) {
        EXPECT_NE(run.out.find(said), std::string::npos) << said << "\n" << run.out;
      }
      EXPECT_EQ(run.out.find("secret"), std::string::npos) << run.out;
      EXPECT_EQ(run.out.find("Proceso Terminado"), std::string::npos) << run.out;
    }
  }
  EXPECT_EQ(ServerStructures(location, true), before);
}

// A schema holding an object the engine does not make fails its own pair,
// in the plan as in the batch; the other pairs run.
TEST_F(ServerData, ASchemaThatIsNotOursFailsItsPairOnly) {
  const std::string database = ParseServerAddress(location)->database;
  PgServer::Get().Run(database, "CREATE VIEW stock.vista AS SELECT 1 AS uno");
  const ProgramRun plan = OnServer("plan");
  EXPECT_EQ(plan.status, 1) << plan.out;
  EXPECT_NE(plan.out.find("stock.mdb: failed"), std::string::npos) << plan.out;
  EXPECT_NE(plan.out.find("clientes.mdb: would be updated"), std::string::npos) << plan.out;
  const std::string report = site.Scratch("server.json");
  const ProgramRun run = OnServer("batch", {"--no-backup", "--json", report});
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.out.find("stock.mdb: failed"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("vista"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("clientes.mdb: updated"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("tarifas.mdb: copied"), std::string::npos) << run.out;
  const json entries = json::parse(ReadFile(report))["databases"];
  for (const json& entry : entries) {
    if (entry["name"] != "stock.mdb") continue;
    ASSERT_FALSE(entry["failures"].empty());
    EXPECT_EQ(entry["failures"][0]["number"], 3343);
    EXPECT_TRUE(entry["changes"].empty()) << entry.dump(2);
  }
}

// Two runs on one data directory on a server never interleave: one that
// finds it locked waits, then names the holder and the location, and
// changes nothing; plan waits for a run that changes it.
TEST_F(ServerData, ARunOnALockedServerLocationWaitsThenNamesTheHolder) {
  const json before = ServerStructures(location, true);
  const std::string holder =
      "actualiz-cli batch (process " + std::to_string(getpid()) + ", started";
  {
    const engine::PgRunLock held(location, true, std::chrono::milliseconds(0),
                                 "actualiz-cli batch");
    for (const char* command : {"batch", "plan"}) {
      SCOPED_TRACE(command);
      const ProgramRun run = site.Cli({"--wait", "0.2", command, "--data", location});
      EXPECT_EQ(run.status, 1) << run.out;
      EXPECT_NE(run.out.find("3260"), std::string::npos) << run.out;
      EXPECT_NE(run.out.find(holder), std::string::npos) << run.out;
      EXPECT_NE(run.out.find(location), std::string::npos) << run.out;
    }
    EXPECT_EQ(ServerStructures(location, true), before);
    // Another address of the same database is the same data directory.
    const ProgramRun other =
        site.Cli({"--wait", "0.2", "batch", "--data", location + "&application_name=otra"});
    EXPECT_EQ(other.status, 1) << other.out;
  }
  // Let go, the same location is had at once.
  const ProgramRun free = site.Cli({"--wait", "0.2", "migrate", "pomerd", "--data", location});
  EXPECT_EQ(free.status, 0) << free.out;
}

}  // namespace
}  // namespace actualiz::testing
