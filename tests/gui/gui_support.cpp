#include "tests/gui/gui_support.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <memory>

namespace actualiz::testing {

namespace {

// The test program's QApplication, made before the first test and removed
// after the last.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kQt =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

void Send(QWidget* widget, QEvent::Type type, QPoint pos) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, QPointF(pos), QPointF(widget->mapToGlobal(pos)), Qt::LeftButton, held,
                    Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}

}  // namespace

void Click(QWidget* widget, QPoint pos) {
  Send(widget, QEvent::MouseButtonPress, pos);
  Send(widget, QEvent::MouseButtonRelease, pos);
}

void DoubleClick(QWidget* widget, QPoint pos) {
  Click(widget, pos);
  Send(widget, QEvent::MouseButtonDblClick, pos);
  Send(widget, QEvent::MouseButtonRelease, pos);
}

void Type(QWidget* widget, const std::string& text) {
  for (const QChar c : QString::fromStdString(text)) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &release);
  }
}

std::filesystem::path ScreenshotDir() {
  const std::filesystem::path dir =
      std::filesystem::path(ACTUALIZ_CLI).parent_path() / "screenshots";
  std::filesystem::create_directories(dir);
  return dir;
}

PaintCounter::PaintCounter(QWidget* widget) : QObject(widget) { widget->installEventFilter(this); }

bool PaintCounter::eventFilter(QObject*, QEvent* event) {
  if (event->type() != QEvent::Paint) return false;
  ++count;
  if (on_paint) on_paint();
  return false;
}

}  // namespace actualiz::testing
