// A label: its caption, wrapped inside its box, as plain text.
#pragma once

#include <QLabel>

#include "gui/control_view.h"

namespace actualiz::gui {

class LabelView : public QLabel, public ControlView {
  Q_OBJECT
 public:
  LabelView(const app::Label& label, QWidget* parent);
  QWidget* Widget() override { return this; }
  void Redraw() override;

 private:
  const app::Label& label_;
};

}  // namespace actualiz::gui
