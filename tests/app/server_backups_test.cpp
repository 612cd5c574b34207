// Backups of customer databases held on a server, and putting them back:
// pg_dump's files of the schemas a run changed, kept in the program
// directory, restored whole or not at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "app/backups.h"
#include "app/server_backups.h"
#include "base/server_address.h"
#include "tests/support/backup_samples.h"
#include "tests/support/db_builder.h"
#include "tests/support/error_number.h"
#include "tests/support/pg_server.h"
#include "tests/support/server_databases.h"
#include "tests/support/temp_dir.h"

namespace actualiz::app {
namespace {

namespace fs = std::filesystem;
using testing::BuildDatabase;
using testing::DescribeOnServer;
using testing::ErrorNumber;
using testing::RunOnServer;

constexpr const char* kClientes = testing::kBackupClientes;
constexpr const char* kOther = testing::kBackupOther;

std::vector<std::string> FilesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class ServerBackups : public ::testing::Test {
 protected:
  ServerBackups() : location(testing::PgServer::Get().FreshDatabase()) {
    program = temp.path() / "prog";
    fs::create_directories(program);
    BuildDatabase(Address("clientes.mdb"), kClientes);
    // A schema whose name a pattern or a statement would misread.
    BuildDatabase(Address(kOdd), kOther);
  }
  static constexpr const char* kOdd = "Otra \"*\" x';.mdb";

  std::string Address(const std::string& name) const { return ServerDatabasePath(location, name); }
  nlohmann::json Whole(const std::string& name) const { return DescribeOnServer(location, name); }

  // One more row in the schema's first table, as another program would add it.
  void AddRow(const std::string& name) {
    const nlohmann::json first = testing::DescribeFile(Address(name))["tables"][0];
    const std::string schema = ParseServerAddress(Address(name))->schema;
    auto quoted = [](std::string text) {
      std::string out = "\"";
      for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
      return out + "\"";
    };
    RunOnServer(location, "INSERT INTO " + quoted(schema) + "." +
                              quoted(first["name"].get<std::string>()) + " (" +
                              quoted(first["fields"][0]["name"].get<std::string>()) + ") VALUES (" +
                              std::to_string(++last_row) + ")");
  }

  // A run over both schemas that changes `changed` and copies in
  // `copied_in`, trimmed as batch trims it; the manifest as read back.
  BackupFolder Run(const std::vector<std::string>& changed,
                   const std::vector<std::string>& copied_in = {}) {
    BackupFolder backup =
        BackUpDatabases(location, location, {"clientes.mdb", kOdd}, now, program.string());
    for (const std::string& name : changed) AddRow(name);
    for (const std::string& name : copied_in) BuildDatabase(Address(name), kOther);
    KeepChangedOnly(backup, location, {changed.begin(), changed.end()}, copied_in);
    return ReadBackupFolder(backup.folder);
  }

  RestoreRequest Own(const BackupFolder& backup, bool force = false) const {
    RestoreRequest request;
    request.host_data_directory = location;
    request.data_directory = location;
    request.own_data_directory = backup.host_data_directory;
    request.force = force;
    request.now = now;
    return request;
  }

  testing::TempDir temp;
  fs::path program;
  std::string location;
  std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
  int last_row = 100;
};

TEST_F(ServerBackups, RunKeepsADumpOfEachChangedSchemaAndRestorePutsItBackWhole) {
  const nlohmann::json before = Whole("clientes.mdb");
  const nlohmann::json odd = Whole(kOdd);
  const BackupFolder backup = Run({"clientes.mdb"});

  EXPECT_EQ(fs::path(backup.folder).parent_path(), program / kBackupsDirectory);
  EXPECT_EQ(FilesIn(backup.folder),
            (std::vector<std::string>{"actualiz-backup.json", "clientes.mdb.dump"}));
  EXPECT_EQ(backup.databases, std::vector<std::string>{"clientes.mdb"});
  EXPECT_EQ(backup.data_directory, LocationName(location));
  EXPECT_EQ(backup.digests.count("clientes.mdb"), 1u);

  RestoreResult result;
  RestoreDatabases(backup, Own(backup), result);
  EXPECT_EQ(Whole("clientes.mdb"), before);
  EXPECT_EQ(Whole(kOdd), odd);
  ASSERT_EQ(result.done.size(), 1u);
  EXPECT_EQ(result.done[0].action, "restored");
  // What the restore replaced is kept beside, and can itself be restored.
  ASSERT_FALSE(result.kept_folder.empty());
  EXPECT_EQ(fs::path(result.kept_folder).parent_path(), program / kBackupsDirectory);
  const BackupFolder kept = ReadBackupFolder(result.kept_folder);
  EXPECT_TRUE(fs::is_regular_file(kept.CopyOf("clientes.mdb")));
  EXPECT_TRUE(CheckRestore(kept, Own(kept)).changed.empty());
}

TEST_F(ServerBackups, SchemasTheEngineDoesNotOpenAreLeftOutAndNamed) {
  RunOnServer(location, "CREATE SCHEMA ajena; CREATE VIEW ajena.v AS SELECT 1 AS x");
  const BackupFolder backup = BackUpDatabases(
      location, location, {"clientes.mdb", "ajena.mdb", "nada.mdb"}, now, program.string());
  EXPECT_EQ(backup.databases, std::vector<std::string>{"clientes.mdb"});
  ASSERT_EQ(backup.unopened.size(), 2u);
  EXPECT_EQ(backup.unopened[0].error.Number(), err::kUnrecognizedFormat);
  EXPECT_EQ(backup.unopened[1].error.Number(), err::kFileNotFound);
}

TEST_F(ServerBackups, SchemaChangedSinceTheRunIsReplacedOnlyWhenForced) {
  const nlohmann::json before = Whole("clientes.mdb");
  const BackupFolder backup = Run({"clientes.mdb"});
  AddRow("clientes.mdb");
  const nlohmann::json later = Whole("clientes.mdb");
  RestoreResult result;
  EXPECT_EQ(ErrorNumber([&] { RestoreDatabases(backup, Own(backup), result); }),
            err::kInvalidArgument);
  EXPECT_EQ(Whole("clientes.mdb"), later);

  RestoreDatabases(backup, Own(backup, true), result);
  EXPECT_EQ(Whole("clientes.mdb"), before);
  // The work done after the run is in the kept folder.
  RestoreResult again;
  const BackupFolder kept = ReadBackupFolder(result.kept_folder);
  RestoreDatabases(kept, Own(kept), again);
  EXPECT_EQ(Whole("clientes.mdb"), later);
}

TEST_F(ServerBackups, SchemaTheRunCopiedInIsKeptAsADumpThenRemoved) {
  const BackupFolder backup = Run({"clientes.mdb"}, {"nuevo.mdb"});
  RestoreResult result;
  RestoreDatabases(backup, Own(backup), result);
  EXPECT_FALSE(DatabasesOnServer(location).contains("nuevo.mdb"));
  EXPECT_TRUE(fs::is_regular_file(fs::path(backup.folder) / "copied-in" / "nuevo.mdb.dump"));
  ASSERT_EQ(result.done.size(), 2u);
  EXPECT_EQ(result.done[1].name, "nuevo.mdb");
  EXPECT_EQ(result.done[1].action, "moved aside");
}

// Refused before anything is touched, or failed inside the transaction that
// puts a schema back: either way the schema stays as the run left it.
TEST_F(ServerBackups, RestoreThatIsRefusedOrFailsLeavesTheSchemaAsItWas) {
  struct Case {
    const char* what;
    std::function<void(BackupFolder&, RestoreRequest&)> spoil;
    int number;
  };
  const std::vector<Case> cases = {
      {"into a directory of files",
       [&](BackupFolder&, RestoreRequest& r) { r.host_data_directory = program.string(); },
       err::kInvalidArgument},
      {"into another server database without --into",
       [&](BackupFolder&, RestoreRequest& r) {
         r.host_data_directory = testing::PgServer::Get().FreshDatabase();
       },
       err::kInvalidArgument},
      {"a dump missing",
       [&](BackupFolder& b, RestoreRequest&) { fs::remove(b.CopyOf("clientes.mdb")); },
       err::kFileNotFound},
      {"a dump that is not one",
       [&](BackupFolder& b, RestoreRequest&) {
         testing::WriteFile(b.CopyOf("clientes.mdb"), "not a dump");
       },
       err::kReservedError},
      // Its statements run after the schema is dropped, and fail.
      {"a dump of another schema",
       [&](BackupFolder& b, RestoreRequest&) {
         fs::copy_file(b.CopyOf(kOdd), b.CopyOf("clientes.mdb"),
                       fs::copy_options::overwrite_existing);
       },
       err::kReservedError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BackupFolder backup = Run({"clientes.mdb", kOdd});
    const nlohmann::json after = Whole("clientes.mdb");
    RestoreRequest request = Own(backup, true);
    c.spoil(backup, request);
    RestoreResult result;
    EXPECT_EQ(ErrorNumber([&] { RestoreDatabases(backup, request, result); }), c.number);
    EXPECT_EQ(Whole("clientes.mdb"), after);
  }
}

}  // namespace
}  // namespace actualiz::app
