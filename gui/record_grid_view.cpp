#include "gui/record_grid_view.h"

#include <QHeaderView>

namespace actualiz::gui {

RecordGridView::RecordGridView(const app::RecordGrid& grid, QWidget* parent)
    : QTableWidget(parent), grid_(grid) {
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  Redraw();
}

void RecordGridView::Redraw() {
  clear();
  setRowCount(0);
  setColumnCount(0);
  setVisible(grid_.Shown());
  if (!grid_.Shown()) return;
  QStringList headers;
  for (const std::string& column : grid_.Columns()) headers << ToQt(column);
  setColumnCount(static_cast<int>(grid_.Columns().size()));
  setHorizontalHeaderLabels(headers);
  const auto& rows = grid_.Rows();
  setRowCount(static_cast<int>(rows.size()));
  for (size_t row = 0; row < rows.size(); ++row) {
    for (size_t col = 0; col < rows[row].size(); ++col) {
      setItem(static_cast<int>(row), static_cast<int>(col),
              new QTableWidgetItem(ToQt(rows[row][col])));
    }
  }
}

}  // namespace actualiz::gui
