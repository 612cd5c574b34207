// The directory list, drawn the classic way: the root and every folder of
// the path open, one level deeper each, the current folder highlighted,
// and its subfolders closed below it. A double click (or Enter) on a folder
// leaves as Opened(path) with that folder's Windows path; a single click only
// highlights.
#pragma once

#include <QTreeWidget>
#include <functional>
#include <string>
#include <vector>

#include "base/error.h"
#include "gui/control_view.h"
#include "platform/drive_map.h"

namespace actualiz::gui {

// A path taken apart: "c:\a\b" is root "c:\" with folders {"a", "b"};
// "c:" is "c:\" alone; a host path "/x/y" is root "/" with {"x", "y"}.
struct FolderChain {
  std::string root;
  std::vector<std::string> folders;
  char separator = '\\';
  // The path of the root followed by the first `depth` folders.
  std::string PathTo(size_t depth) const;
  // The path of a folder inside the last one.
  std::string Child(const std::string& name) const;
};
FolderChain ChainOf(const std::string& path);

class DirListView : public QTreeWidget, public ControlView {
  Q_OBJECT
 public:
  using FailureSink = std::function<void(const std::string& what, const Error& e)>;
  // `drives` must outlive the view. A folder that cannot be listed shows no
  // subfolders; the failure goes to `failed`.
  DirListView(const app::DirListBox& dir, const platform::DriveMap& drives, FailureSink failed,
              QWidget* parent);
  QWidget* Widget() override { return this; }
  void Redraw() override;

  // The Windows path an entry stands for.
  static constexpr int kPathRole = Qt::UserRole + 1;

 signals:
  void Opened(const QString& path);

 protected:
  // Folders are told apart by their icons and their depth alone: no branch marks.
  void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}

 private:
  std::vector<std::string> Subfolders(const FolderChain& chain) const;
  const app::DirListBox& dir_;
  const platform::DriveMap& drives_;
  FailureSink failed_;
};

}  // namespace actualiz::gui
