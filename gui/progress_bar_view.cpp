#include "gui/progress_bar_view.h"

#include <algorithm>
#include <cmath>

namespace actualiz::gui {

ProgressBarView::ProgressBarView(const app::ProgressBar& bar, QWidget* parent)
    : QProgressBar(parent), bar_(bar) {
  setTextVisible(false);
  // A fixed range: a range of 0..0 would turn the bar into a busy indicator.
  setRange(0, kSteps);
  Redraw();
}

int ProgressBarView::FilledSteps(float max, float value) {
  if (!(max > 0.0f) || !(value > 0.0f)) return 0;  // also NaN
  const double share = std::min(1.0, static_cast<double>(value) / static_cast<double>(max));
  return static_cast<int>(std::lround(share * kSteps));
}

void ProgressBarView::Redraw() { setValue(FilledSteps(bar_.Max(), bar_.Value())); }

}  // namespace actualiz::gui
