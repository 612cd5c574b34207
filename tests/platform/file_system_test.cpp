#include "platform/file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "base/error.h"
#include "tests/support/error_number.h"
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
    return testing::ErrorNumber([&] { CopyFileNoReplace(drives, from, to); });
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

TEST(CopyLeftoverName, IsExactlyTheHiddenTemporaryOfAnMdbCopy) {
  for (const char* name : {".clientes.mdb.copy-1", ".CLIENTES.MDB.copy-4294967295",
                           ".con espacio.Mdb.copy-07", "..x.mdb.copy-3"}) {
    EXPECT_TRUE(IsCopyLeftoverName(name)) << name;
  }
  for (const char* name :
       {"clientes.mdb.copy-1", ".clientes.mdb.copy-", ".clientes.mdb.copy-1a",
        ".clientes.mdb.copy-1.bak", ".clientes.txt.copy-1", ".clientes.mdb.tmp-1", ".mdb.copy-1",
        ".clientes.mdb", ".copy-1", ".clientes.mdb.COPY-1", ".clientesmdb.copy-1"}) {
    EXPECT_FALSE(IsCopyLeftoverName(name)) << name;
  }
}

TEST_F(FileSystemTest, OnlyLeftoversNoCopyIsWritingAreListedAndRemoved) {
  WriteFile(C("bases/.viejo.mdb.copy-12"), "half a copy");
  WriteFile(C("bases/.otro.MDB.copy-3"), "half a copy");
  WriteFile(C("bases/.viejo.mdb.copy-12.bak"), "keep");
  WriteFile(C("bases/viejo.mdb"), "database");
  fs::create_directory(C("bases/.carpeta.mdb.copy-5"));
  fs::create_symlink(C("bases/viejo.mdb"), C("bases/.enlace.mdb.copy-6"));
  fs::create_directories(C("otra"));
  WriteFile(C("otra/.viejo.mdb.copy-1"), "another directory");

  EXPECT_EQ(CopyLeftovers(drives, "c:\\bases"),
            (std::vector<std::string>{".otro.MDB.copy-3", ".viejo.mdb.copy-12"}));
  EXPECT_TRUE(CopyLeftovers(drives, "c:\\no hay").empty());

  // A copy still being written holds the file's lock: it stays.
  const int writing = ::open(C("bases/.otro.MDB.copy-3").c_str(), O_RDONLY);
  ASSERT_GE(writing, 0);
  ASSERT_EQ(::flock(writing, LOCK_EX), 0);
  EXPECT_FALSE(RemoveCopyLeftover(drives, "c:\\bases\\.otro.MDB.copy-3"));
  EXPECT_TRUE(fs::exists(C("bases/.otro.MDB.copy-3")));
  ::close(writing);
  EXPECT_TRUE(RemoveCopyLeftover(drives, "c:\\bases\\.otro.MDB.copy-3"));
  EXPECT_TRUE(RemoveCopyLeftover(drives, "c:\\bases\\.viejo.mdb.copy-12"));
  EXPECT_FALSE(RemoveCopyLeftover(drives, "c:\\bases\\.viejo.mdb.copy-12"));  // gone already

  // A link or a directory of that name is not a leftover, nor is what it names.
  EXPECT_FALSE(RemoveCopyLeftover(drives, "c:\\bases\\.enlace.mdb.copy-6"));
  EXPECT_FALSE(RemoveCopyLeftover(drives, "c:\\bases\\.carpeta.mdb.copy-5"));
  EXPECT_TRUE(fs::is_symlink(C("bases/.enlace.mdb.copy-6")));
  EXPECT_TRUE(fs::is_directory(C("bases/.carpeta.mdb.copy-5")));
  EXPECT_EQ(ReadFile(C("bases/viejo.mdb")), "database");
  EXPECT_EQ(ReadFile(C("bases/.viejo.mdb.copy-12.bak")), "keep");
  EXPECT_TRUE(fs::exists(C("otra/.viejo.mdb.copy-1")));
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
