// What the window's tests share: one QApplication for the test program (on
// the offscreen platform), operator input sent as real Qt events, and the
// folder screenshots are saved in.
#pragma once

#include <QPoint>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <string>

namespace actualiz::testing {

// A left click and a double click at `pos` of `widget`, as the mouse gives them.
void Click(QWidget* widget, QPoint pos);
void DoubleClick(QWidget* widget, QPoint pos);
// Types `text` into the widget with focus events, one key at a time.
void Type(QWidget* widget, const std::string& text);

// The build directory's "screenshots" folder, created if missing.
std::filesystem::path ScreenshotDir();

// Counts the paint events a widget receives, from now on, and runs
// `on_paint` (when set) before each is painted.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget* widget);
  int count = 0;
  std::function<void()> on_paint;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace actualiz::testing
