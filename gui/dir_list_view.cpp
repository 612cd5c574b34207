#include "gui/dir_list_view.h"

#include <QApplication>
#include <QHeaderView>
#include <QStyle>

#include <string_view>

#include "base/server_address.h"
#include "platform/file_system.h"

namespace actualiz::gui {

FolderChain ChainOf(const std::string& path) {
  FolderChain chain;
  std::string_view rest = path;
  if (path.size() >= 2 && path[1] == ':') {
    chain.root = path.substr(0, 2);
    chain.root.push_back('\\');
    rest.remove_prefix(2);
  } else if (!path.empty() && path[0] == '/') {
    chain.root.assign(1, '/');
    chain.separator = '/';
    rest.remove_prefix(1);
  }
  std::string name;
  for (char c : rest) {
    if (c == '\\' || c == '/') {
      if (!name.empty()) chain.folders.push_back(name);
      name.clear();
    } else {
      name += c;
    }
  }
  if (!name.empty()) chain.folders.push_back(name);
  return chain;
}

std::string FolderChain::PathTo(size_t depth) const {
  std::string path = root;
  for (size_t i = 0; i < depth && i < folders.size(); ++i) {
    if (!path.empty() && path.back() != separator) path += separator;
    path += folders[i];
  }
  return path;
}

std::string FolderChain::Child(const std::string& name) const {
  std::string path = PathTo(folders.size());
  if (!path.empty() && path.back() != separator) path += separator;
  return path + name;
}

DirListView::DirListView(const app::DirListBox& dir, const platform::DriveMap& drives,
                         FailureSink failed, QWidget* parent)
    : QTreeWidget(parent), dir_(dir), drives_(drives), failed_(std::move(failed)) {
  setHeaderHidden(true);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setIndentation(8);
  setSelectionMode(QAbstractItemView::SingleSelection);
  // itemActivated covers a double click and Enter, as the classic list opens a folder.
  connect(this, &QTreeWidget::itemActivated, this,
          [this](QTreeWidgetItem* item, int) { emit Opened(item->data(0, kPathRole).toString()); });
  Redraw();
}

std::vector<std::string> DirListView::Subfolders(const FolderChain& chain) const {
  const std::string here = chain.PathTo(chain.folders.size());
  std::vector<std::string> out;
  try {
    const std::string pattern = chain.Child("*");
    for (const std::string& name : platform::ListMatching(drives_, pattern)) {
      if (name == "." || name == "..") continue;
      if (platform::DirectoryExists(drives_, chain.Child(name))) out.push_back(name);
    }
  } catch (const Error& e) {
    if (failed_) failed_("listing the folders of " + here, e);
  }
  return out;
}

void DirListView::Redraw() {
  const std::string path = dir_.Path();
  clear();
  if (path.empty()) return;

  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
  if (IsServerAddress(path)) {
    // A data directory on a server has no folders around it: it stands alone.
    auto* item = new QTreeWidgetItem(this);
    item->setText(0, ToQt(path));
    item->setIcon(0, style()->standardIcon(QStyle::SP_DriveNetIcon));
    item->setData(0, kPathRole, ToQt(path));
    setCurrentItem(item);
    return;
  }
  const FolderChain chain = ChainOf(path);

  auto add = [&](QTreeWidgetItem* parent, const std::string& text, const std::string& full,
                 const QIcon& icon) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, ToQt(text));
    item->setIcon(0, icon);
    item->setData(0, kPathRole, ToQt(full));
    return item;
  };
  QTreeWidgetItem* current = add(nullptr, chain.root, chain.root, open);
  for (size_t i = 0; i < chain.folders.size(); ++i) {
    current = add(current, chain.folders[i], chain.PathTo(i + 1), open);
  }
  for (const std::string& name : Subfolders(chain)) add(current, name, chain.Child(name), closed);
  expandAll();
  setCurrentItem(current);
  scrollToItem(current, QAbstractItemView::PositionAtTop);
}

}  // namespace actualiz::gui
