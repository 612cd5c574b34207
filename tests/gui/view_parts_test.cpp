// The pieces of the view that can go wrong on their own: taking a directory
// path apart, filling a progress bar, the icon's pictures and the message
// boxes shown to the operator.
#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cmath>
#include <limits>
#include <set>

#include "gui/dir_list_view.h"
#include "gui/progress_bar_view.h"
#include "gui/qt_operator.h"
#include "gui/window_icon.h"

namespace actualiz::testing {
namespace {

using gui::ChainOf;
using gui::ProgressBarView;

// ---- 1. Directory paths as the directory list draws them ----

TEST(FolderChain, TakesAWindowsPathApartIntoRootAndFolders) {
  const gui::FolderChain chain = ChainOf("c:\\archivos de programa\\vek 2000\\bases");
  EXPECT_EQ(chain.root, "c:\\");
  EXPECT_EQ(chain.folders, (std::vector<std::string>{"archivos de programa", "vek 2000", "bases"}));
  EXPECT_EQ(chain.PathTo(0), "c:\\");
  EXPECT_EQ(chain.PathTo(2), "c:\\archivos de programa\\vek 2000");
  EXPECT_EQ(chain.Child("viejas"), "c:\\archivos de programa\\vek 2000\\bases\\viejas");
}

TEST(FolderChain, DriveRootsAndStraySeparatorsGiveOneBackslash) {
  for (const char* root : {"c:", "c:\\", "C:/", "c:\\\\"}) {
    const gui::FolderChain chain = ChainOf(root);
    EXPECT_EQ(chain.folders.size(), 0u) << root;
    EXPECT_EQ(chain.Child("datos").substr(1), ":\\datos") << root;
  }
  const gui::FolderChain mixed = ChainOf("d:/uno\\\\dos/");
  EXPECT_EQ(mixed.root, "d:\\");
  EXPECT_EQ(mixed.folders, (std::vector<std::string>{"uno", "dos"}));
  EXPECT_EQ(mixed.Child("tres"), "d:\\uno\\dos\\tres");
}

TEST(FolderChain, HostPathsKeepTheirSlashes) {
  const gui::FolderChain chain = ChainOf("/srv/clientes/");
  EXPECT_EQ(chain.root, "/");
  EXPECT_EQ(chain.PathTo(1), "/srv");
  EXPECT_EQ(chain.Child("c"), "/srv/clientes/c");
  EXPECT_EQ(ChainOf("/").Child("srv"), "/srv");
}

// ---- 2. Progress bars drawn clamped ----

TEST(ProgressBarFill, FollowsTheShareOfTheMaximum) {
  EXPECT_EQ(ProgressBarView::FilledSteps(100, 0), 0);
  EXPECT_EQ(ProgressBarView::FilledSteps(100, 50), ProgressBarView::kSteps / 2);
  EXPECT_EQ(ProgressBarView::FilledSteps(3, 1), 333);
  EXPECT_EQ(ProgressBarView::FilledSteps(7, 7), ProgressBarView::kSteps);
}

TEST(ProgressBarFill, OutOfRangeValuesNeverOverflowTheBar) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(ProgressBarView::FilledSteps(0, 0), 0);  // a maximum of 0 shows empty
  EXPECT_EQ(ProgressBarView::FilledSteps(0, 5), 0);
  EXPECT_EQ(ProgressBarView::FilledSteps(-4, 2), 0);
  EXPECT_EQ(ProgressBarView::FilledSteps(10, 25), ProgressBarView::kSteps);  // above: full
  EXPECT_EQ(ProgressBarView::FilledSteps(10, -1), 0);
  EXPECT_EQ(ProgressBarView::FilledSteps(nan, 1), 0);
  EXPECT_EQ(ProgressBarView::FilledSteps(10, nan), 0);
  EXPECT_EQ(ProgressBarView::FilledSteps(inf, 1), 0);
  EXPECT_EQ(ProgressBarView::FilledSteps(1, inf), ProgressBarView::kSteps);
}

// ---- 3. The window's icon ----

TEST(WindowIcon, BothPicturesUseSixteenColoursAtMost) {
  for (int size : {16, 32}) {
    const QImage image = gui::WindowIconImage(size);
    ASSERT_EQ(image.size(), QSize(size, size));
    std::set<QRgb> colours;
    int drawn = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const QRgb pixel = image.pixel(x, y);
        if (qAlpha(pixel) == 0) continue;
        EXPECT_EQ(qAlpha(pixel), 255) << "a half-transparent pixel at " << x << "," << y;
        colours.insert(pixel);
        ++drawn;
      }
    }
    EXPECT_LE(colours.size(), 16u) << size;
    EXPECT_GT(drawn, size * size / 3) << "the picture is mostly empty at " << size;
  }
}

// ---- 4. Message boxes ----

struct Shown {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  Qt::TextFormat format = Qt::AutoText;
  bool modal = false;
};

// Shows a message through the operator and reads the box while it is up.
Shown ShowAndRead(const std::string& text, platform::MessageLook look) {
  Shown shown;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    shown = {box->windowTitle(), box->text(), box->icon(), box->textFormat(), box->isModal()};
    box->button(QMessageBox::Ok)->click();
  });
  gui::QtOperator op;
  op.ShowMessage(text, look);
  return shown;
}

TEST(QtOperator, ShowsAModalBoxTitledWithTheProgramsTitleAndTheLooksIcon) {
  const std::pair<platform::MessageLook, QMessageBox::Icon> looks[] = {
      {platform::MessageLook::kPlain, QMessageBox::NoIcon},
      {platform::MessageLook::kCritical, QMessageBox::Critical},
      {platform::MessageLook::kInformation, QMessageBox::Information},
      {platform::MessageLook::kWarning, QMessageBox::Warning}};
  for (const auto& [look, icon] : looks) {
    const Shown shown = ShowAndRead("Terminado", look);
    EXPECT_EQ(shown.title.toStdString(), "Actualiz");
    EXPECT_EQ(shown.text.toStdString(), "Terminado");
    EXPECT_EQ(shown.icon, icon);
    EXPECT_TRUE(shown.modal);
  }
}

TEST(QtOperator, ShowsTextAsPlainTextNotMarkup) {
  const std::string text = "<b>Error 3024</b>: c:\\datos\\<clientes>.mdb";
  const Shown shown = ShowAndRead(text, platform::MessageLook::kCritical);
  EXPECT_EQ(shown.text.toStdString(), text);
  EXPECT_EQ(shown.format, Qt::PlainText);
}

}  // namespace
}  // namespace actualiz::testing
