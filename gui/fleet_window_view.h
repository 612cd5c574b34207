// The fleet window: draws the fleet window model (app/fleet_window.h) and
// hands the operator's buttons to it.
//
// A table lists every location of the fleet file with its data location,
// its state, its totals and its seconds, the reason of a failure in a
// column of its own and as the state's tooltip; under it the summary line
// ("3/10 done, 2 running, 1 failed; slowest: norte (12 s)") and what the
// model has to say (a fleet file that cannot be read, a stopped run).
//
// The run goes on the model's worker thread; the window polls the model
// with a timer and redraws when it has changed (every tick while a run goes
// on, to follow the seconds), so the event loop keeps turning throughout.
// Closing the window during a run stops the run and waits for the running
// locations to reach a stop between two databases before it closes.
#pragma once

#include <QWidget>
#include <cstdint>

#include "app/fleet_window.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

namespace actualiz::gui {

class FleetWindowView : public QWidget {
  Q_OBJECT
 public:
  // The table's columns, in order.
  enum Column { kName, kData, kState, kPairs, kUpdated, kCopied, kFailures, kSeconds, kReason };

  // `model` must outlive this window.
  explicit FleetWindowView(app::FleetWindow& model, QWidget* parent = nullptr);

  // Redraws the window from the model's snapshot now.
  void Refresh();

  QTableWidget* Table() const { return table_; }
  QLabel* Summary() const { return summary_; }
  QLabel* Notice() const { return notice_; }
  QPushButton* RunButton() const { return run_; }
  QPushButton* CheckButton() const { return check_; }
  QPushButton* StopButton() const { return stop_; }
  // "Only the locations not done": a batch resumes (checked at first).
  QCheckBox* ResumeBox() const { return resume_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Start(app::FleetWork work);
  void Poll();

  app::FleetWindow& model_;
  QTableWidget* table_;
  QLabel* summary_;
  QLabel* notice_;
  QPushButton* run_;
  QPushButton* check_;
  QPushButton* stop_;
  QCheckBox* resume_;
  QTimer* poll_;
  uint64_t shown_changes_ = UINT64_MAX;
};

}  // namespace actualiz::gui
