#include "gui/command_button_view.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace actualiz::gui {

CommandButtonView::CommandButtonView(const app::CommandButton& button, QWidget* parent)
    : QPushButton(parent), button_(button) {
  setAutoDefault(false);
  Redraw();
}

void CommandButtonView::Redraw() { setText(ToQt(button_.Caption())); }

// The window's font, made smaller (down to 8 pixels) until the longest word
// of the caption fits the button's width. The window's captions all fit at
// its own font; this keeps a caption whole under a wider font taken instead.
QFont CommandButtonView::FittingFont(int width) const {
  QFont fitting = font();
  const QStringList words = text().split(QLatin1Char(' '), Qt::SkipEmptyParts);
  for (int pixels = QFontInfo(fitting).pixelSize(); pixels > 8; --pixels) {
    const QFontMetrics metrics(fitting);
    int widest = 0;
    for (const QString& word : words) widest = std::max(widest, metrics.horizontalAdvance(word));
    if (widest <= width) break;
    fitting.setPixelSize(pixels - 1);
  }
  return fitting;
}

// The style draws the bevel and the focus; the caption is drawn here so that
// it wraps instead of being cut at both ends.
void CommandButtonView::paintEvent(QPaintEvent*) {
  QStylePainter p(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  option.text.clear();
  p.drawControl(QStyle::CE_PushButton, option);
  const QRect area = rect()
                         .adjusted(kPaddingAcross, kPaddingDown, -kPaddingAcross, -kPaddingDown)
                         .translated(isDown() ? QPoint(1, 1) : QPoint());
  p.setFont(FittingFont(area.width()));
  p.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
  p.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, text());
}

}  // namespace actualiz::gui
