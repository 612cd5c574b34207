// The Qt window over a real window model on a temporary drive c:, under the
// offscreen platform: what the operator sees, and what reaches the model.
#include "gui/main_window.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <set>

#include "base/server_address.h"
#include "gui/control_view.h"
#include "gui/dir_list_view.h"
#include "gui/record_grid_view.h"
#include "tests/gui/gui_support.h"
#include "tests/support/db_builder.h"
#include "tests/support/server_site.h"
#include "tests/support/window_fixture.h"

namespace actualiz::testing {
namespace {

using gui::MainWindow;
using gui::ToPixels;

const char* const kDefaultData = "c:\\archivos de programa\\vek 2000\\bases";

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site.MakeDirectory(kDefaultData);
    site.Database(std::string(kDefaultData) + "\\clientes.mdb");
    site.Database(std::string(kDefaultData) + "\\Articulos.mdb");
    site.Database("c:\\prog\\modelos\\clientes.mdb");
    site.Database("c:\\prog\\modelos\\articulos.mdb");
    site.MakeDirectory("c:\\datos\\sub");
    site.Database("c:\\datos\\ventas.mdb");
    window = site.MakeWindow(false);
    view = std::make_unique<MainWindow>(*window);
  }

  void Start() { view->Start(); }

  // A new window over the site as it is now; the view goes before the model it draws.
  void Rebuild() {
    view.reset();
    window = site.MakeWindow(false);
    view = std::make_unique<MainWindow>(*window);
  }

  QWidget* View(const std::string& name) {
    QWidget* widget = view->ViewOf(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  template <class W>
  W* View(const std::string& name) {
    return dynamic_cast<W*>(View(name));
  }

  // Where a control's widget lies in the window's client area.
  QRect InWindow(QWidget* widget) {
    return QRect(widget->mapTo(view.get(), QPoint(0, 0)), widget->size());
  }

  static std::vector<std::string> Items(QListWidget* list) {
    std::vector<std::string> out;
    for (int i = 0; i < list->count(); ++i) out.push_back(list->item(i)->text().toStdString());
    return out;
  }

  QTreeWidgetItem* DirEntry(const std::string& text) {
    auto* dir = View<QTreeWidget>("Dir1");
    const auto found =
        dir->findItems(QString::fromStdString(text), Qt::MatchFixedString | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
  }

  TestSite site;
  std::unique_ptr<app::Actualiz> window;
  std::unique_ptr<MainWindow> view;
};

// ---- 1. What the operator sees ----

TEST_F(WindowTest, OpensCentredAtItsDesignSizeWithItsCaptionAndIcon) {
  Start();
  EXPECT_EQ(view->size(), QSize(283, 149));
  EXPECT_EQ(view->windowTitle().toStdString(), "Añade Pomerd");
  const QList<QSize> sizes = view->windowIcon().availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(16, 16)));
  EXPECT_TRUE(sizes.contains(QSize(32, 32)));
  const QRect screen = view->screen()->availableGeometry();
  EXPECT_LE((view->geometry().center() - screen.center()).manhattanLength(), 1);
}

TEST_F(WindowTest, InitialViewHoldsOnlyTheDriveAndDirectoryListsAndTwoButtons) {
  Start();
  std::set<std::string> seen;
  for (app::Control* control : window->Controls()) {
    QWidget* widget = View(control->FullName());
    if (widget->isVisibleTo(view.get()) && InWindow(widget).intersects(view->rect())) {
      seen.insert(control->FullName());
    }
  }
  EXPECT_EQ(seen, (std::set<std::string>{"Drive1", "Dir1", "Command26", "Command14"}));
  EXPECT_FALSE(view->Grid()->isVisibleTo(view.get()));
  EXPECT_EQ(View<QPushButton>("Command26")->text().toStdString(), "Transformar");
  EXPECT_EQ(View<QPushButton>("Command14")->text().toStdString(), "Salir");
  view->grab().save(QString::fromStdString((ScreenshotDir() / "window-initial.png").string()));
}

TEST_F(WindowTest, EnlargedWindowShowsEveryVisibleControlAtItsPosition) {
  BuildDatabase(site.Host("c:\\Neptuno.mdb"),
                ReadFile(std::filesystem::path(ACTUALIZ_SOURCE_DIR) / "demo" / "neptuno.json"));
  Start();
  window->Click("Command15_Click");              // fills "Bases Añadir" for the screenshot
  ASSERT_TRUE(window->Click("Command3_Click"));  // shows the sample table's grid
  view->resize(view->FullSize());
  for (app::Control* control : window->Controls()) {
    SCOPED_TRACE(control->FullName());
    QWidget* widget = View(control->FullName());
    EXPECT_EQ(widget->geometry(), ToPixels(control->Geometry()));
    const app::Control* container = control->Container();
    EXPECT_EQ(widget->parentWidget(),
              container ? View(container->FullName()) : static_cast<QWidget*>(view.get()));
    bool shown = control->Visible();
    for (const app::Control* c = container; c; c = c->Container()) shown = shown && c->Visible();
    EXPECT_EQ(widget->isVisibleTo(view.get()), shown);
    if (shown) {
      EXPECT_TRUE(view->rect().contains(InWindow(widget)));
    }
  }
  // The controls that start hidden stay hidden, the whole progress panel with them.
  for (const char* hidden : {"Command12", "Command13", "Command25", "Label5", "Frame9", "Bar1",
                             "Label4", "Data1", "Data2", "Data3", "Data4"}) {
    EXPECT_FALSE(View(hidden)->isVisibleTo(view.get())) << hidden;
  }
  EXPECT_TRUE(View("Data5")->isVisibleTo(view.get()));
  // The sample table's grid stands in free space, clear of every control shown.
  const QRect grid = InWindow(view->Grid());
  EXPECT_TRUE(view->Grid()->isVisible());
  EXPECT_TRUE(view->rect().contains(grid));
  for (app::Control* control : window->Controls()) {
    QWidget* widget = View(control->FullName());
    if (widget->isVisibleTo(view.get())) {
      EXPECT_FALSE(InWindow(widget).intersects(grid)) << control->FullName();
    }
  }
  view->grab().save(QString::fromStdString((ScreenshotDir() / "window-enlarged.png").string()));
}

TEST_F(WindowTest, ListsShowTheModelsListsInTheirOrderAndFollowThem) {
  Start();
  EXPECT_EQ(Items(View<QListWidget>("List7")), window->List7.Items());
  EXPECT_EQ(Items(View<QListWidget>("List6")), window->List6.Items());
  EXPECT_EQ(window->List6.ListCount(), 2);

  window->List8.AddItem("zeta.mdb");
  window->List8.AddItem("alfa.mdb");
  EXPECT_EQ(Items(View<QListWidget>("List8")), (std::vector<std::string>{"zeta.mdb", "alfa.mdb"}));
  window->List8.SetListIndex(1);
  EXPECT_EQ(View<QListWidget>("List8")->currentRow(), 1);
  window->List8.RemoveItem(0);
  EXPECT_EQ(Items(View<QListWidget>("List8")), (std::vector<std::string>{"alfa.mdb"}));
  EXPECT_EQ(View<QListWidget>("List8")->currentRow(), 0);
  window->List8.Clear();
  EXPECT_EQ(View<QListWidget>("List8")->count(), 0);
  EXPECT_EQ(View<QListWidget>("List8")->currentRow(), -1);
}

// ---- 2. The operator's actions reach the model ----

TEST_F(WindowTest, ButtonClickRaisesItsHandler) {
  Start();
  View<QPushButton>("Command15")->click();  // "Bases Añadir"
  EXPECT_EQ(window->List8.Items(), (std::vector<std::string>{"articulos.mdb"}));
  EXPECT_EQ(Items(View<QListWidget>("List8")), window->List8.Items());
}

TEST_F(WindowTest, SalirEndsTheProgramAndClosesTheWindow) {
  Start();
  View<QPushButton>("Command14")->click();
  EXPECT_TRUE(window->Ended());
  EXPECT_TRUE(site.op.ended);
  EXPECT_FALSE(view->isVisible());
  // Nothing runs once the program has ended.
  View<QPushButton>("Command15")->click();
  EXPECT_EQ(window->List8.ListCount(), 0);
}

TEST_F(WindowTest, OperatorSelectionAndTypingReachTheModel) {
  Start();
  auto* list = View<QListWidget>("List6");
  Click(list->viewport(), list->visualItemRect(list->item(1)).center());
  EXPECT_EQ(window->List6.ListIndex(), 1);
  EXPECT_EQ(window->List6.Text(), list->item(1)->text().toStdString());

  auto* text4 = View<QLineEdit>("Text4");
  text4->clear();  // programmatic: the model keeps its text until the operator types
  EXPECT_EQ(window->Text4.Text(), "c:\\dorvantel\\viejas\\zolo.mdb");
  Type(text4, "c:\\ñ.mdb");
  EXPECT_EQ(window->Text4.Text(), "c:\\ñ.mdb");

  window->Text3.SetText("c:\\modelos\\x.mdb");
  EXPECT_EQ(View<QLineEdit>("Text3")->text().toStdString(), "c:\\modelos\\x.mdb");
}

// ---- 3. Drive and directory lists ----

TEST_F(WindowTest, DirectoryListShowsThePathOpenAboveAndSubfoldersBelow) {
  Start();
  window->AtTop("Dir1", [&] { window->Dir1.SetPath("c:\\datos"); });
  auto* dir = View<QTreeWidget>("Dir1");
  ASSERT_EQ(dir->topLevelItemCount(), 1);
  QTreeWidgetItem* root = dir->topLevelItem(0);
  EXPECT_EQ(root->text(0).toStdString(), "c:\\");
  ASSERT_EQ(root->childCount(), 1);
  QTreeWidgetItem* datos = root->child(0);
  EXPECT_EQ(datos->text(0).toStdString(), "datos");
  EXPECT_EQ(dir->currentItem(), datos);
  // Only folders are offered below, not the databases beside them.
  ASSERT_EQ(datos->childCount(), 1);
  EXPECT_EQ(datos->child(0)->text(0).toStdString(), "sub");
  EXPECT_EQ(datos->child(0)->data(0, gui::DirListView::kPathRole).toString().toStdString(),
            "c:\\datos\\sub");
}

TEST_F(WindowTest, DoubleClickOnAFolderOpensItAndRefillsBasesViejas) {
  Start();
  ASSERT_EQ(window->List6.ListCount(), 2);
  // Up to the root, then down into "datos".
  auto* dir = View<QTreeWidget>("Dir1");
  QTreeWidgetItem* root = dir->topLevelItem(0);
  DoubleClick(dir->viewport(), dir->visualItemRect(root).center());
  EXPECT_EQ(window->Dir1.Path(), "c:\\");
  QTreeWidgetItem* datos = DirEntry("datos");
  ASSERT_NE(datos, nullptr);
  dir->scrollToItem(datos);
  DoubleClick(dir->viewport(), dir->visualItemRect(datos).center());
  EXPECT_EQ(window->Dir1.Path(), "c:\\datos");
  EXPECT_EQ(window->List6.Items(), (std::vector<std::string>{"ventas.mdb"}));
  EXPECT_EQ(Items(View<QListWidget>("List6")), window->List6.Items());
}

TEST_F(WindowTest, AFolderThatVanishedCannotBeOpenedAndTheListKeepsItsDirectory) {
  Start();
  window->AtTop("Dir1", [&] { window->Dir1.SetPath("c:\\datos"); });
  std::filesystem::remove(site.Host("c:\\datos\\sub"));
  auto* dir = View<QTreeWidget>("Dir1");
  QTreeWidgetItem* sub = DirEntry("sub");
  ASSERT_NE(sub, nullptr);
  DoubleClick(dir->viewport(), dir->visualItemRect(sub).center());
  EXPECT_EQ(window->Dir1.Path(), "c:\\datos");
  EXPECT_EQ(window->List6.Items(), (std::vector<std::string>{"ventas.mdb"}));
  ASSERT_EQ(site.op.messages.size(), 1u);
  EXPECT_EQ(site.op.messages[0].look, platform::MessageLook::kCritical);
  EXPECT_EQ(dir->currentItem()->text(0).toStdString(), "datos");
}

// A data directory on a server, opened as the program's --data opens it:
// List6 lists its schemas, Dir1 shows the location alone; one that cannot
// be reached is the operator's message naming it, and the lists stay.
TEST_F(WindowTest, ADataDirectoryOnAServerListsItsSchemasAndOneUnreachableIsRefused) {
  const std::string location = ParseServerAddress(CopyToServer(site.Host("c:\\datos")))->Display();
  Start();
  const size_t messages = site.op.messages.size();
  view->OpenDataDirectory(location);
  EXPECT_EQ(window->Dir1.Path(), location);
  EXPECT_EQ(Items(View<QListWidget>("List6")), (std::vector<std::string>{"ventas.mdb"}));
  auto* dir = View<QTreeWidget>("Dir1");
  ASSERT_EQ(dir->topLevelItemCount(), 1);
  EXPECT_EQ(dir->topLevelItem(0)->text(0).toStdString(), location);
  EXPECT_EQ(dir->topLevelItem(0)->childCount(), 0);
  EXPECT_EQ(site.op.messages.size(), messages);
  view->resize(view->FullSize());
  view->grab().save(QString::fromStdString((ScreenshotDir() / "window-server.png").string()));

  const std::string unreachable = "postgresql://actualiz@/site1?host=" + site.dir().File("none");
  view->OpenDataDirectory(unreachable);
  EXPECT_EQ(window->Dir1.Path(), location);
  EXPECT_EQ(window->List6.Items(), (std::vector<std::string>{"ventas.mdb"}));
  ASSERT_EQ(site.op.messages.size(), messages + 1);
  EXPECT_NE(site.op.messages.back().text.find("site1"), std::string::npos)
      << site.op.messages.back().text;
}

TEST_F(WindowTest, DriveListOffersTheMappedDrives) {
  TempDir other;
  site.drives.Map('e', other.path().string());
  Rebuild();
  Start();
  auto* drives = View<QComboBox>("Drive1");
  ASSERT_EQ(drives->count(), 2);
  EXPECT_EQ(drives->itemData(0).toString().toStdString(), "c:");
  EXPECT_EQ(drives->itemText(1).toStdString(), "e: [" + other.path().string() + "]");
  EXPECT_EQ(drives->currentIndex(), 0);
}

TEST_F(WindowTest, PickingADriveShowsItsCurrentDirectory) {
  TempDir other;
  site.drives.Map('e', other.path().string());
  WriteFile(other.path() / "pedidos.mdb", "");
  Rebuild();
  Start();
  auto* drives = View<QComboBox>("Drive1");
  emit drives->activated(1);
  EXPECT_EQ(window->Drive1.Drive(), "e:");
  EXPECT_EQ(window->Dir1.Path(), "e:\\");
  EXPECT_EQ(window->List6.Items(), (std::vector<std::string>{"pedidos.mdb"}));
  EXPECT_EQ(View<QTreeWidget>("Dir1")->topLevelItem(0)->text(0).toStdString(), "e:\\");
  EXPECT_TRUE(site.op.messages.empty());
}

TEST_F(WindowTest, ADriveThatCannotBeReadLeavesTheDirectoryAndReportsTheFailure) {
  auto gone = std::make_unique<TempDir>();
  site.drives.Map('e', gone->path().string());
  Rebuild();
  Start();
  gone.reset();  // the drive's medium is gone
  const std::string before = window->Dir1.Path();
  const std::vector<std::string> listed = window->List6.Items();

  auto* drives = View<QComboBox>("Drive1");
  emit drives->activated(1);
  EXPECT_EQ(window->Dir1.Path(), before);
  EXPECT_EQ(window->List6.Items(), listed);
  EXPECT_EQ(Items(View<QListWidget>("List6")), listed);
  ASSERT_EQ(site.op.messages.size(), 1u);
  EXPECT_EQ(site.op.messages[0].look, platform::MessageLook::kCritical);
  EXPECT_EQ(drives->currentIndex(), 1);  // the drive list shows the drive picked
  EXPECT_EQ(View<QTreeWidget>("Dir1")->currentItem()->text(0).toStdString(), "bases");
}

// ---- 4. Start-up, repaint and pointer ----

TEST_F(WindowTest, StartUpRunsOnceEvenWhenTheWindowIsActivatedAgain) {
  Start();
  const int models = window->List7.ListCount();
  ASSERT_EQ(models, 2);
  for (int i = 0; i < 3; ++i) {
    QEvent deactivate(QEvent::WindowDeactivate);
    QApplication::sendEvent(view.get(), &deactivate);
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(view.get(), &activate);
    view->hide();
    view->show();
    view->activateWindow();
    QApplication::processEvents();
  }
  EXPECT_EQ(window->List7.ListCount(), models);
  EXPECT_EQ(View<QListWidget>("List7")->count(), models);
}

TEST_F(WindowTest, FrameRefreshRepaintsItsContentsAndTheWindowCatchesUpWhileTheHandlerRuns) {
  Start();
  view->resize(view->FullSize());
  View("Frame9")->show();  // the panel is hidden in the window; shown here to watch it paint
  QApplication::processEvents();
  PaintCounter bar(View("Bar1"));
  PaintCounter outside(View<QListWidget>("List7")->viewport());
  int painted_during = -1;
  window->AtTop("test", [&] {
    window->Bar1.SetMax(4);
    window->Bar1.SetValue(3);
    window->List7.AddItem("nueva.mdb");
    const int before = bar.count;
    window->Frame13.Refresh();
    painted_during = bar.count - before;
    EXPECT_GE(outside.count, 1);  // the rest of the window's changes are painted too
  });
  EXPECT_GE(painted_during, 1);
  EXPECT_EQ(View<QProgressBar>("Bar1")->value(), 750);
}

TEST_F(WindowTest, MousePointer11ShowsTheBusyCursorUntilItIsReset) {
  Start();
  Qt::CursorShape during = Qt::ArrowCursor;
  window->AtTop("test", [&] {
    window->SetMousePointer(11);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    during = QGuiApplication::overrideCursor()->shape();
    window->SetMousePointer(11);  // setting it twice needs one reset only
    window->SetMousePointer(0);
  });
  EXPECT_EQ(during, Qt::WaitCursor);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

  window->SetMousePointer(11);  // left set when the window goes away
  view.reset();
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace actualiz::testing
