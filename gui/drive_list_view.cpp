#include "gui/drive_list_view.h"

#include <QAbstractItemView>
#include <QSignalBlocker>

#include "base/names.h"

namespace actualiz::gui {

DriveListView::DriveListView(const app::DriveListBox& list, const platform::DriveMap& drives,
                             QWidget* parent)
    : QComboBox(parent), list_(list), drives_(drives) {
  connect(this, &QComboBox::activated, this,
          [this](int row) { emit Picked(itemData(row).toString()); });
  Redraw();
}

std::vector<std::string> DriveListView::Offered() const {
  if (!list_.drives.empty()) return list_.drives;
  std::vector<std::string> out;
  for (char letter : drives_.Drives()) out.push_back(std::string(1, letter) + ":");
  return out;
}

void DriveListView::Redraw() {
  const QSignalBlocker quiet(this);
  const std::vector<std::string> offered = Offered();
  bool same = count() == static_cast<int>(offered.size());
  for (int i = 0; same && i < count(); ++i) {
    same = itemData(i).toString() == ToQt(offered[static_cast<size_t>(i)]);
  }
  if (!same) {
    clear();
    for (const std::string& drive : offered) {
      const auto letter = platform::DriveMap::DriveOf(drive);
      const auto root = letter ? drives_.Root(*letter) : std::nullopt;
      const std::string shown = root ? drive + " [" + *root + "]" : drive;
      addItem(ToQt(shown), ToQt(drive));
    }
    // Host directories can be long: let the open list be wider than the box.
    view()->setMinimumWidth(view()->sizeHintForColumn(0) + 8);
  }
  int current = -1;
  for (int i = 0; i < count(); ++i) {
    if (SameNameIgnoringCase(FromQt(itemData(i).toString()), list_.Drive())) current = i;
  }
  setCurrentIndex(current);
}

}  // namespace actualiz::gui
