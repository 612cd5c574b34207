#include "gui/scroll_link.h"

#include <QScrollBar>

namespace actualiz::gui {

ScrollLink::ScrollLink(const std::vector<QAbstractItemView*>& lists) : QObject(lists.front()) {
  for (QAbstractItemView* list : lists) {
    lists_.emplace_back(list);
    connect(list->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this, list](int first_row) { Follow(list, first_row); });
    connect(list->horizontalScrollBar(), &QScrollBar::rangeChanged, this,
            &ScrollLink::MatchScrollBarsAcross);
  }
  MatchScrollBarsAcross();
}

void ScrollLink::Follow(const QAbstractItemView* origin, int first_row) {
  if (following_) return;
  following_ = true;
  for (const QPointer<QAbstractItemView>& list : lists_) {
    if (list && list != origin) list->verticalScrollBar()->setValue(first_row);
  }
  following_ = false;
}

// Showing bars across can only narrow a list (by a vertical bar it then
// needs), never widen one, so this settles after a step or two.
void ScrollLink::MatchScrollBarsAcross() {
  bool needed = false;
  for (const QPointer<QAbstractItemView>& list : lists_) {
    needed = needed || (list && list->horizontalScrollBar()->maximum() > 0);
  }
  const Qt::ScrollBarPolicy policy = needed ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded;
  for (const QPointer<QAbstractItemView>& list : lists_) {
    if (list && list->horizontalScrollBarPolicy() != policy) {
      list->setHorizontalScrollBarPolicy(policy);
    }
  }
}

std::vector<std::vector<const app::ListBox*>> FieldTriples(const app::Actualiz& window) {
  return {{&window.List1(0), &window.List1(1), &window.List1(2)},
          {&window.List1(3), &window.List1(4), &window.List1(5)},
          {&window.List5(0), &window.List5(1), &window.List5(2)}};
}

}  // namespace actualiz::gui
