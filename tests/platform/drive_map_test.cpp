#include "platform/drive_map.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/error.h"
#include "tests/support/temp_dir.h"

namespace actualiz::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

class DriveMapTest : public ::testing::Test {
 protected:
  DriveMapTest() {
    fs::create_directories(dir.path() / "c" / "Zarade");
    fs::create_directories(dir.path() / "d");
    drives.Map('C', (dir.path() / "c").string());
    drives.Map('d', (dir.path() / "d").string());
  }
  std::string C(const std::string& rest = {}) const {
    return rest.empty() ? (dir.path() / "c").string() : (dir.path() / "c" / rest).string();
  }

  TempDir dir;
  DriveMap drives;
};

TEST_F(DriveMapTest, MatchesComponentsWithoutRegardToCase) {
  testing::WriteFile(C("Zarade/indices.mdb"), "");
  EXPECT_EQ(drives.ToHost("C:\\ZARADE\\Indices.MDB"), C("Zarade/indices.mdb"));
  EXPECT_EQ(drives.ToHost("c:/zarade/indices.mdb"), C("Zarade/indices.mdb"));
  // A component that does not exist yet is kept as written.
  EXPECT_EQ(drives.ToHost("c:\\zarade\\Nuevo.mdb"), C("Zarade/Nuevo.mdb"));
}

TEST_F(DriveMapTest, ExactNameWinsOverOneThatDiffersInCase) {
  testing::WriteFile(C("Zarade/Clientes.mdb"), "a");
  testing::WriteFile(C("Zarade/clientes.mdb"), "b");
  EXPECT_EQ(drives.ToHost("c:\\Zarade\\clientes.mdb"), C("Zarade/clientes.mdb"));
  EXPECT_EQ(drives.ToHost("c:\\Zarade\\Clientes.mdb"), C("Zarade/Clientes.mdb"));
}

TEST_F(DriveMapTest, DoubledSeparatorsAndDotsResolve) {
  EXPECT_EQ(drives.ToHost("c:\\\\zarade\\x.mdb"), C("Zarade/x.mdb"));
  EXPECT_EQ(drives.ToHost("c:\\zarade\\..\\zarade\\.\\x.mdb"), C("Zarade/x.mdb"));
  // ".." never climbs above the drive's directory.
  EXPECT_EQ(drives.ToHost("c:\\..\\..\\x.mdb"), C("x.mdb"));
  EXPECT_EQ(drives.ToHost("c:\\"), C());
  EXPECT_EQ(drives.ToHost("c:"), C());
}

TEST_F(DriveMapTest, HostPathsKeepTheirMeaningWithAWindowsTail) {
  const std::string zarade = C("Zarade");
  EXPECT_EQ(drives.ToHost(zarade), zarade);
  EXPECT_EQ(drives.ToHost(C() + "\\ZARADE\\x.mdb"), C("Zarade/x.mdb"));
}

TEST_F(DriveMapTest, UnmappedDriveIsUnavailable) {
  try {
    drives.ToHost("e:\\x.mdb");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::kDeviceUnavailable);
  }
  EXPECT_THROW(drives.Map('f', (dir.path() / "nowhere").string()), Error);
  EXPECT_FALSE(drives.IsMapped('f'));
  EXPECT_EQ(drives.Drives(), (std::vector<char>{'c', 'd'}));
}

TEST_F(DriveMapTest, DriveRelativePathsUseTheCurrentDirectory) {
  EXPECT_EQ(drives.CurrentDirectory('D'), "d:\\");
  EXPECT_EQ(drives.Absolute("d:"), "d:\\");
  drives.SetCurrentDirectory('c', "c:\\Zarade");
  EXPECT_EQ(drives.Absolute("c:"), "c:\\Zarade");
  EXPECT_EQ(drives.Absolute("C:x.mdb"), "c:\\Zarade\\x.mdb");
  EXPECT_EQ(drives.Absolute("c:/a//b/"), "c:\\a\\b");
  EXPECT_EQ(drives.Absolute("c:\\a\\.."), "c:\\");
}

TEST_F(DriveMapTest, HostPathsUnderADriveHaveAWindowsName) {
  EXPECT_EQ(drives.FromHost(C("Zarade")), "c:\\Zarade");
  EXPECT_EQ(drives.FromHost(C()), "c:\\");
  EXPECT_EQ(drives.FromHost(C() + "/"), "c:\\");
  EXPECT_EQ(drives.FromHost((dir.path() / "d" / "x" / "y").string()), "d:\\x\\y");
  EXPECT_EQ(drives.FromHost(dir.path().string()), std::nullopt);
  // A sibling whose name starts like the drive's directory is not under it.
  EXPECT_EQ(drives.FromHost((dir.path() / "cc").string()), std::nullopt);
}

// A folder mapped apart resolves, in any spelling, under its own host
// directory and reads back as the folder; its siblings stay on the drive.
TEST_F(DriveMapTest, AFolderMappedApartResolvesThereAndReadsBackAsItself) {
  fs::create_directories(dir.path() / "own");
  drives.MapFolder("C:\\Zarade", (dir.path() / "own").string());
  const std::string own = fs::canonical(dir.path() / "own").string();
  EXPECT_EQ(drives.ToHost("c:/ZARADE/indices.mdb"), own + "/indices.mdb");
  EXPECT_EQ(drives.ToHost("C:\\Zarade"), own);
  EXPECT_EQ(drives.ToHost("c:\\Zaradex\\a.mdb"), C("Zaradex/a.mdb"));
  EXPECT_EQ(drives.FromHost(own + "/indices.mdb"), "c:\\Zarade\\indices.mdb");
  EXPECT_THROW(drives.MapFolder("c:\\x", (dir.path() / "missing").string()), Error);
  // A root is no folder of a drive: it would take the whole drive.
  EXPECT_THROW(drives.MapFolder("c:\\", (dir.path() / "own").string()), Error);
}

}  // namespace
}  // namespace actualiz::platform
