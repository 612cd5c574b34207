#include "gui/label_view.h"

namespace actualiz::gui {

LabelView::LabelView(const app::Label& label, QWidget* parent) : QLabel(parent), label_(label) {
  setTextFormat(Qt::PlainText);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setWordWrap(true);
  Redraw();
}

void LabelView::Redraw() { setText(ToQt(label_.Caption())); }

}  // namespace actualiz::gui
