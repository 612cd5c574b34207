// plan, check, the batch's backups and restore, through the real binary on
// the demo directory.
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "engine/engine.h"
#include "tests/support/db_builder.h"
#include "tests/support/demo_site.h"
#include "tests/support/pg_server.h"
#include "tests/support/server_databases.h"

namespace actualiz::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// An object of a description and what became of it: ("index", "idx on T").
using Item = std::pair<std::string, std::string>;
using Difference = std::map<Item, std::string>;  // -> "added", "removed", "changed"

std::map<Item, json> Objects(const json& description) {
  std::map<Item, json> out;
  for (const json& table : description["tables"]) {
    const std::string name = table["name"];
    out[{"table", name}] = nullptr;
    for (const json& field : table["fields"]) {
      out[{"field", name + "." + field["name"].get<std::string>()}] = field;
    }
    for (const json& index : table["indexes"]) {
      out[{"index", index["name"].get<std::string>() + " on " + name}] = index;
    }
  }
  for (const json& relation : description["relations"])
    out[{"relation", relation["name"]}] = relation;
  for (const json& query : description["queries"]) out[{"query", query["name"]}] = query;
  return out;
}

// What changed between two descriptions. The fields of a new table come
// with it and are not listed on their own.
Difference Compare(const json& before, const json& after) {
  const std::map<Item, json> old_objects = Objects(before);
  const std::map<Item, json> new_objects = Objects(after);
  Difference out;
  for (const auto& [item, definition] : new_objects) {
    auto old = old_objects.find(item);
    if (old == old_objects.end()) {
      const std::string table = item.second.substr(0, item.second.find('.'));
      if (item.first == "field" && !old_objects.count({"table", table})) continue;
      out[item] = "added";
    } else if (old->second != definition) {
      out[item] = "changed";
    }
  }
  for (const auto& [item, definition] : old_objects) {
    if (!new_objects.count(item)) out[item] = "removed";
  }
  return out;
}

// The same difference as a plan's changes for one database tell it.
Difference FromPlan(const json& changes) {
  static const std::map<std::string, std::pair<std::string, std::string>> kinds = {
      {"table created", {"table", "added"}},       {"field added", {"field", "added"}},
      {"index created", {"index", "added"}},       {"index dropped", {"index", "removed"}},
      {"relation created", {"relation", "added"}}, {"relation dropped", {"relation", "removed"}},
      {"query created", {"query", "added"}},       {"query dropped", {"query", "removed"}}};
  Difference out;
  for (const json& change : changes) {
    auto kind = kinds.find(change["kind"]);
    if (kind == kinds.end()) continue;
    const Item item{kind->second.first, change["object"]};
    auto seen = out.find(item);
    out[item] =
        seen != out.end() && seen->second != kind->second.second ? "changed" : kind->second.second;
  }
  return out;
}

class PlanCheckRestore : public ::testing::Test {
 protected:
  ProgramRun Command(const Words& arguments, const std::string& input = "") {
    return site.Cli(arguments, ProgramSetting().Input(input));
  }

  // Every file of the demo and its bytes.
  std::map<std::string, std::string> Files() {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(site.Root())) {
      if (entry.is_regular_file()) files[entry.path().string()] = ReadFile(entry.path());
    }
    return files;
  }

  // The description of each database of the data directory.
  std::map<std::string, json> Databases(bool rows) {
    std::map<std::string, json> all;
    for (const auto& entry : fs::directory_iterator(datos)) {
      if (entry.is_regular_file())
        all[entry.path().filename().string()] = DescribeFile(entry.path().string(), rows);
    }
    return all;
  }

  DemoSite site;
  const fs::path datos = site.Data();
};

TEST_F(PlanCheckRestore, PlanAndCheckChangeNoFileAndCheckTellsAScriptWhatToDo) {
  const auto before = Files();
  const fs::path report = site.Scratch("plan.json");
  const ProgramRun plan = Command({"plan", "--data", "c:\\datos", "--json", report});
  EXPECT_EQ(plan.status, 0) << plan.out;
  EXPECT_NE(plan.out.find("tarifas.mdb: would be copied in"), std::string::npos) << plan.out;
  const ProgramRun check = Command({"check", "--data", "c:\\datos"});
  EXPECT_EQ(check.status, 2) << check.out;
  EXPECT_EQ(Files(), before);

  ASSERT_EQ(Command({"batch", "--data", "c:\\datos"}).status, 0);
  const ProgramRun again = Command({"check", "--data", "c:\\datos"});
  EXPECT_EQ(again.status, 0) << again.out;
  EXPECT_NE(again.out.find("Nothing to do"), std::string::npos) << again.out;

  EXPECT_EQ(Command({"check", "--data", "c:\\no hay"}).status, 1);
}

// An up-to-date directory is told from the structures alone: no scratch
// copy is made, so check answers even where no scratch directory can be
// made, and says what the exact plan says.
TEST_F(PlanCheckRestore, CheckOfAnUpToDateDirectoryMakesNoScratchCopy) {
  ASSERT_EQ(Command({"batch", "--no-backup", "--data", "c:\\datos"}).status, 0);
  const ProgramRun plan = Command({"plan", "--data", "c:\\datos"});
  const ProgramSetting no_scratch = ProgramSetting().Set("TMPDIR=" + site.Scratch("no such dir"));
  const ProgramRun check = site.Cli({"check", "--data", "c:\\datos"}, no_scratch);
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_EQ(check.out, plan.out);
  EXPECT_EQ(site.Cli({"plan", "--data", "c:\\datos"}, no_scratch).status, 1)
      << "the exact plan needs its scratch copies";
}

TEST_F(PlanCheckRestore, PlanIsExactlyWhatTheBatchThenDoes) {
  const auto before = Databases(false);
  const fs::path report = site.Scratch("plan.json");
  ASSERT_EQ(Command({"plan", "--data", "c:\\datos", "--json", report}).status, 0);
  ASSERT_EQ(Command({"batch", "--no-backup", "--data", "c:\\datos"}).status, 0);
  const auto after = Databases(false);

  const json plan = json::parse(ReadFile(report));
  std::set<std::string> planned;
  for (const json& database : plan["databases"]) {
    const std::string name = database["name"];
    planned.insert(name);
    if (database["state"] == "copied") {
      EXPECT_FALSE(before.count(name)) << name;
      EXPECT_TRUE(after.count(name)) << name;
      continue;
    }
    EXPECT_EQ(FromPlan(database["changes"]), Compare(before.at(name), after.at(name))) << name;
  }
  for (const auto& [name, description] : after) {
    if (!planned.count(name)) {
      EXPECT_EQ(description, before.at(name)) << name;
    }
  }
}

// The plan used to call agenda.mdb "would be updated" (its query is
// rewritten on one line) while the batch called it "up to date", and their
// totals differed. Over drives of several shapes, plan then batch must
// classify every database alike and count alike, and the batch keeps the
// backup of exactly the databases it changed.
TEST_F(PlanCheckRestore, PlanAndBatchClassifyAndCountAlikeOnEveryShapeOfDrive) {
  const auto agree = [&](const std::string& shape) {
    SCOPED_TRACE(shape);
    const fs::path plan_file = site.Scratch("plan.json");
    const fs::path batch_file = site.Scratch("batch.json");
    const ProgramRun planned = Command({"plan", "--data", "c:\\datos", "--json", plan_file});
    ASSERT_EQ(planned.status, 0) << planned.out;
    const ProgramRun done = Command({"batch", "--data", "c:\\datos", "--json", batch_file});
    ASSERT_EQ(done.status, 0) << done.out;
    const json plan = json::parse(ReadFile(plan_file));
    const json batch = json::parse(ReadFile(batch_file));
    std::map<std::string, std::string> plan_states;
    std::map<std::string, std::string> batch_states;
    for (const json& database : plan["databases"])
      plan_states[database["name"]] = database["state"];
    for (const json& database : batch["databases"]) {
      batch_states[database["name"]] = database["state"];
      const bool changed = database["state"] == "updated" || database["state"] == "copied";
      EXPECT_EQ(database["backup"] != "", database["state"] == "updated") << database["name"];
      EXPECT_EQ(database["changes"].empty(), !changed) << database.dump(2);
    }
    EXPECT_EQ(plan_states, batch_states);
    EXPECT_EQ(plan["totals"], batch["totals"]);
  };

  agree("fresh demo: missing tables and fields, a model without a target");
  agree("already up to date");

  // Indexes, relations and queries that differ from the model's, and again
  // a model without a target.
  const fs::path agenda = datos / "agenda.mdb";
  json differing = DescribeFile(agenda.string(), true);
  differing["tables"][0]["indexes"][0]["unique"] = false;
  differing["relations"][0]["attributes"] = 0;
  differing["queries"][0]["sql"] = "SELECT Nombre FROM Contactos";
  fs::remove(agenda);
  fs::remove(datos / "tarifas.mdb");
  BuildDatabase(agenda.string(), differing.dump());
  agree("differing indexes, relations and queries");
}

// A damaged database used to print its error once per stage, each line
// led by the handler. Every command now prints one line for it that names
// the file, keeps the number, and says what to do; the JSON keeps the
// stages.
TEST_F(PlanCheckRestore, ADamagedDatabaseIsOneLineThatSaysWhatToDo) {
  WriteFile(datos / "stock.mdb", std::string(4096, 'x'));
  const std::string line =
      "c:\\datos\\stock.mdb: damaged (error 3343): Unrecognized database format "
      "'c:\\datos\\stock.mdb'.; restore it from its backup or repair it\n";
  for (const char* command : {"plan", "batch"}) {
    SCOPED_TRACE(command);
    const fs::path report = site.Scratch("report.json");
    const ProgramRun run = Command({command, "--data", "c:\\datos", "--json", report});
    EXPECT_EQ(run.status, 1) << run.out;
    const size_t at = run.out.find(line);
    ASSERT_NE(at, std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(line, at + 1), std::string::npos) << "said twice\n" << run.out;
    EXPECT_EQ(run.out.find("Command6_Click"), std::string::npos) << run.out;
    const json result = json::parse(ReadFile(report));
    for (const json& database : result["databases"]) {
      if (database["name"] == "stock.mdb") {
        EXPECT_FALSE(database["failures"].empty());
      }
    }
  }
}

TEST_F(PlanCheckRestore, BackupsHoldTheDatabasesAsTheyWereAndRestoreBringsThemBack) {
  const auto before = Databases(true);
  const fs::path report = site.Scratch("batch.json");
  const ProgramRun batch = Command({"batch", "--data", "c:\\datos", "--json", report});
  ASSERT_EQ(batch.status, 0) << batch.out;
  const json result = json::parse(ReadFile(report));
  const std::string folder = result["backupFolder"];
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(batch.out.find("Backups in " + folder), std::string::npos) << batch.out;
  int kept = 0;
  for (const json& database : result["databases"]) {
    const std::string backup = database["backup"];
    if (backup.empty()) continue;
    ++kept;
    EXPECT_EQ(DescribeFile(backup, true), before.at(database["name"])) << backup;
  }
  EXPECT_GT(kept, 0);
  EXPECT_NE(Databases(true), before);

  const auto changed = Files();
  const ProgramRun declined = Command({"restore", folder}, "n\n");
  EXPECT_EQ(declined.status, 1) << declined.out;
  EXPECT_NE(declined.out.find("into c:\\datos? [y/N]"), std::string::npos) << declined.out;
  EXPECT_EQ(Files(), changed);

  const ProgramRun restore = Command({"restore", folder}, "y\n");
  ASSERT_EQ(restore.status, 0) << restore.out;
  EXPECT_EQ(Databases(true), before);
  EXPECT_TRUE(fs::exists(fs::path(folder) / "copied-in" / "tarifas.mdb"));
}

TEST_F(PlanCheckRestore, NoBackupMakesNoFolderAndRestoreRefusesOtherFolders) {
  ASSERT_EQ(Command({"batch", "--no-backup", "--data", "c:\\datos"}).status, 0);
  EXPECT_FALSE(fs::exists(datos / ".actualiz-backups"));
  const ProgramRun refused = Command({"restore", "--yes", datos});
  EXPECT_EQ(refused.status, 1) << refused.out;
  EXPECT_NE(refused.out.find("Not a backup folder"), std::string::npos) << refused.out;

  // A run that changes nothing keeps no backup either.
  const ProgramRun second = Command({"batch", "--data", "c:\\datos"});
  ASSERT_EQ(second.status, 0) << second.out;
  EXPECT_NE(second.out.find("No backup kept"), std::string::npos) << second.out;
  EXPECT_FALSE(fs::exists(datos / ".actualiz-backups"));
}

// A backup folder copied into another directory used to restore into that
// directory (the folder's grandparent), replacing its same-named databases
// while the question named the directory the backup came from.
TEST_F(PlanCheckRestore, MovedBackupFolderRestoresOnlyWhereItWasTakenOrIntoANamedDirectory) {
  const fs::path report = site.Scratch("batch.json");
  ASSERT_EQ(Command({"batch", "--data", "c:\\datos", "--json", report}).status, 0);
  const fs::path folder = json::parse(ReadFile(report))["backupFolder"].get<std::string>();
  const fs::path other = site.Drive() / "otros";
  fs::create_directories(other / ".actualiz-backups");
  fs::copy_file(datos / "clientes.mdb", other / "clientes.mdb");
  const fs::path moved = other / ".actualiz-backups" / folder.filename();
  fs::copy(folder, moved, fs::copy_options::recursive);
  const std::string others = ReadFile(other / "clientes.mdb");

  for (const Words& options : {Words{}, Words{"--data", "c:\\otros"}}) {
    const ProgramRun refused = Command(Joined(Joined({"restore", "--yes"}, options), {moved}));
    EXPECT_EQ(refused.status, 1) << refused.out;
    EXPECT_NE(refused.out.find("was taken from c:\\datos"), std::string::npos) << refused.out;
    EXPECT_TRUE(ReadFile(other / "clientes.mdb") == others)
        << "the other directory's database changed";
  }
  const ProgramRun into = Command({"restore", "--into", "c:\\otros", moved}, "y\n");
  ASSERT_EQ(into.status, 0) << into.out;
  EXPECT_NE(into.out.find("into c:\\otros (the backup was taken from c:\\datos)?"),
            std::string::npos)
      << into.out;
  EXPECT_FALSE(ReadFile(other / "clientes.mdb") == others) << "not restored";
}

// Rows entered after the batch used to vanish on restore without a word.
// A database changed since the run is refused, named; --force restores it
// and keeps the changed one in a folder the output names, which can itself
// be restored to undo the restore.
TEST_F(PlanCheckRestore, WorkDoneAfterTheRunIsNeverDiscardedSilently) {
  const fs::path report = site.Scratch("batch.json");
  ASSERT_EQ(Command({"batch", "--data", "c:\\datos", "--json", report}).status, 0);
  const std::string folder = json::parse(ReadFile(report))["backupFolder"];
  const std::string clientes = (datos / "clientes.mdb").string();
  RunSql(clientes, "INSERT INTO Clientes (Codigo, Nombre) VALUES (99, 'Nueva')");
  const json worked = DescribeFile(clientes, true);

  const auto files = Files();
  const ProgramRun refused = Command({"restore", "--yes", folder});
  EXPECT_EQ(refused.status, 1) << refused.out;
  EXPECT_NE(refused.out.find("Changed since the run: clientes.mdb"), std::string::npos)
      << refused.out;
  EXPECT_TRUE(Files() == files) << "a file changed";

  const ProgramRun forced = Command({"restore", "--yes", "--force", folder});
  ASSERT_EQ(forced.status, 0) << forced.out;
  const std::string marker = "before this restore are kept in ";
  const size_t at = forced.out.find(marker);
  ASSERT_NE(at, std::string::npos) << forced.out;
  const std::string kept =
      forced.out.substr(at + marker.size(), forced.out.find('\n', at) - at - marker.size());
  EXPECT_EQ(DescribeFile(kept + "/clientes.mdb", true), worked);

  const ProgramRun undo = Command({"restore", "--yes", kept});
  ASSERT_EQ(undo.status, 0) << undo.out;
  EXPECT_EQ(DescribeFile(clientes, true), worked);
}

// The same run with the data directory on a server: the schemas it changed
// are kept as pg_dump's files in the program directory, named in the
// report; work done after the run is refused without --force; restore
// gives every schema back as it was and removes the ones copied in.
TEST_F(PlanCheckRestore, ServerDataDirectoryIsBackedUpAndRestoredLikeFiles) {
  const std::string location = PgServer::Get().FreshDatabase();
  CopyFilesToServer(datos, location);
  auto schemas = [&] {
    std::map<std::string, json> all;
    for (const std::string& name : engine::ListServerDatabases(location))
      all[name] = DescribeOnServer(location, name);
    return all;
  };
  const auto before = schemas();
  const fs::path report = site.Scratch("batch.json");
  const ProgramRun batch = Command({"batch", "--data", location, "--json", report});
  ASSERT_EQ(batch.status, 0) << batch.out;
  const json result = json::parse(ReadFile(report));
  const std::string folder = result["backupFolder"];
  EXPECT_EQ(fs::path(folder).parent_path(), site.Drive() / "prog" / ".actualiz-backups");
  EXPECT_NE(batch.out.find("Backups in " + folder), std::string::npos) << batch.out;
  std::set<std::string> dumps;
  for (const json& database : result["databases"]) {
    const std::string backup = database["backup"];
    if (!backup.empty()) dumps.insert(fs::path(backup).filename().string());
  }
  std::set<std::string> files;
  for (const auto& entry : fs::directory_iterator(folder))
    files.insert(entry.path().filename().string());
  files.erase("actualiz-backup.json");
  EXPECT_TRUE(dumps.contains("clientes.mdb.dump"));
  EXPECT_EQ(files, dumps) << "only the changed schemas keep a dump";
  EXPECT_NE(schemas(), before);

  RunOnServer(location,
              "INSERT INTO clientes.\"Clientes\" (\"Codigo\", \"Nombre\") VALUES (99, 'Nueva')");
  const ProgramRun refused = Command({"restore", "--yes", folder});
  EXPECT_EQ(refused.status, 1) << refused.out;
  EXPECT_NE(refused.out.find("Changed since the run: clientes.mdb"), std::string::npos)
      << refused.out;

  const ProgramRun restore = Command({"restore", "--yes", "--force", folder});
  ASSERT_EQ(restore.status, 0) << restore.out;
  EXPECT_EQ(schemas(), before);
  EXPECT_TRUE(fs::exists(fs::path(folder) / "copied-in" / "tarifas.mdb.dump"));
}

}  // namespace
}  // namespace actualiz::testing
