// Draws a record grid of the window model (app::RecordGrid): its columns
// and rows, shown only while the grid is.
#pragma once

#include <QTableWidget>

#include "app/controls.h"
#include "gui/control_view.h"

namespace actualiz::gui {

class RecordGridView : public QTableWidget, public ControlView {
  Q_OBJECT
 public:
  // At most this many rows are shown.
  static constexpr int kMaxRows = app::RecordGrid::kMaxRows;

  // `grid` must outlive the view.
  RecordGridView(const app::RecordGrid& grid, QWidget* parent);
  QWidget* Widget() override { return this; }
  void Redraw() override;

 private:
  const app::RecordGrid& grid_;
};

}  // namespace actualiz::gui
