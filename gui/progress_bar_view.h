// A progress bar with minimum 0. The model accepts any maximum and value;
// the bar is drawn clamped: a value above the maximum shows full, a maximum
// of 0 or less shows empty.
#pragma once

#include <QProgressBar>

#include "gui/control_view.h"

namespace actualiz::gui {

class ProgressBarView : public QProgressBar, public ControlView {
  Q_OBJECT
 public:
  ProgressBarView(const app::ProgressBar& bar, QWidget* parent);
  QWidget* Widget() override { return this; }
  void Redraw() override;

  // The share of the bar that is filled, from 0 to kSteps.
  static constexpr int kSteps = 1000;
  static int FilledSteps(float max, float value);

 private:
  const app::ProgressBar& bar_;
};

}  // namespace actualiz::gui
