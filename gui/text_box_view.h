// A text box: one line of text. What the operator types leaves as
// Edited(text); the text shown follows the text box in the model.
#pragma once

#include <QLineEdit>

#include "gui/control_view.h"

namespace actualiz::gui {

class TextBoxView : public QLineEdit, public ControlView {
  Q_OBJECT
 public:
  TextBoxView(const app::TextBox& box, QWidget* parent);
  QWidget* Widget() override { return this; }
  void Redraw() override;

 signals:
  void Edited(const QString& text);

 private:
  const app::TextBox& box_;
};

}  // namespace actualiz::gui
