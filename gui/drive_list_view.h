// The drive list: the drives of the drive map, each shown as "c: [host
// directory]", with the drive list's chosen drive current. Picking a drive
// leaves as Picked("d:"); the current entry follows the model's Drive, so a
// drive that could not be opened still shows as picked when the model keeps it.
#pragma once

#include <QComboBox>

#include "gui/control_view.h"
#include "platform/drive_map.h"

namespace actualiz::gui {

class DriveListView : public QComboBox, public ControlView {
  Q_OBJECT
 public:
  // `drives` must outlive the view.
  DriveListView(const app::DriveListBox& list, const platform::DriveMap& drives, QWidget* parent);
  QWidget* Widget() override { return this; }
  void Redraw() override;

 signals:
  void Picked(const QString& drive);

 private:
  // The drives offered: the drive list's own when it names any, else the map's.
  std::vector<std::string> Offered() const;
  const app::DriveListBox& list_;
  const platform::DriveMap& drives_;
};

}  // namespace actualiz::gui
