#include "gui/frame_view.h"

#include <QPainter>

namespace actualiz::gui {

FrameView::FrameView(const app::Frame& frame, QWidget* parent) : QWidget(parent), frame_(frame) {}

void FrameView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QFontMetrics metrics(font());
  const QString caption = Caption();
  // The box's top line runs through the middle of the caption.
  const int top = caption.isEmpty() ? 0 : metrics.height() / 2;
  const QRect box = rect().adjusted(0, top, -1, -1);
  p.setPen(palette().color(QPalette::Mid));
  p.drawRect(box.adjusted(0, 0, -1, -1));
  p.setPen(palette().color(QPalette::Light));
  p.drawRect(box.adjusted(1, 1, 0, 0));
  if (caption.isEmpty()) return;
  // A caption longer than the frame is cut at its right edge.
  const int room = std::max(0, width() - 8);
  const QRect text(5, 0, std::min(room, metrics.horizontalAdvance(caption) + 4), metrics.height());
  p.fillRect(text, palette().window());
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(text.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
             caption);
}

}  // namespace actualiz::gui
