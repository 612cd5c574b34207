// The Qt window: draws the window model and hands the operator's actions to it.
//
// Every control of the model gets one view of its kind, placed at its
// position (twips / 15) inside its container's view; hidden controls stay
// hidden. The main window builds the views and connects their signals in one
// place; each connection hands the action to the model, a click as the
// button's click handler, a pick, an edit or a selection under the model's
// top-level rule. The window holds no state of its own: it listens to the
// controls and redraws the one that changed. The model's mouse pointer 11
// shows the busy cursor.
//
// A handler runs on the event thread, so the window would neither repaint
// nor hear the operator until it returns. A control's Refresh (the progress
// frame, a bar, the status label, a list) therefore repaints that control
// at once and lets the rest of the window catch up: pending paints, and a
// request to close the window. The operator's input to the window while an
// action runs (clicks, keys, the wheel) is dropped, not queued: a click
// made during a run never runs after it.
//
// A click takes the run locks first (app/run_locks.h), so that it never
// writes the catalogues or the data directory while another run (a batch,
// another window) is changing them; a click refused after the wait shows who
// holds them as a critical message and runs nothing. Closing the window
// while an action is still running asks the model, which asks the operator:
// on yes the run stops at its next safe point and the window closes then;
// on no the run goes on.
#pragma once

#include <QWidget>
#include <functional>
#include <string_view>
#include <unordered_map>

#include "app/actualiz.h"
#include "gui/control_view.h"

namespace actualiz::gui {

class RecordGridView;

class MainWindow : public QWidget, public app::ControlListener {
  Q_OBJECT
 public:
  // Where the bench's grid of `Data2`'s rows stands, in twips: in the free
  // space below the table tools.
  static constexpr app::Rect kGridRect{105, 7050, 8595, 1560};

  // Builds the views of every control of `window` and listens to them.
  // `window` must outlive this window.
  explicit MainWindow(app::Actualiz& window, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Shows the window centred at its design size, then runs the model's
  // start-up once. Later activations of the window run nothing.
  void Start();
  // Points Dir1 at `path` (a Windows path, or a data directory on a server)
  // as the operator opening it does: a path Dir1 refuses is shown as the
  // failure of that action.
  void OpenDataDirectory(const std::string& path);
  // The client area at the design size: 4245 by 2235 twips.
  static QSize DesignSize();
  // The client area that reaches every control now shown.
  QSize FullSize() const;

  // The widget drawing a control, by its full name ("List1(3)"); nullptr if none.
  QWidget* ViewOf(std::string_view full_name) const;
  RecordGridView* Grid() const { return grid_; }

  // Whether an action of the operator is running now.
  bool Running() const { return running_ > 0 || window_.Running(); }

  // app::ControlListener
  void ControlChanged(const app::Control& control) override;
  void Refreshed(const app::Control& control) override;
  void MousePointerChanged(int pointer) override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Drops the operator's input to this window while an action runs.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Build();
  ControlView* BuildView(app::Control& control, QWidget* parent);
  // Runs an action of the operator on the model; redraws `origin` afterwards,
  // since a refused action leaves the model as it was but the widget changed.
  void Perform(const std::function<void()>& action, ControlView* origin);
  void Act(const std::string& what, const std::function<void()>& action, ControlView* origin);
  void ShowMousePointer();

  // Whether `watched` is this window or one of its widgets.
  bool IsMine(QObject* watched) const;

  app::Actualiz& window_;
  std::unordered_map<const app::Control*, ControlView*> views_;
  RecordGridView* grid_ = nullptr;
  int running_ = 0;
  // The operator chose to close the window while an action ran: it closes
  // once the action has returned.
  bool close_after_run_ = false;
};

}  // namespace actualiz::gui
