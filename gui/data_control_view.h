// A data control: its caption between the four move buttons (first,
// previous, next, last). A press leaves as Moved(step); MoveDataControl
// carries the step out on the control's record set.
#pragma once

#include <QFrame>
#include <QLabel>

#include "gui/control_view.h"

namespace actualiz::gui {

enum class DataStep { kFirst, kPrevious, kNext, kLast };

// Moves the data control's record set one step as its buttons do: next on
// the last row and previous on the first stay where they are. Does nothing
// without a record set or on an empty one. Engine failures are raised.
void MoveDataControl(app::DataControl& data, DataStep step);

class DataControlView : public QFrame, public ControlView {
  Q_OBJECT
 public:
  DataControlView(const app::DataControl& data, QWidget* parent);
  QWidget* Widget() override { return this; }
  void Redraw() override;

 signals:
  void Moved(actualiz::gui::DataStep step);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  const app::DataControl& data_;
  QWidget* buttons_[4];
  QLabel* caption_;
};

}  // namespace actualiz::gui
