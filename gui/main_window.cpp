#include "gui/main_window.h"

#include <QAbstractEventDispatcher>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include "app/run_locks.h"
#include "gui/command_button_view.h"
#include "gui/data_control_view.h"
#include "gui/dir_list_view.h"
#include "gui/drive_list_view.h"
#include "gui/frame_view.h"
#include "gui/label_view.h"
#include "gui/list_box_view.h"
#include "gui/progress_bar_view.h"
#include "gui/record_grid_view.h"
#include "gui/scroll_link.h"
#include "gui/text_box_view.h"
#include "gui/window_font.h"
#include "gui/window_icon.h"

namespace actualiz::gui {

namespace {
constexpr int kHourglass = 11;
constexpr int kMarginPixels = 7;

// What the operator does with the mouse, the keyboard, a pen or a finger:
// what could start an action. Closing the window is not among them.
bool IsOperatorInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

// Delivers what is pending now: paints, the window system's events, a
// request to close; the operator's input to a busy window is dropped on the
// way by its event filter. A round can leave more behind (a list lays its
// entries out on a timer, then asks to be painted), so a few rounds are
// run, never more: a handler must not wait on a window that keeps busy.
void ProcessPending() {
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  for (int round = 0; round < 3 && dispatcher != nullptr; ++round) {
    if (!dispatcher->processEvents(QEventLoop::AllEvents)) break;
  }
}
}  // namespace

MainWindow::MainWindow(app::Actualiz& window, QWidget* parent) : QWidget(parent), window_(window) {
  setWindowTitle(ToQt(app::Actualiz::kCaption));
  setWindowIcon(WindowIcon());
  setFont(WindowFont());
  Build();
  resize(DesignSize());
  window_.SetListener(this);
  // Input reaches the window and its widgets through the application, also
  // while a handler lets the window catch up.
  QCoreApplication::instance()->installEventFilter(this);
}

MainWindow::~MainWindow() {
  QCoreApplication::instance()->removeEventFilter(this);
  window_.SetListener(nullptr);
  if (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
}

QSize MainWindow::DesignSize() {
  return QSize(ToPixels(app::Actualiz::kClientWidth), ToPixels(app::Actualiz::kClientHeight));
}

void MainWindow::Start() {
  QRect area(QPoint(), DesignSize());
  if (const QScreen* screen = this->screen()) area.moveCenter(screen->availableGeometry().center());
  // The client area is placed, not the frame: the window's own size is what is centred.
  setGeometry(area);
  show();
  Perform([this] { window_.Activate(); }, nullptr);
}

void MainWindow::OpenDataDirectory(const std::string& path) {
  Act(
      "Dir1.Path = " + path, [this, &path] { window_.Dir1.SetPath(path); }, nullptr);
}

QSize MainWindow::FullSize() const {
  QRect reach(QPoint(), DesignSize());
  for (const auto& [control, view] : views_) {
    QWidget* widget = view->Widget();
    if (!widget->isVisibleTo(this)) continue;
    reach |= QRect(widget->mapTo(this, QPoint(0, 0)), widget->size());
  }
  return QSize(reach.right() + 1 + kMarginPixels, reach.bottom() + 1 + kMarginPixels);
}

QWidget* MainWindow::ViewOf(std::string_view full_name) const {
  const app::Control* control = window_.FindControl(full_name);
  const auto found = views_.find(control);
  return found == views_.end() ? nullptr : found->second->Widget();
}

// Controls come containers first, so a container's view exists before its contents'.
void MainWindow::Build() {
  for (app::Control* control : window_.Controls()) {
    QWidget* parent = this;
    if (const app::Control* container = control->Container()) {
      const auto found = views_.find(container);
      if (found != views_.end()) parent = found->second->Widget();
    }
    ControlView* view = BuildView(*control, parent);
    if (!view) continue;
    QWidget* widget = view->Widget();
    widget->setObjectName(ToQt(control->FullName()));
    widget->setGeometry(ToPixels(control->Geometry()));
    widget->setVisible(control->Visible());
    views_[control] = view;
  }
  // The lists of a field triple scroll as one.
  for (const auto& triple : FieldTriples(window_)) {
    std::vector<QAbstractItemView*> lists;
    for (const app::ListBox* list : triple) {
      lists.push_back(qobject_cast<QAbstractItemView*>(views_.at(list)->Widget()));
    }
    new ScrollLink(lists);
  }
  window_.Data2Grid.Refresh();
  grid_ = new RecordGridView(window_.Data2Grid, this);
  grid_->setObjectName(QStringLiteral("Data2Grid"));
  grid_->setGeometry(ToPixels(kGridRect));
}

ControlView* MainWindow::BuildView(app::Control& control, QWidget* parent) {
  const std::string name = control.FullName();
  switch (control.Kind()) {
    case app::ControlKind::kCommandButton: {
      auto* view = new CommandButtonView(static_cast<app::CommandButton&>(control), parent);
      const std::string handler = control.Name() + "_Click";
      connect(view, &QPushButton::clicked, this, [this, handler] {
        Perform(
            [this, handler] {
              // The locks are held for the click's whole run.
              app::RunLocks locks;
              if (!app::ClickWrites(handler) || window_.AtTop(handler, [&] {
                    locks = app::LockForClick(window_, "actualiz (window)");
                  })) {
                window_.Click(handler);
              }
            },
            nullptr);
      });
      return view;
    }
    case app::ControlKind::kListBox: {
      auto& list = static_cast<app::ListBox&>(control);
      auto* view = new ListBoxView(list, parent);
      connect(view, &ListBoxView::Selected, this, [this, name, &list, view](int row) {
        Act(
            name, [&list, row] { list.SetListIndex(row); }, view);
      });
      return view;
    }
    case app::ControlKind::kTextBox: {
      auto& box = static_cast<app::TextBox&>(control);
      auto* view = new TextBoxView(box, parent);
      connect(view, &TextBoxView::Edited, this, [this, name, &box, view](const QString& text) {
        Act(
            name, [&box, text] { box.SetText(FromQt(text)); }, view);
      });
      return view;
    }
    case app::ControlKind::kLabel:
      return new LabelView(static_cast<app::Label&>(control), parent);
    case app::ControlKind::kFrame:
      return new FrameView(static_cast<app::Frame&>(control), parent);
    case app::ControlKind::kDriveListBox: {
      auto& drive = static_cast<app::DriveListBox&>(control);
      auto* view = new DriveListView(drive, window_.Env().drives, parent);
      connect(view, &DriveListView::Picked, this, [this, name, &drive, view](const QString& d) {
        Act(
            name, [&drive, d] { drive.SetDrive(FromQt(d)); }, view);
      });
      return view;
    }
    case app::ControlKind::kDirListBox: {
      auto& dir = static_cast<app::DirListBox&>(control);
      auto failed = [this](const std::string& what, const Error& e) {
        window_.RecordFailure(what, e, true);
      };
      auto* view = new DirListView(dir, window_.Env().drives, failed, parent);
      connect(view, &DirListView::Opened, this, [this, name, &dir, view](const QString& path) {
        Act(
            name, [&dir, path] { dir.SetPath(FromQt(path)); }, view);
      });
      return view;
    }
    case app::ControlKind::kProgressBar:
      return new ProgressBarView(static_cast<app::ProgressBar&>(control), parent);
    case app::ControlKind::kDataControl: {
      auto& data = static_cast<app::DataControl&>(control);
      auto* view = new DataControlView(data, parent);
      connect(view, &DataControlView::Moved, this, [this, name, &data, view](DataStep step) {
        Act(
            name, [&data, step] { MoveDataControl(data, step); }, view);
      });
      return view;
    }
  }
  return nullptr;  // a kind without a view is not drawn
}

void MainWindow::Act(const std::string& what, const std::function<void()>& action,
                     ControlView* origin) {
  Perform([this, &what, &action] { window_.AtTop(what, action); }, origin);
}

void MainWindow::Perform(const std::function<void()>& action, ControlView* origin) {
  if (window_.Ended()) return;
  struct Counted {
    int& count;
    explicit Counted(int& c) : count(c) { ++count; }
    ~Counted() { --count; }
  };
  try {
    Counted running(running_);
    action();
    // Input that came while the action ran without letting the window catch
    // up is still waiting: it is dropped now, while the window is busy,
    // rather than run once the action is over.
    ProcessPending();
  } catch (const app::ProgramEnded&) {
    // The operator's side has been told; the window goes with the program.
    close();
    return;
  } catch (const std::exception& e) {
    // Failures of the model reach the operator through its own top-level
    // rule; anything else must not cross Qt's event loop.
    window_.Env().op->ShowMessage(e.what(), platform::MessageLook::kCritical);
  }
  if (close_after_run_ && !Running()) {
    close_after_run_ = false;
    close();
    return;
  }
  if (origin) origin->Redraw();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (Running() && !window_.Ended()) {
    // The window stays, showing the run, until the action has returned; the
    // model asks the operator whether to stop it.
    event->ignore();
    if (!close_after_run_ && window_.AskToClose()) close_after_run_ = true;
    return;
  }
  event->accept();
}

bool MainWindow::IsMine(QObject* watched) const {
  if (watched == this) return true;
  if (const auto* widget = qobject_cast<const QWidget*>(watched)) return widget->window() == this;
  if (const auto* handle = qobject_cast<const QWindow*>(watched)) return handle == windowHandle();
  return false;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  return IsOperatorInput(event->type()) && Running() && IsMine(watched);
}

void MainWindow::ControlChanged(const app::Control& control) {
  const auto found = views_.find(&control);
  if (found != views_.end()) found->second->Redraw();
  if (&control == &window_.Data2 && grid_) {
    window_.Data2Grid.Refresh();
    grid_->Redraw();
  }
}

void MainWindow::Refreshed(const app::Control& control) {
  const auto found = views_.find(&control);
  if (found != views_.end()) found->second->Widget()->repaint();
  ProcessPending();
}

void MainWindow::MousePointerChanged(int) { ShowMousePointer(); }

void MainWindow::ShowMousePointer() {
  const bool busy = window_.MousePointer() == kHourglass;
  const bool shown = QGuiApplication::overrideCursor() != nullptr;
  if (busy && !shown) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  if (!busy && shown) QGuiApplication::restoreOverrideCursor();
}

}  // namespace actualiz::gui
