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
  // The line is broken by a gap of kCaptionGap pixels on either side of the
  // caption; a caption longer than the frame is cut short of the box's right
  // line (3 pixels from its edge).
  const int left = kCaptionLeft - kCaptionGap;
  const int room = std::max(0, width() - 3 - left);
  const QRect gap(left, 0, std::min(room, metrics.horizontalAdvance(caption) + 2 * kCaptionGap),
                  metrics.height());
  p.fillRect(gap, palette().window());
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(gap.adjusted(kCaptionGap, 0, 0, 0),
             Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, caption);
}

}  // namespace actualiz::gui
