#include "app/controls.h"

#include <cctype>

#include "base/error.h"

namespace actualiz::app {

std::string_view KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::kCommandButton:
      return "CommandButton";
    case ControlKind::kListBox:
      return "ListBox";
    case ControlKind::kTextBox:
      return "TextBox";
    case ControlKind::kLabel:
      return "Label";
    case ControlKind::kFrame:
      return "Frame";
    case ControlKind::kDriveListBox:
      return "DriveListBox";
    case ControlKind::kDirListBox:
      return "DirListBox";
    case ControlKind::kProgressBar:
      return "ProgressBar";
    case ControlKind::kDataControl:
      return "Data";
  }
  return "Control";
}

Control::Control(ControlKind kind, std::string name, int index, Rect rect, Control* container,
                 bool visible)
    : kind_(kind),
      name_(std::move(name)),
      index_(index),
      rect_(rect),
      container_(container),
      visible_(visible) {}

std::string Control::FullName() const {
  if (index_ < 0) return name_;
  return name_ + "(" + std::to_string(index_) + ")";
}

void Control::SetCaption(std::string caption) {
  caption_ = std::move(caption);
  Changed();
}

void Control::Changed() {
  if (listener_) listener_->ControlChanged(*this);
}

void Control::RepaintNow() {
  if (listener_) listener_->Refreshed(*this);
}

CommandButton::CommandButton(std::string name, int index, std::string caption, Rect rect,
                             Control* container, bool visible)
    : Control(ControlKind::kCommandButton, std::move(name), index, rect, container, visible) {
  SetCaption(std::move(caption));
}

Label::Label(std::string name, std::string caption, Rect rect, Control* container, bool visible)
    : Control(ControlKind::kLabel, std::move(name), -1, rect, container, visible) {
  SetCaption(std::move(caption));
}

Frame::Frame(std::string name, int index, std::string caption, Rect rect, Control* container,
             bool visible)
    : Control(ControlKind::kFrame, std::move(name), index, rect, container, visible) {
  SetCaption(std::move(caption));
}

// ---- list box ----

ListBox::ListBox(std::string name, int index, Rect rect, Control* container)
    : Control(ControlKind::kListBox, std::move(name), index, rect, container, true) {}

void ListBox::Clear() {
  items_.clear();
  ++items_version_;
  list_index_ = -1;
  Changed();
}

void ListBox::AddItem(std::string_view text) {
  items_.emplace_back(text);
  ++items_version_;
  Changed();
}

void ListBox::RemoveItem(int index) {
  if (index < 0 || index >= ListCount()) {
    throw MakeError(err::kInvalidPropertyIndex,
                    FullName() + ".RemoveItem " + std::to_string(index));
  }
  items_.erase(items_.begin() + index);
  ++items_version_;
  // The selection stays on the same entry; removing the selected one clears it.
  if (list_index_ == index) {
    list_index_ = -1;
  } else if (list_index_ > index) {
    --list_index_;
  }
  Changed();
}

void ListBox::SetListIndex(int index) {
  if (index < -1 || index >= ListCount()) {
    throw MakeError(err::kInvalidPropertyValue,
                    FullName() + ".ListIndex = " + std::to_string(index));
  }
  list_index_ = index;
  Changed();
}

std::string ListBox::Text() const {
  if (list_index_ < 0) return {};
  return items_[static_cast<size_t>(list_index_)];
}

// ---- text box, progress bar ----

TextBox::TextBox(std::string name, int index, std::string text, Rect rect, Control* container,
                 std::string data_field)
    : Control(ControlKind::kTextBox, std::move(name), index, rect, container, true),
      text_(std::move(text)),
      data_field_(std::move(data_field)) {}

void TextBox::SetText(std::string text) {
  text_ = std::move(text);
  Changed();
}

ProgressBar::ProgressBar(std::string name, Rect rect, Control* container)
    : Control(ControlKind::kProgressBar, std::move(name), -1, rect, container, true) {}

void ProgressBar::SetMax(float max) {
  max_ = max;
  Changed();
}

void ProgressBar::SetValue(float value) {
  value_ = value;
  Changed();
}

// ---- drive and directory lists ----

DriveListBox::DriveListBox(std::string name, Rect rect, Control* container)
    : Control(ControlKind::kDriveListBox, std::move(name), -1, rect, container, true) {}

void DriveListBox::SetDrive(std::string drive) {
  if (drive.empty() || !std::isalpha(static_cast<unsigned char>(drive[0])) ||
      (drive.size() > 1 && drive[1] != ':')) {
    throw MakeError(err::kInvalidPropertyValue, FullName() + ".Drive = " + drive);
  }
  std::string chosen{static_cast<char>(std::tolower(static_cast<unsigned char>(drive[0]))), ':'};
  if (chosen == drive_) return;
  drive_ = std::move(chosen);
  Changed();
  if (on_change_) on_change_();
}

DirListBox::DirListBox(std::string name, Rect rect, Control* container)
    : Control(ControlKind::kDirListBox, std::move(name), -1, rect, container, true) {}

void DirListBox::SetPath(std::string path) {
  path_ = resolve ? resolve(path) : std::move(path);
  Changed();
  if (on_change_) on_change_();
}

}  // namespace actualiz::app
