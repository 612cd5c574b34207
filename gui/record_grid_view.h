// The grid of the sample-database bench: the rows of a data control's
// record source, one column per field, shown once the data control has a
// record set and read again each time the data control changes.
//
// The rows are read through a record set of the grid's own over the same
// database and record source, so that the data control's current row (which
// its bound text boxes follow) is never moved by drawing.
#pragma once

#include <QTableWidget>
#include <functional>
#include <string>

#include "base/error.h"
#include "gui/control_view.h"

namespace actualiz::gui {

class RecordGridView : public QTableWidget, public ControlView {
  Q_OBJECT
 public:
  using Opener = std::function<engine::DatabasePtr(const std::string& path)>;
  using FailureSink = std::function<void(const std::string& what, const Error& e)>;

  // At most this many rows are shown.
  static constexpr int kMaxRows = 1000;

  // `data` must outlive the view. A record source that cannot be read leaves
  // the grid empty and goes to `failed`.
  RecordGridView(const app::DataControl& data, Opener open, FailureSink failed, QWidget* parent);
  QWidget* Widget() override { return this; }
  void Redraw() override;

 private:
  void ReadRows();
  const app::DataControl& data_;
  Opener open_;
  FailureSink failed_;
};

}  // namespace actualiz::gui
