#include "app/controls.h"
#include "engine/display_text.h"

namespace actualiz::app {

void RecordGrid::ReadRows() {
  if (!opener_) {
    throw Error(err::kCannotOpen, "Can't open database", data_.FullName() + " grid: no opener");
  }
  engine::DatabasePtr db = opener_(data_.DatabaseName());
  engine::RecordsetPtr rs = db->OpenRecordset(data_.RecordSource());
  std::vector<std::string> columns;
  for (const engine::FieldPtr& field : rs->Fields().Items()) columns.push_back(field->Name());
  std::vector<std::vector<std::string>> rows;
  for (; !rs->Eof() && static_cast<int>(rows.size()) < kMaxRows; rs->MoveNext()) {
    std::vector<std::string>& row = rows.emplace_back();
    for (size_t col = 0; col < columns.size(); ++col) {
      row.push_back(engine::DisplayText(*rs->Fields().Item(static_cast<int>(col))));
    }
  }
  rs->Close();
  db->Close();
  columns_ = std::move(columns);
  rows_ = std::move(rows);
}

void RecordGrid::Refresh() {
  columns_.clear();
  rows_.clear();
  shown_ = data_.HasRecordset();
  if (!shown_) return;
  try {
    ReadRows();
  } catch (const Error& e) {
    if (failed_) failed_("reading " + data_.RecordSource() + " for the grid", e);
  }
}

}  // namespace actualiz::app
