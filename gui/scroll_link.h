// Lists that scroll as one: the three lists of a field triple hold, entry by
// entry, a field's name, its type code and its size, so a row must never
// stand beside another field's type or size.
//
// Scrolling any of the linked lists (its scroll bar, the wheel, the keys)
// brings the others to the same first row. When one of them needs a scroll
// bar across (a name wider than its box), all of them show one, so that the
// three keep the same height of rows and reach the same last row too.
#pragma once

#include <QAbstractItemView>
#include <QObject>
#include <QPointer>
#include <vector>

#include "app/actualiz.h"

namespace actualiz::gui {

class ScrollLink : public QObject {
  Q_OBJECT
 public:
  // Owned by the first list; the lists may go in any order.
  explicit ScrollLink(const std::vector<QAbstractItemView*>& lists);

 private:
  void Follow(const QAbstractItemView* origin, int first_row);
  void MatchScrollBarsAcross();

  std::vector<QPointer<QAbstractItemView>> lists_;
  bool following_ = false;
};

// The window's field triples: List1(0) to List1(2) (a model table's fields),
// List1(3) to List1(5) (the fields to add) and List5(0) to List5(2) (a target
// table's fields), each as name, type and size.
std::vector<std::vector<const app::ListBox*>> FieldTriples(const app::Actualiz& window);

}  // namespace actualiz::gui
