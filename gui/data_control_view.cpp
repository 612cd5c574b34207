#include "gui/data_control_view.h"

#include <QAbstractButton>
#include <QPainter>
#include <QPolygon>

namespace actualiz::gui {

void MoveDataControl(app::DataControl& data, DataStep step) {
  if (!data.HasRecordset()) return;
  engine::Recordset& rs = data.Recordset();
  if (rs.Eof() && rs.Bof()) return;
  switch (step) {
    case DataStep::kFirst:
      rs.MoveFirst();
      break;
    case DataStep::kLast:
      rs.MoveLast();
      break;
    case DataStep::kNext:
      if (!rs.Eof()) rs.MoveNext();
      if (rs.Eof()) rs.MoveLast();
      break;
    case DataStep::kPrevious:
      if (!rs.Bof()) rs.MovePrevious();
      if (rs.Bof()) rs.MoveFirst();
      break;
  }
}

namespace {

// A flat button with a black triangle, and a bar for first and last.
class StepButton : public QAbstractButton {
 public:
  StepButton(DataStep step, QWidget* parent) : QAbstractButton(parent), step_(step) {
    setFocusPolicy(Qt::NoFocus);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, palette().button());
    p.setPen(isDown() ? palette().dark().color() : palette().light().color());
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(isDown() ? palette().light().color() : palette().dark().color());
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());

    const int h = std::max(3, std::min(r.width(), r.height()) / 3);
    const QPoint c = r.center();
    const bool left = step_ == DataStep::kFirst || step_ == DataStep::kPrevious;
    const int tip = left ? c.x() - h / 2 : c.x() + h / 2;
    const int base = left ? c.x() + h / 2 : c.x() - h / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(isEnabled() ? Qt::black : Qt::gray);
    p.drawPolygon(QPolygon({QPoint(tip, c.y()), QPoint(base, c.y() - h), QPoint(base, c.y() + h)}));
    if (step_ == DataStep::kFirst) p.drawRect(tip - 2, c.y() - h, 1, 2 * h);
    if (step_ == DataStep::kLast) p.drawRect(tip + 1, c.y() - h, 1, 2 * h);
  }

 private:
  DataStep step_;
};

}  // namespace

DataControlView::DataControlView(const app::DataControl& data, QWidget* parent)
    : QFrame(parent), data_(data) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  caption_ = new QLabel(this);
  caption_->setTextFormat(Qt::PlainText);
  caption_->setAlignment(Qt::AlignCenter);
  const DataStep steps[] = {DataStep::kFirst, DataStep::kPrevious, DataStep::kNext,
                            DataStep::kLast};
  for (int i = 0; i < 4; ++i) {
    auto* button = new StepButton(steps[i], this);
    connect(button, &QAbstractButton::clicked, this, [this, step = steps[i]] { emit Moved(step); });
    buttons_[i] = button;
  }
  Redraw();
}

void DataControlView::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  const QRect inner = contentsRect();
  const int w = std::min(inner.height(), inner.width() / 7);
  const int y = inner.top();
  const int h = inner.height();
  buttons_[0]->setGeometry(inner.left(), y, w, h);
  buttons_[1]->setGeometry(inner.left() + w, y, w, h);
  buttons_[2]->setGeometry(inner.right() + 1 - 2 * w, y, w, h);
  buttons_[3]->setGeometry(inner.right() + 1 - w, y, w, h);
  caption_->setGeometry(inner.left() + 2 * w, y, inner.width() - 4 * w, h);
}

void DataControlView::Redraw() { caption_->setText(ToQt(data_.Caption())); }

}  // namespace actualiz::gui
