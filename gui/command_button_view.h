// A command button: its caption centred and wrapped onto as many lines as
// the button's height holds, as the window's taller buttons expect.
// QPushButton::clicked tells the main window to raise the click handler.
#pragma once

#include <QPushButton>

#include "gui/control_view.h"

namespace actualiz::gui {

class CommandButtonView : public QPushButton, public ControlView {
  Q_OBJECT
 public:
  CommandButtonView(const app::CommandButton& button, QWidget* parent);
  QWidget* Widget() override { return this; }
  void Redraw() override;

  // Room kept free between the caption and the button's edges, in pixels.
  static constexpr int kPaddingAcross = 3;
  static constexpr int kPaddingDown = 1;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QFont FittingFont(int width) const;
  const app::CommandButton& button_;
};

}  // namespace actualiz::gui
