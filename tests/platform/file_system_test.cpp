#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "base/error.h"
#include "tests/support/temp_dir.h"

namespace actualiz::platform {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

class FileSystemTest : public ::testing::Test {
 protected:
  FileSystemTest() {
    fs::create_directories(dir.path() / "c" / "bases");
    drives.Map('c', (dir.path() / "c").string());
  }
  std::string C(const std::string& rest) const { return (dir.path() / "c" / rest).string(); }

  TempDir dir;
  DriveMap drives;
};

TEST_F(FileSystemTest, ListsMatchesOfAnyCaseWithDirectoriesSorted) {
  WriteFile(C("bases/zolo.mdb"), "");
  WriteFile(C("bases/Clientes.MDB"), "");
  WriteFile(C("bases/alfa.mdb"), "");
  WriteFile(C("bases/notas.txt"), "");
  WriteFile(C("bases/.oculta.mdb"), "");
  fs::create_directories(C("bases/carpeta.mdb"));
  EXPECT_EQ(ListMatching(drives, "C:\\BASES\\*.mdb"),
            (std::vector<std::string>{"alfa.mdb", "carpeta.mdb", "Clientes.MDB", "zolo.mdb"}));
}

TEST_F(FileSystemTest, WildcardsFollowTheirRules) {
  for (const char* name : {"a.mdb", "ab.mdb", "abc.mdb", "sin_punto", "x.mdb.bak"}) {
    WriteFile(C("bases/") + name, "");
  }
  EXPECT_EQ(ListMatching(drives, "c:\\bases\\a?.mdb"), (std::vector<std::string>{"ab.mdb"}));
  EXPECT_EQ(ListMatching(drives, "c:\\bases\\*b*.mdb"),
            (std::vector<std::string>{"ab.mdb", "abc.mdb"}));
  EXPECT_EQ(ListMatching(drives, "c:\\bases\\*.mdb"),
            (std::vector<std::string>{"a.mdb", "ab.mdb", "abc.mdb"}));
  // "*" and "*.*" name every entry, "." and ".." of a subdirectory too.
  EXPECT_EQ(ListMatching(drives, "c:\\bases\\*").size(), 7u);
  EXPECT_EQ(ListMatching(drives, "c:\\bases\\*.*").front(), ".");
}

TEST_F(FileSystemTest, DriveRootHasNoDotEntries) {
  const auto names = ListMatching(drives, "c:\\*");
  EXPECT_EQ(names, (std::vector<std::string>{"bases"}));
}

TEST_F(FileSystemTest, ListerHandsOutOneSnapshotAtATime) {
  WriteFile(C("bases/a.mdb"), "");
  WriteFile(C("bases/b.mdb"), "");
  DirectoryLister lister(drives);
  EXPECT_EQ(lister.First("c:\\bases\\*.mdb"), "a.mdb");
  WriteFile(C("bases/c.mdb"), "");  // not seen until the next First
  EXPECT_EQ(lister.Next(), "b.mdb");
  EXPECT_EQ(lister.Next(), "");
  EXPECT_EQ(lister.Next(), "");
  EXPECT_EQ(lister.First("c:\\bases\\*.mdb"), "a.mdb");
}

TEST_F(FileSystemTest, MissingDirectoryMatchesNothingButUnreadableOneFails) {
  EXPECT_TRUE(ListMatching(drives, "c:\\no hay\\*.mdb").empty());
  EXPECT_THROW(ListMatching(drives, "q:\\*.mdb"), Error);
  if (geteuid() == 0) GTEST_SKIP() << "root reads every directory";
  fs::create_directories(C("cerrada"));
  fs::permissions(C("cerrada"), fs::perms::none);
  try {
    ListMatching(drives, "c:\\cerrada\\*.mdb");
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::kPathNotFound);
  }
  fs::permissions(C("cerrada"), fs::perms::owner_all);
}

TEST_F(FileSystemTest, CopyNeverReplacesAndLeavesNothingOnFailure) {
  WriteFile(C("bases/modelo.mdb"), "modelo");
  WriteFile(C("bases/viejo.mdb"), "viejo");
  CopyFileNoReplace(drives, "c:\\bases\\modelo.mdb", "c:\\bases\\nuevo.mdb");
  EXPECT_EQ(ReadFile(C("bases/nuevo.mdb")), "modelo");

  auto number_of = [&](const char* from, const char* to) {
    try {
      CopyFileNoReplace(drives, from, to);
    } catch (const Error& e) {
      return e.Number();
    }
    return 0;
  };
  EXPECT_EQ(number_of("c:\\bases\\modelo.mdb", "c:\\bases\\VIEJO.mdb"), err::kFileAlreadyExists);
  EXPECT_EQ(ReadFile(C("bases/viejo.mdb")), "viejo");
  EXPECT_EQ(number_of("c:\\bases\\falta.mdb", "c:\\bases\\x.mdb"), err::kFileNotFoundOs);
  EXPECT_EQ(number_of("c:\\bases\\modelo.mdb", "c:\\no hay\\x.mdb"), err::kPathNotFound);
  // Only the three files remain: no temporary copy was left behind.
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(C("bases"))) ++entries;
  EXPECT_EQ(entries, 3);
}

TEST_F(FileSystemTest, ExistenceChecksTellFilesFromDirectories) {
  WriteFile(C("bases/a.mdb"), "");
  EXPECT_TRUE(FileExists(drives, "C:\\Bases\\A.mdb"));
  EXPECT_FALSE(FileExists(drives, "c:\\bases"));
  EXPECT_TRUE(DirectoryExists(drives, "c:\\BASES"));
  EXPECT_FALSE(DirectoryExists(drives, "c:\\bases\\a.mdb"));
  EXPECT_FALSE(DirectoryExists(drives, "z:\\"));
}

}  // namespace
}  // namespace actualiz::platform
