// A list box: its entries in the order they were added (never sorted) and
// its selection; an entry wider than the box brings a scroll bar across.
// The operator's choice of an entry leaves as Selected(row); the entries
// shown change only when the list box in the model changes.
#pragma once

#include <QListWidget>

#include "gui/control_view.h"

namespace actualiz::gui {

class ListBoxView : public QListWidget, public ControlView {
  Q_OBJECT
 public:
  ListBoxView(const app::ListBox& list, QWidget* parent);
  QWidget* Widget() override { return this; }
  void Redraw() override;

 signals:
  void Selected(int row);

 private:
  void ShowItems();
  const app::ListBox& list_;
  // The model's ItemsVersion() the entries shown were taken at.
  std::uint64_t shown_version_ = 0;
};

}  // namespace actualiz::gui
