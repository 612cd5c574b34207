#include "gui/text_box_view.h"

namespace actualiz::gui {

TextBoxView::TextBoxView(const app::TextBox& box, QWidget* parent) : QLineEdit(parent), box_(box) {
  // textEdited, not textChanged: only the operator's typing goes back to the model.
  connect(this, &QLineEdit::textEdited, this, &TextBoxView::Edited);
  Redraw();
}

void TextBoxView::Redraw() {
  const QString text = ToQt(box_.Text());
  // Setting the same text again would move the operator's cursor to the end.
  if (this->text() != text) setText(text);
}

}  // namespace actualiz::gui
