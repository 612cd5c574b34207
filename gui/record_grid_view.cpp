#include "gui/record_grid_view.h"

#include <QHeaderView>

#include "engine/display_text.h"

namespace actualiz::gui {

RecordGridView::RecordGridView(const app::DataControl& data, Opener open, FailureSink failed,
                               QWidget* parent)
    : QTableWidget(parent), data_(data), open_(std::move(open)), failed_(std::move(failed)) {
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  Redraw();
}

void RecordGridView::ReadRows() {
  engine::DatabasePtr db = open_(data_.DatabaseName());
  engine::RecordsetPtr rs = db->OpenRecordset(data_.RecordSource());
  std::vector<engine::FieldPtr> fields = rs->Fields().Items();
  QStringList headers;
  for (const engine::FieldPtr& field : fields) headers << ToQt(field->Name());
  setColumnCount(static_cast<int>(fields.size()));
  setHorizontalHeaderLabels(headers);
  int row = 0;
  for (; !rs->Eof() && row < kMaxRows; rs->MoveNext(), ++row) {
    setRowCount(row + 1);
    for (size_t col = 0; col < fields.size(); ++col) {
      const std::string text = engine::DisplayText(*rs->Fields().Item(static_cast<int>(col)));
      setItem(row, static_cast<int>(col), new QTableWidgetItem(ToQt(text)));
    }
  }
  rs->Close();
  db->Close();
}

void RecordGridView::Redraw() {
  clear();
  setRowCount(0);
  setColumnCount(0);
  const bool shown = data_.HasRecordset();
  setVisible(shown);
  if (!shown) return;
  try {
    ReadRows();
  } catch (const Error& e) {
    if (failed_) failed_("reading " + data_.RecordSource() + " for the grid", e);
  }
}

}  // namespace actualiz::gui
