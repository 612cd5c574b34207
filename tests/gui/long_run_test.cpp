// The window while a long action runs: it shows where the run stands, drops
// the operator's input instead of queuing it, and asks before it closes.
// The batch "Transformar" runs over three database pairs; the observers hook
// the paints of the progress panel, which happen only while it runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <set>

#include "gui/main_window.h"
#include "tests/gui/gui_support.h"
#include "tests/tables/tables_support.h"

namespace actualiz::testing {
namespace {

using gui::MainWindow;

const char* const kDefaultData = "c:\\archivos de programa\\vek 2000\\bases";

class LongRun : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"a.mdb", "b.mdb", "c.mdb"}) {
      Build(site, std::string("c:\\prog\\modelos\\") + name,
            {Table("Clientes", {{"Codigo", 4, 4}, {"Nombre", 10, 40}})});
      Build(site, std::string(kDefaultData) + "\\" + name, {Table("Clientes", {{"Codigo", 4, 4}})});
    }
    window = site.MakeWindow(false);
    view = std::make_unique<MainWindow>(*window);
    view->Start();
    // The progress panel is hidden in the window; shown here to watch it paint.
    view->resize(view->FullSize());
    view->ViewOf("Frame9")->show();
    QApplication::processEvents();
    bar = std::make_unique<PaintCounter>(view->ViewOf("Bar1"));
  }

  // "Transformar", the batch, clicked; then the event loop runs what waits.
  void RunBatch() {
    qobject_cast<QPushButton*>(view->ViewOf("Command13"))->click();
    QApplication::processEvents();
  }

  // Runs `act` once, at the first paint of the database bar during the run.
  void AtFirstBarPaint(const std::function<void()>& act) {
    bar->on_paint = [this, act, done = false]() mutable {
      if (done || !window->Running()) return;
      done = true;
      act();
    };
  }

  TestSite site;
  std::unique_ptr<app::Actualiz> window;
  std::unique_ptr<MainWindow> view;
  std::unique_ptr<PaintCounter> bar;
};

// The status label was repainted only once the batch had ended: the
// operator saw the database bar move but never which database was in hand.
TEST_F(LongRun, TheBarAndTheStatusLabelShowEachDatabaseWhileTheRunGoesOn) {
  auto* progress = qobject_cast<QProgressBar*>(view->ViewOf("Bar1"));
  std::set<int> values;
  bar->on_paint = [&] {
    if (window->Running()) values.insert(progress->value());
  };
  PaintCounter label(view->ViewOf("Label4"));
  auto* status = qobject_cast<QLabel*>(view->ViewOf("Label4"));
  std::set<std::string> captions;
  label.on_paint = [&] {
    if (window->Running()) captions.insert(status->text().toStdString());
  };

  RunBatch();

  EXPECT_EQ(values, (std::set<int>{333, 667, 1000}));
  for (const char* name : {"a.mdb", "b.mdb", "c.mdb"}) EXPECT_EQ(captions.count(name), 1u) << name;
  EXPECT_EQ(window->Label4.Caption(), "Proceso Terminado");
}

// A click or a key made while a run went on was queued and ran after it:
// "Salir" pressed during the batch ended the program once it was done.
TEST_F(LongRun, ClicksAndKeysMadeDuringTheRunAreDropped) {
  const std::vector<std::pair<const char*, std::vector<QEvent::Type>>> inputs = {
      {"mouse", {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}},
      {"keys", {QEvent::KeyPress, QEvent::KeyRelease}},
  };
  QWidget* salir = view->ViewOf("Command14");
  const QPoint centre = salir->rect().center();
  for (const auto& [what, types] : inputs) {
    SCOPED_TRACE(what);
    AtFirstBarPaint([&] {
      for (const QEvent::Type type : types) {
        if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
          QApplication::postEvent(salir, new QKeyEvent(type, Qt::Key_Space, Qt::NoModifier, " "));
        } else {
          const Qt::MouseButtons held =
              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
          QApplication::postEvent(
              salir, new QMouseEvent(type, QPointF(centre), QPointF(salir->mapToGlobal(centre)),
                                     Qt::LeftButton, held, Qt::NoModifier));
        }
      }
    });

    RunBatch();

    EXPECT_FALSE(window->Ended());
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(window->Label4.Caption(), "Proceso Terminado");
  }
  // Once the run is over the window takes input again.
  Click(salir, centre);
  EXPECT_TRUE(window->Ended());
}

// Closing the window during a run asks; yes stops the batch before its next
// database and closes the window then, no lets the run finish.
TEST_F(LongRun, ClosingDuringTheRunAsksAndStopsOnlyOnYes) {
  for (const bool yes : {false, true}) {
    SCOPED_TRACE(yes);
    site.op.answer = yes;
    AtFirstBarPaint([&] { QApplication::postEvent(view.get(), new QCloseEvent); });

    RunBatch();

    EXPECT_EQ(site.op.questions.size(), 1u);
    EXPECT_EQ(view->isVisible(), !yes);
    EXPECT_EQ(window->Bar1.Value(), yes ? 1.0f : 3.0f);
    EXPECT_EQ(window->Label4.Caption(), yes ? "Proceso Interrumpido" : "Proceso Terminado");
    EXPECT_FALSE(window->Ended());
    site.op.questions.clear();
  }
}

}  // namespace
}  // namespace actualiz::testing
