// What every drawn control offers the main window: its widget, and a redraw
// from the window model's control after the control changed.
//
// A view holds no state of its own: everything it shows is read from its
// control when Redraw runs. What the operator does to a view (a click, a
// pick, an edit) leaves the view as a Qt signal that the main window hands
// to the window model; the view never changes its control itself.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>
#include <string>
#include <string_view>

#include "app/controls.h"

namespace actualiz::gui {

// The window's positions are in twips; 15 twips make one pixel at 96 dpi.
inline constexpr int kTwipsPerPixel = 15;
inline int ToPixels(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }
inline QRect ToPixels(const app::Rect& r) {
  return QRect(ToPixels(r.left), ToPixels(r.top), ToPixels(r.width), ToPixels(r.height));
}

// The window model speaks UTF-8.
inline QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string FromQt(const QString& text) { return text.toStdString(); }

class ControlView {
 public:
  virtual ~ControlView() = default;
  // The widget that stands for the control; owned by its Qt parent.
  virtual QWidget* Widget() = 0;
  // Shows the control's current state.
  virtual void Redraw() = 0;
};

}  // namespace actualiz::gui
