#include "gui/window_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

namespace actualiz::gui {

namespace {
// The colours used, all from the sixteen-colour palette.
const QColor kBlack(0x00, 0x00, 0x00);
const QColor kTeal(0x00, 0x80, 0x80);
const QColor kAqua(0x00, 0xFF, 0xFF);
const QColor kNavy(0x00, 0x00, 0x80);
const QColor kYellow(0xFF, 0xFF, 0x00);
const QColor kOlive(0x80, 0x80, 0x00);

// Drawn on a 32 by 32 grid.
void DrawDrum(QPainter& p) {
  p.setPen(QPen(kBlack, 1));
  p.setBrush(kTeal);
  p.drawRect(2, 7, 18, 19);
  p.setBrush(kTeal);
  p.drawEllipse(2, 21, 18, 8);
  p.setPen(Qt::NoPen);
  p.drawRect(3, 8, 17, 18);
  p.setPen(QPen(kNavy, 1));
  p.drawArc(2, 11, 18, 8, 180 * 16, 180 * 16);
  p.drawArc(2, 16, 18, 8, 180 * 16, 180 * 16);
  p.setPen(QPen(kBlack, 1));
  p.setBrush(kAqua);
  p.drawEllipse(2, 3, 18, 8);
}

void DrawArrow(QPainter& p) {
  const QPolygon arrow({QPoint(24, 3), QPoint(31, 13), QPoint(27, 13), QPoint(27, 28),
                        QPoint(21, 28), QPoint(21, 13), QPoint(17, 13)});
  p.setPen(QPen(kBlack, 1));
  p.setBrush(kYellow);
  p.drawPolygon(arrow);
  p.setPen(QPen(kOlive, 1));
  p.drawLine(26, 14, 26, 27);
}
}  // namespace

QImage WindowIconImage(int size) {
  QImage image(32, 32, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  // No smoothing: every pixel keeps one of the palette's colours.
  p.setRenderHint(QPainter::Antialiasing, false);
  DrawDrum(p);
  DrawArrow(p);
  p.end();
  if (size == 32) return image;
  // Other sizes pick pixels rather than blend them, for the same reason.
  return image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

QIcon WindowIcon() {
  QIcon icon;
  icon.addPixmap(QPixmap::fromImage(WindowIconImage(32)));
  icon.addPixmap(QPixmap::fromImage(WindowIconImage(16)));
  return icon;
}

}  // namespace actualiz::gui
