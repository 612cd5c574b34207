// Choosing the data directory (List6 follows it) and "Bases Añadir" (List8).
#include <gtest/gtest.h>

#include <filesystem>

#include "app/window_state.h"
#include "tests/support/window_fixture.h"

namespace actualiz::app {
namespace {

using testing::TestSite;
using Items = std::vector<std::string>;

class Discovery : public ::testing::Test {
 protected:
  Discovery() {
    site.Touch("c:\\datos\\clientes.mdb");
    site.Touch("c:\\datos\\Zolo.mdb");
    site.MakeDirectory("c:\\otra");
    site.Touch("c:\\otra\\b.mdb");
    site.Touch("c:\\otra\\a.MDB");
    site.MakeDirectory("c:\\otra\\sub.mdb");
    window = site.MakeWindow();
  }
  // Fills List7 and List6 directly, as start-up and Dir1_Change would.
  void Lists(const Items& models, const Items& targets) {
    window->List7.Clear();
    for (const auto& name : models) window->List7.AddItem(name);
    window->List6.Clear();
    for (const auto& name : targets) window->List6.AddItem(name);
  }

  TestSite site;
  std::unique_ptr<Actualiz> window;
};

TEST_F(Discovery, List6FollowsEveryChangeOfDirectory) {
  EXPECT_EQ(window->List6.Items(), (Items{"clientes.mdb", "Zolo.mdb"}));
  window->Dir1.SetPath("C:\\OTRA");
  EXPECT_EQ(window->Dir1.Path(), "c:\\OTRA");  // the case as written, the drive in lower case
  EXPECT_EQ(window->List6.Items(), (Items{"a.MDB", "b.mdb", "sub.mdb"}));
  site.Touch("c:\\raiz.mdb");
  window->Dir1.SetPath("c:\\");  // a drive root: "c:\*.mdb"
  EXPECT_EQ(window->List6.Items(), (Items{"raiz.mdb"}));
  site.Touch("c:\\datos\\nueva.mdb");
  window->Dir1.SetPath("c:\\datos");
  EXPECT_EQ(window->List6.Items(), (Items{"clientes.mdb", "nueva.mdb", "Zolo.mdb"}));
  // Setting the same path again lists it again.
  site.Touch("c:\\datos\\otra.mdb");
  window->Dir1.SetPath("c:\\datos");
  EXPECT_EQ(window->List6.ListCount(), 4);
}

TEST_F(Discovery, DirectoryThatDoesNotExistChangesNothing) {
  EXPECT_FALSE(window->AtTop("Dir1.Path", [&] { window->Dir1.SetPath("c:\\no hay"); }));
  EXPECT_EQ(window->Dir1.Path(), "c:\\datos");
  EXPECT_EQ(window->List6.ListCount(), 2);
  ASSERT_EQ(site.op.messages.size(), 1u);
  EXPECT_EQ(site.op.messages[0].look, platform::MessageLook::kCritical);
  EXPECT_EQ(site.op.messages[0].text.rfind("Error 76: Path not found\n", 0), 0u)
      << site.op.messages[0].text;
}

TEST_F(Discovery, PickingADriveShowsItsCurrentDirectory) {
  std::filesystem::create_directories(site.dir().path() / "d" / "bases");
  testing::WriteFile((site.dir().path() / "d" / "bases" / "d.mdb").string(), "");
  site.drives.Map('d', (site.dir().path() / "d").string());
  site.drives.SetCurrentDirectory('d', "d:\\bases");
  window = site.MakeWindow();
  EXPECT_EQ(window->Drive1.drives, (Items{"c:", "d:"}));
  window->Drive1.SetDrive("D:");
  EXPECT_EQ(window->Drive1.Drive(), "d:");
  EXPECT_EQ(window->Dir1.Path(), "d:\\bases");
  EXPECT_EQ(window->List6.Items(), (Items{"d.mdb"}));
}

TEST_F(Discovery, UnreadableDriveKeepsTheDirectoryButShowsThePickedDrive) {
  EXPECT_FALSE(window->AtTop("Drive1.Drive", [&] { window->Drive1.SetDrive("q:"); }));
  EXPECT_EQ(window->Drive1.Drive(), "q:");
  EXPECT_EQ(window->Dir1.Path(), "c:\\datos");
  EXPECT_EQ(window->List6.ListCount(), 2);
  ASSERT_EQ(site.op.messages.size(), 1u);
  // The message names the handler where the failure happened.
  EXPECT_NE(site.op.messages[0].text.find("Error 68: Device unavailable\nDrive1_Change"),
            std::string::npos)
      << site.op.messages[0].text;
}

TEST_F(Discovery, BasesAnadirListsModelsWithoutATargetOfExactlyTheSameName) {
  Lists({"clientes.mdb", "Zolo.mdb", "nueva.mdb", "ZOLO.mdb"},
        {"Clientes.mdb", "Zolo.mdb", "Zolo.mdb", "otra.mdb"});
  EXPECT_TRUE(window->Click("Command15_Click"));
  EXPECT_EQ(window->List8.Items(), (Items{"clientes.mdb", "nueva.mdb", "ZOLO.mdb"}));
  // It leaves the last entries selected.
  EXPECT_EQ(window->List7.ListIndex(), 3);
  EXPECT_EQ(window->List6.ListIndex(), 3);
  EXPECT_EQ(window->List6.Text(), "otra.mdb");
  // Run again, it rebuilds List8 rather than adding to it.
  window->Click("Command15_Click");
  EXPECT_EQ(window->List8.ListCount(), 3);
}

TEST_F(Discovery, BasesAnadirWithAnEmptyList) {
  Lists({"a.mdb", "b.mdb"}, {});
  window->Click("Command15_Click");
  EXPECT_EQ(window->List8.Items(), (Items{"a.mdb", "b.mdb"}));
  EXPECT_EQ(window->List6.ListIndex(), -1);
  EXPECT_EQ(window->List7.Text(), "b.mdb");

  Lists({}, {"a.mdb"});
  window->List6.SetListIndex(0);
  window->Click("Command15_Click");
  EXPECT_TRUE(window->List8.Items().empty());
  EXPECT_EQ(window->List6.ListIndex(), 0);  // untouched: no model to compare
}

TEST_F(Discovery, SelAndSeleccionarChangeNothing) {
  window->Click("Command15_Click");
  const nlohmann::json before = WindowState(*window);
  EXPECT_TRUE(window->Click("Command1_Click"));
  EXPECT_TRUE(window->Click("Command7_Click"));
  EXPECT_EQ(WindowState(*window), before);
}

}  // namespace
}  // namespace actualiz::app
