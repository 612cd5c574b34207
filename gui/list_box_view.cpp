#include "gui/list_box_view.h"

#include <QSignalBlocker>

namespace actualiz::gui {

ListBoxView::ListBoxView(const app::ListBox& list, QWidget* parent)
    : QListWidget(parent), list_(list) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSortingEnabled(false);
  // An entry wider than the box brings a scroll bar across, so that it can be
  // read whole. Items are measured one by one: with uniform sizes the view
  // would take every entry to be as wide as the first.
  setUniformItemSizes(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setTextElideMode(Qt::ElideNone);
  connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) emit Selected(row);
  });
  Redraw();
}

// Handlers fill lists one AddItem at a time, so the common change is an entry
// appended at the end: that one is added without rebuilding the rest.
// A handler that only moves the selection (a search over a long list does it
// once an entry) leaves the entries as they are, unread.
void ListBoxView::ShowItems() {
  if (shown_version_ == list_.ItemsVersion() && count() == list_.ListCount()) return;
  shown_version_ = list_.ItemsVersion();
  const std::vector<std::string>& items = list_.Items();
  const int shown = count();
  const int wanted = static_cast<int>(items.size());
  bool prefix = shown <= wanted;
  for (int i = 0; prefix && i < shown; ++i) {
    prefix = item(i)->text() == ToQt(items[static_cast<size_t>(i)]);
  }
  if (!prefix) {
    clear();
  }
  for (int i = count(); i < wanted; ++i) addItem(ToQt(items[static_cast<size_t>(i)]));
}

void ListBoxView::Redraw() {
  const QSignalBlocker quiet(this);
  ShowItems();
  const int selected = list_.ListIndex();
  if (currentRow() != selected) setCurrentRow(selected);
  if (selected < 0) clearSelection();
}

}  // namespace actualiz::gui
