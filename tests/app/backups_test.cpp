// Consistent database copies, backup folders around a batch run, and
// putting them back.
#include "app/backups.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "engine/accessfile/jet_replace.h"
#include "engine/sqlite/backup.h"
#include "tests/support/backup_samples.h"
#include "tests/support/db_builder.h"
#include "tests/support/error_number.h"
#include "tests/support/temp_dir.h"

namespace actualiz::app {
namespace {

namespace fs = std::filesystem;
using testing::BuildDatabase;
using testing::DescribeFile;
using testing::ErrorNumber;
using testing::TempDir;

constexpr const char* kClientes = testing::kBackupClientes;
constexpr const char* kOther = testing::kBackupOther;

// Runs SQL straight on a file, as another program would.
void Sql(const std::string& path, const char* statement) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, statement, nullptr, nullptr, nullptr), SQLITE_OK) << path;
  sqlite3_close(db);
}

// ---- the engine's consistent copy ----

// The names in a directory, hidden ones too: a copy leaves no temporary.
std::set<std::string> Entries(const TempDir& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

TEST(CopyDatabase, NewCopyIsTheSameBytesAndOpensAsTheSameDatabase) {
  TempDir dir;
  BuildDatabase(dir.File("a.mdb"), kClientes);
  engine::CopyDatabase(dir.File("a.mdb"), dir.File("copy.mdb"), engine::CopyTarget::kNew);
  EXPECT_EQ(testing::ReadFile(dir.File("copy.mdb")), testing::ReadFile(dir.File("a.mdb")));
  EXPECT_EQ(DescribeFile(dir.File("copy.mdb"), true), DescribeFile(dir.File("a.mdb"), true));
  EXPECT_EQ(Entries(dir), (std::set<std::string>{"a.mdb", "copy.mdb"}));
}

TEST(CopyDatabase, WriterCommittingIsWaitedForAndCopiedWhole) {
  TempDir dir;
  BuildDatabase(dir.File("a.mdb"), kClientes);
  std::atomic<bool> holding = false;
  std::thread writer([&] {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir.File("a.mdb").c_str(), &db), SQLITE_OK);
    // EXCLUSIVE: the file itself is being written, no reader may start.
    ASSERT_EQ(sqlite3_exec(db, "BEGIN EXCLUSIVE; DELETE FROM Clientes WHERE Id = 2", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    holding = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  });
  while (!holding) std::this_thread::yield();
  engine::CopyDatabase(dir.File("a.mdb"), dir.File("copy.mdb"), engine::CopyTarget::kNew);
  writer.join();
  const nlohmann::json copy = DescribeFile(dir.File("copy.mdb"), true);
  EXPECT_EQ(copy, DescribeFile(dir.File("a.mdb"), true));
  EXPECT_EQ(copy["tables"][0]["rows"].size(), 1u);
}

// A source in WAL mode keeps committed changes outside its file until a
// checkpoint: the copy still holds them.
TEST(CopyDatabase, WalSourceCopiesWhatIsCommittedInItsLog) {
  TempDir dir;
  BuildDatabase(dir.File("a.mdb"), kClientes);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(dir.File("a.mdb").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                         "INSERT INTO Clientes (Id, Nombre) VALUES (3, 'Eva')",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  engine::CopyDatabase(dir.File("a.mdb"), dir.File("copy.mdb"), engine::CopyTarget::kNew);
  sqlite3_close(db);
  EXPECT_EQ(DescribeFile(dir.File("copy.mdb"), true)["tables"][0]["rows"].size(), 3u);
}

// A program killed in the middle of a change left the file half written
// and the journal to roll it back: the copy refuses rather than copy the
// half change, and leaves the source and its journal as they were.
TEST(CopyDatabase, SourceWithAnUnfinishedChangeIsRefusedUntouched) {
  TempDir dir;
  BuildDatabase(dir.File("a.mdb"), kClientes);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    sqlite3* db = nullptr;
    sqlite3_open(dir.File("a.mdb").c_str(), &db);
    // A small cache makes the change spill into the file before its commit.
    sqlite3_exec(db,
                 "PRAGMA journal_mode=DELETE; PRAGMA cache_size=1; BEGIN;"
                 "CREATE TABLE Big (x); INSERT INTO Big SELECT randomblob(3000) FROM"
                 " (WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 300)"
                 " SELECT i FROM c)",
                 nullptr, nullptr, nullptr);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(fs::exists(dir.File("a.mdb-journal")));
  const std::string before = testing::ReadFile(dir.File("a.mdb"));
  EXPECT_EQ(ErrorNumber([&] {
              engine::CopyDatabase(dir.File("a.mdb"), dir.File("copy.mdb"),
                                   engine::CopyTarget::kNew);
            }),
            err::kCannotOpen);
  EXPECT_EQ(testing::ReadFile(dir.File("a.mdb")), before);
  EXPECT_EQ(Entries(dir), (std::set<std::string>{"a.mdb", "a.mdb-journal"}));
}

TEST(CopyDatabase, ChangeInProgressElsewhereIsNotCaughtHalfWay) {
  TempDir dir;
  BuildDatabase(dir.File("a.mdb"), kClientes);
  sqlite3* writer = nullptr;
  ASSERT_EQ(sqlite3_open(dir.File("a.mdb").c_str(), &writer), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE; DELETE FROM Clientes WHERE Id = 2", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  engine::CopyDatabase(dir.File("a.mdb"), dir.File("copy.mdb"), engine::CopyTarget::kNew);
  sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(writer);
  EXPECT_EQ(DescribeFile(dir.File("copy.mdb"), true), DescribeFile(dir.File("a.mdb"), true));
}

TEST(CopyDatabase, NewCopyNeverOverwritesAndFailuresLeaveNoFile) {
  TempDir dir;
  BuildDatabase(dir.File("a.mdb"), kClientes);
  BuildDatabase(dir.File("b.mdb"), kOther);
  const std::string existing = testing::ReadFile(dir.File("b.mdb"));
  EXPECT_EQ(ErrorNumber([&] {
              engine::CopyDatabase(dir.File("a.mdb"), dir.File("b.mdb"), engine::CopyTarget::kNew);
            }),
            err::kDatabaseExists);
  EXPECT_EQ(testing::ReadFile(dir.File("b.mdb")), existing);

  EXPECT_EQ(ErrorNumber([&] {
              engine::CopyDatabase(dir.File("none.mdb"), dir.File("c.mdb"),
                                   engine::CopyTarget::kNew);
            }),
            err::kFileNotFound);
  testing::WriteFile(dir.File("text.mdb"), "not a database at all, just some text");
  EXPECT_EQ(ErrorNumber([&] {
              engine::CopyDatabase(dir.File("text.mdb"), dir.File("c.mdb"),
                                   engine::CopyTarget::kNew);
            }),
            err::kUnrecognizedFormat);
  EXPECT_EQ(Entries(dir), (std::set<std::string>{"a.mdb", "b.mdb", "text.mdb"}));
}

TEST(CopyDatabase, ReplaceOverwritesTheWholeContent) {
  TempDir dir;
  BuildDatabase(dir.File("a.mdb"), kClientes);
  BuildDatabase(dir.File("b.mdb"), kOther);
  engine::CopyDatabase(dir.File("a.mdb"), dir.File("b.mdb"), engine::CopyTarget::kReplace);
  EXPECT_EQ(DescribeFile(dir.File("b.mdb"), true), DescribeFile(dir.File("a.mdb"), true));
}

// ---- backup folders ----

class Backups : public ::testing::Test {
 protected:
  Backups() {
    data = temp.path() / "datos";
    fs::create_directories(data);
    BuildDatabase((data / "clientes.mdb").string(), kClientes);
    BuildDatabase((data / "otra.mdb").string(), kOther);
  }
  std::string Data() const { return data.string(); }
  std::string At(const std::string& name) const { return (data / name).string(); }

  // A run that backs up `names`, changes each (one more row in its first
  // table) and leaves the digests as batch does; the manifest as read back.
  BackupFolder RunChanging(const std::vector<std::string>& names) {
    BackupFolder backup = BackUpDatabases(Data(), "c:\\datos", names, now);
    for (const std::string& name : names) {
      const nlohmann::json first = DescribeFile(At(name))["tables"][0];
      const std::string statement = "INSERT INTO " + first["name"].get<std::string>() + " (" +
                                    first["fields"][0]["name"].get<std::string>() + ") VALUES (" +
                                    std::to_string(++last_row) + ")";
      Sql(At(name), statement.c_str());
    }
    KeepChangedOnly(backup, Data(), {names.begin(), names.end()}, {});
    return ReadBackupFolder(backup.folder);
  }

  // A restore into the directory the folder was taken from.
  RestoreRequest Into(const std::string& directory, bool force = false) const {
    RestoreRequest request;
    request.host_data_directory = directory;
    request.data_directory = directory;
    request.own_data_directory = Data();
    request.force = force;
    request.now = now;
    return request;
  }

  TempDir temp;
  fs::path data;
  std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
  int last_row = 100;  // rows RunChanging adds take the next number
};

TEST_F(Backups, FolderIsDatedAndHoldsEqualCopiesAndAManifest) {
  const BackupFolder backup =
      BackUpDatabases(Data(), "c:\\datos", {"clientes.mdb", "otra.mdb"}, now);
  EXPECT_EQ(fs::path(backup.folder).parent_path(), data / ".actualiz-backups");
  EXPECT_EQ(fs::path(backup.folder).filename().string().size(), 17u);  // 2026-12-07_052947
  EXPECT_EQ(DescribeFile(backup.folder + "/clientes.mdb", true),
            DescribeFile(At("clientes.mdb"), true));
  const BackupFolder read = ReadBackupFolder(backup.folder);
  EXPECT_EQ(read.data_directory, "c:\\datos");
  EXPECT_EQ(read.databases, (std::vector<std::string>{"clientes.mdb", "otra.mdb"}));
  EXPECT_EQ(HostDataDirectoryOf(backup.folder), Data());

  // A second run in the same second gets a folder of its own.
  const BackupFolder second = BackUpDatabases(Data(), "c:\\datos", {"otra.mdb"}, now);
  EXPECT_NE(second.folder, backup.folder);
  EXPECT_EQ(ReadBackupFolder(backup.folder).databases.size(), 2u);
}

TEST_F(Backups, DatabaseThatOpensButCannotBeSavedLeavesNoPartialFolder) {
  // Another program holds the write lock past the engine's wait.
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(At("otra.mdb").c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  const int number = ErrorNumber([&] {
    BackUpDatabases(Data(), "c:\\datos", {"clientes.mdb", "otra.mdb"}, now);
  });
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);
  EXPECT_NE(number, 0);
  EXPECT_FALSE(fs::exists(data / ".actualiz-backups"));
}

TEST_F(Backups, FilesThatAreNotDatabasesAreLeftOutAndNamed) {
  testing::WriteFile(At("roto.mdb"), "damaged");
  testing::WriteFile(At("vacia.mdb"), "");
  fs::create_directory(data / "carpeta.mdb");
  const BackupFolder backup =
      BackUpDatabases(Data(), "c:\\datos",
                      {"roto.mdb", "clientes.mdb", "carpeta.mdb", "vacia.mdb", "ida.mdb"}, now);
  EXPECT_EQ(backup.databases, (std::vector<std::string>{"clientes.mdb"}));
  EXPECT_EQ(ReadBackupFolder(backup.folder).databases, backup.databases);
  ASSERT_EQ(backup.unopened.size(), 4u);
  const int expected[] = {err::kUnrecognizedFormat, err::kUnrecognizedFormat,
                          err::kUnrecognizedFormat, err::kFileNotFound};
  for (size_t i = 0; i < backup.unopened.size(); ++i) {
    const UnopenedDatabase& left = backup.unopened[i];
    EXPECT_EQ(left.error.Number(), expected[i]) << left.name;
    // Named as the run names the target.
    EXPECT_NE(left.error.Context().find("c:\\datos\\" + left.name), std::string::npos)
        << left.error.Context();
    EXPECT_FALSE(fs::exists(backup.folder + "/" + left.name)) << left.name;
  }
  EXPECT_EQ(testing::ReadFile(At("roto.mdb")), "damaged");
  EXPECT_EQ(testing::ReadFile(At("vacia.mdb")), "");
}

// An Access file among the targets opens, read-only: the run cannot change
// it, so it is left out and named rather than stopping every other backup.
// An Access file is kept as its bytes, and a restore puts them back over
// a changed file.
TEST_F(Backups, AnAccessFileIsBackedUpAndRestoredByteForByte) {
  const fs::path sample =
      fs::path(ACTUALIZ_SOURCE_DIR) / ".." / "shared" / "jet-samples" / "testV2003.mdb";
  if (!fs::exists(sample)) GTEST_SKIP() << "no Access samples";
  fs::copy_file(sample, At("access.mdb"));
  fs::permissions(At("access.mdb"), fs::perms::owner_write, fs::perm_options::add);
  BackupFolder backup = BackUpDatabases(Data(), "c:\\datos", {"access.mdb", "clientes.mdb"}, now);
  EXPECT_EQ(backup.databases, (std::vector<std::string>{"access.mdb", "clientes.mdb"}));
  EXPECT_TRUE(backup.unopened.empty());
  engine::jet::AddColumnsChecked(At("access.mdb"), "access.mdb", "Table1",
                                 {{"Nuevo", engine::dbLong, 0, false, false}});
  KeepChangedOnly(backup, Data(), {"access.mdb"}, {});

  RestoreResult result;
  RestoreDatabases(ReadBackupFolder(backup.folder), Into(Data()), result);
  EXPECT_TRUE(testing::ReadFile(At("access.mdb")) == testing::ReadFile(sample));
}

// Which databases changed is the run log's to say: the files are not opened
// again. One named changed keeps its backup even when it reads as before;
// one not named loses it.
TEST_F(Backups, OnlyDatabasesTheRunMayHaveChangedKeepTheirBackup) {
  BackupFolder backup = BackUpDatabases(Data(), "c:\\datos", {"clientes.mdb", "otra.mdb"}, now);
  KeepChangedOnly(backup, Data(), {"clientes.mdb"}, {"nueva.mdb"});
  EXPECT_EQ(backup.databases, (std::vector<std::string>{"clientes.mdb"}));
  EXPECT_TRUE(fs::exists(backup.folder + "/clientes.mdb"));
  EXPECT_FALSE(fs::exists(backup.folder + "/otra.mdb"));
  EXPECT_EQ(ReadBackupFolder(backup.folder).copied_in, (std::vector<std::string>{"nueva.mdb"}));
}

TEST_F(Backups, RunThatChangedNothingLeavesNoFolder) {
  BackupFolder backup = BackUpDatabases(Data(), "c:\\datos", {"clientes.mdb"}, now);
  KeepChangedOnly(backup, Data(), {}, {});
  EXPECT_TRUE(backup.folder.empty());
  EXPECT_FALSE(fs::exists(data / ".actualiz-backups"));
}

TEST_F(Backups, FoldersThatAreNotBackupsAreRefused) {
  EXPECT_EQ(ErrorNumber([&] { ReadBackupFolder(Data()); }), err::kInvalidArgument);
  EXPECT_EQ(ErrorNumber([&] { ReadBackupFolder(At("nada")); }), err::kPathNotFound);
  // A manifest naming a path outside the folder is not followed.
  const fs::path forged = temp.path() / "forged";
  fs::create_directories(forged);
  testing::WriteFile(forged / "actualiz-backup.json",
                     R"({"dataDirectory": "c:\\datos", "databases": ["../datos/clientes.mdb"]})");
  EXPECT_EQ(ErrorNumber([&] { ReadBackupFolder(forged.string()); }), err::kInvalidArgument);
  testing::WriteFile(forged / "actualiz-backup.json", "{ not json");
  EXPECT_EQ(ErrorNumber([&] { ReadBackupFolder(forged.string()); }), err::kInvalidArgument);
}

TEST_F(Backups, RestorePutsContentBackAndMovesCopiedInDatabasesAside) {
  const nlohmann::json before = DescribeFile(At("clientes.mdb"), true);
  BackupFolder backup = BackUpDatabases(Data(), "c:\\datos", {"clientes.mdb"}, now);
  Sql(At("clientes.mdb"), "DELETE FROM Clientes");
  BuildDatabase(At("nueva.mdb"), kOther);
  KeepChangedOnly(backup, Data(), {"clientes.mdb"}, {"nueva.mdb"});

  RestoreResult result;
  RestoreDatabases(ReadBackupFolder(backup.folder), Into(Data()), result);
  EXPECT_EQ(DescribeFile(At("clientes.mdb"), true), before);
  EXPECT_FALSE(fs::exists(At("nueva.mdb")));
  EXPECT_TRUE(fs::exists(backup.folder + "/copied-in/nueva.mdb"));
  ASSERT_EQ(result.done.size(), 2u);
  EXPECT_EQ(result.done[1].action, "moved aside");
}

TEST_F(Backups, RestoreWithACopyMissingTouchesNothing) {
  BackupFolder backup = BackUpDatabases(Data(), "c:\\datos", {"clientes.mdb", "otra.mdb"}, now);
  BuildDatabase(At("nueva.mdb"), kOther);
  backup.copied_in = {"nueva.mdb"};
  fs::remove(backup.folder + "/otra.mdb");
  Sql(At("clientes.mdb"), "DELETE FROM Clientes");
  RestoreResult result;
  EXPECT_EQ(ErrorNumber([&] { RestoreDatabases(backup, Into(Data(), true), result); }),
            err::kFileNotFound);
  EXPECT_TRUE(result.done.empty());
  EXPECT_TRUE(DescribeFile(At("clientes.mdb"), true)["tables"][0]["rows"].empty());
  EXPECT_TRUE(fs::exists(At("nueva.mdb")));
}

// Runs started in the same second used to pick one folder name between
// them: the run that then failed (its copy found the other's file there)
// removed the folder with the other run's backups in it. Several processes
// released at once with the same `now` must each get a folder of their own.
TEST_F(Backups, RunsStartedTogetherInTheSameSecondGetFoldersOfTheirOwn) {
  constexpr int kRuns = 8;
  constexpr int kRounds = 20;
  for (int round = 0; round < kRounds; ++round) {
    const auto same = now + std::chrono::hours(round);
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> children;
    for (int i = 0; i < kRuns; ++i) {
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        close(gate[1]);
        char byte;
        (void)!read(gate[0], &byte, 1);  // released all at once when the gate closes
        try {
          BackUpDatabases(Data(), "c:\\datos", {"otra.mdb"}, same);
          _exit(0);
        } catch (...) {
          _exit(1);
        }
      }
      children.push_back(child);
    }
    close(gate[0]);
    close(gate[1]);
    int failed = 0;
    for (pid_t child : children) {
      int status = 0;
      waitpid(child, &status, 0);
      failed += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(failed, 0) << "round " << round;
  }
  // Every run's folder is there, whole.
  std::set<std::string> folders;
  for (const auto& entry : fs::directory_iterator(data / kBackupsDirectory)) {
    folders.insert(entry.path().string());
    EXPECT_EQ(ReadBackupFolder(entry.path().string()).databases.size(), 1u) << entry.path();
    EXPECT_TRUE(fs::exists(entry.path() / "otra.mdb")) << entry.path();
  }
  EXPECT_EQ(folders.size(), size_t(kRounds * kRuns));
}

// A link inside the folder could make a restore read another file than
// the one backed up (or a manifest written elsewhere): it is refused,
// named, before anything is touched.
TEST_F(Backups, SymbolicLinksInsideTheFolderAreRefusedByName) {
  const struct {
    const char* link;
    const char* target;  // relative to the data directory
  } cases[] = {
      {"clientes.mdb", "otra.mdb"},
      {"actualiz-backup.json", "otra.mdb"},
      {"copied-in/nueva.mdb", "otra.mdb"},
      {"copied-in", "."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.link);
    BackupFolder backup = RunChanging({"clientes.mdb"});
    const fs::path link = fs::path(backup.folder) / c.link;
    fs::remove(link);
    fs::create_directories(link.parent_path());
    fs::create_symlink(data / c.target, link);
    const std::string before = testing::ReadFile(At("clientes.mdb"));
    for (const auto& attempt :
         std::vector<std::function<void()>>{[&] { ReadBackupFolder(backup.folder); },
                                            [&] {
                                              RestoreResult result;
                                              RestoreDatabases(backup, Into(Data(), true), result);
                                            }}) {
      try {
        attempt();
        ADD_FAILURE() << "not refused";
      } catch (const Error& e) {
        EXPECT_EQ(e.Number(), err::kInvalidArgument);
        EXPECT_NE(e.Text().find(c.link), std::string::npos) << e.Text();
      }
    }
    EXPECT_EQ(testing::ReadFile(At("clientes.mdb")), before);
    fs::remove_all(data / kBackupsDirectory);
  }
}

// Manifests written before the data directory was resolved and digests
// recorded still read. Such a folder restores only into the directory its
// Windows name proves through the drive map, and only with --force, since
// nothing tells whether the databases changed after the run.
TEST_F(Backups, OlderManifestRestoresOnlyWhereItsNameProvesAndOnlyWhenForced) {
  BackupFolder backup = RunChanging({"clientes.mdb"});
  testing::WriteFile(fs::path(backup.folder) / kBackupManifest,
                     R"({"dataDirectory": "c:\\datos", "databases": ["clientes.mdb"]})");
  backup = ReadBackupFolder(backup.folder);
  EXPECT_TRUE(backup.host_data_directory.empty());
  EXPECT_TRUE(backup.digests.empty());

  platform::DriveMap unmapped;
  platform::DriveMap drives;
  drives.Map('c', temp.path().string());
  EXPECT_EQ(OwnDataDirectory(backup, unmapped), "");
  EXPECT_EQ(OwnDataDirectory(backup, drives), fs::weakly_canonical(data).string());

  RestoreRequest request = Into(Data());
  request.own_data_directory = OwnDataDirectory(backup, unmapped);
  EXPECT_EQ(ErrorNumber([&] { CheckRestore(backup, request); }), err::kInvalidArgument);
  request.own_data_directory = OwnDataDirectory(backup, drives);
  try {
    CheckRestore(backup, request);
    ADD_FAILURE() << "not refused";
  } catch (const Error& e) {
    EXPECT_NE(e.Text().find("does not record how the run left clientes.mdb"), std::string::npos)
        << e.Text();
  }
  request.force = true;
  EXPECT_EQ(CheckRestore(backup, request).unrecorded, std::vector<std::string>{"clientes.mdb"});
}

}  // namespace
}  // namespace actualiz::app
