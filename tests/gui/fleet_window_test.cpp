// The fleet window over two demo sites: the batch runs on the model's
// worker thread while the window's event loop keeps turning, and closing
// the window during a run stops the run before the model goes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>

#include "app/fleet_window.h"
#include "gui/fleet_window_view.h"
#include "platform/run_lock.h"
#include "tests/gui/gui_support.h"
#include "tests/support/demo_fleet.h"

namespace actualiz::testing {
namespace {

using gui::FleetWindowView;

class FleetWindowGui : public ::testing::Test {
 protected:
  FleetWindowGui()
      : fleet(WriteFleetFile(dir, {DemoLocation("norte", norte, "c:\\datos"),
                                   DemoLocation("este", este, "c:\\datos")})),
        model(std::make_unique<app::FleetWindow>(app::FleetWindowOptions{
            .file = fleet, .jobs = 1, .back_up = false, .wait_seconds = 60})),
        view(std::make_unique<FleetWindowView>(*model)) {
    view->show();
    QApplication::processEvents();
  }

  // Turns the event loop until the run has ended and the window shows it.
  void TurnUntilShownEnded() {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
      if (!model->Running() && !view->StopButton()->isEnabled()) loop.quit();
    });
    check.start(10);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
  }

  std::string State(int row) const {
    return view->Table()->item(row, FleetWindowView::kState)->text().toStdString();
  }

  TempDir dir;
  DemoSite norte, este;
  const std::string fleet;
  std::unique_ptr<app::FleetWindow> model;
  std::unique_ptr<FleetWindowView> view;
};

TEST_F(FleetWindowGui, TheWindowRepaintsWhileTheFleetRunsAndEndsWithEveryState) {
  // este waits for a lock the test holds until the window has shown it
  // running: a run of the demo sites alone can end between two repaints.
  std::optional<platform::RunLock> held;
  held.emplace(este.Data().string(), platform::LockMode::kExclusive, std::chrono::milliseconds(0),
               "the test");
  int ticks_while_running = 0;
  PaintCounter summary(view->Summary());
  bool painted_running = false;
  summary.on_paint = [&] { painted_running |= view->Summary()->text().contains(" 1 running"); };
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    ticks_while_running += model->Running();
    if (painted_running && ticks_while_running > 1) held.reset();
  });
  tick.start(5);

  view->RunButton()->click();
  EXPECT_TRUE(model->Running());  // the click returned while the run goes on
  TurnUntilShownEnded();

  EXPECT_GT(ticks_while_running, 0);
  EXPECT_TRUE(painted_running);
  EXPECT_EQ(State(0), "done");
  EXPECT_EQ(State(1), "done");
  EXPECT_EQ(view->Summary()->text().toStdString(), "2/2 done, 0 running, 0 failed");
  EXPECT_TRUE(view->RunButton()->isEnabled());
}

// The model's worker refers to the model: closing the window during a run
// must stop the run and wait for it, so that the model can go at once.
TEST_F(FleetWindowGui, ClosingTheWindowDuringARunStopsItAndWaits) {
  view->RunButton()->click();
  ASSERT_TRUE(model->Running());
  view->close();
  EXPECT_FALSE(model->Running());
  for (const app::LocationOutcome& row : model->Snapshot().rows) {
    EXPECT_NE(row.state, "running") << row.name;
    EXPECT_NE(row.state, "failed") << row.name << ": " << row.reason;
  }
  view.reset();
  model.reset();
}

}  // namespace
}  // namespace actualiz::testing
