// A frame: an etched box with its caption set into the top line; its
// contents are placed relative to its own top-left corner, as the window's
// positions are given. A frame without a caption is a plain etched box.
#pragma once

#include <QWidget>

#include "gui/control_view.h"

namespace actualiz::gui {

class FrameView : public QWidget, public ControlView {
  Q_OBJECT
 public:
  FrameView(const app::Frame& frame, QWidget* parent);
  QWidget* Widget() override { return this; }
  void Redraw() override { update(); }
  QString Caption() const { return ToQt(frame_.Caption()); }

  // Where the caption's text starts, in pixels from the frame's left edge,
  // and the gap left in the box's line on either side of it.
  static constexpr int kCaptionLeft = 7;
  static constexpr int kCaptionGap = 2;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const app::Frame& frame_;
};

}  // namespace actualiz::gui
