// The controls of the window, as plain objects without any drawing.
//
// Each control has a kind, a name (and an index in a control array), a
// container, a position and size in twips and a visibility, and offers
// exactly the operations the handlers use. A failing operation raises
// actualiz::Error with the windowing system's number (380 "Invalid property
// value." for a list index out of range, 76 "Path not found." for a
// directory that does not exist). A view observes the controls through a
// ControlListener and draws them; it holds no state of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "engine/engine.h"

namespace actualiz::app {

enum class ControlKind {
  kCommandButton,
  kListBox,
  kTextBox,
  kLabel,
  kFrame,
  kDriveListBox,
  kDirListBox,
  kProgressBar,
  kDataControl,
};
std::string_view KindName(ControlKind kind);  // "CommandButton", ...

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;  // twips
};

class Control;
class Frame;

// Told of every change, so that a view can draw it.
class ControlListener {
 public:
  virtual ~ControlListener() = default;
  virtual void ControlChanged(const Control& control) = 0;
  // A control's Refresh (a frame, a label, a list box or a progress bar):
  // show it as it stands now, a frame with its contents, while a handler
  // is still running.
  virtual void Refreshed(const Control& control) = 0;
  // The window's mouse pointer changed (11 hourglass, 0 default).
  virtual void MousePointerChanged(int /*pointer*/) {}
};

class Control {
 public:
  Control(ControlKind kind, std::string name, int index, Rect rect, Control* container,
          bool visible);
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  ControlKind Kind() const { return kind_; }
  const std::string& Name() const { return name_; }
  int Index() const { return index_; }  // -1 outside a control array
  std::string FullName() const;         // "List1(3)" or "Text4"
  const Rect& Geometry() const { return rect_; }
  Control* Container() const { return container_; }
  bool Visible() const { return visible_; }
  // The caption of buttons, labels, frames and data controls.
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);

  void SetListener(ControlListener* listener) { listener_ = listener; }

 protected:
  void Changed();
  // Tells the listener that the control is to be shown now (Refresh).
  void RepaintNow();

 private:
  ControlKind kind_;
  std::string name_;
  int index_;
  Rect rect_;
  Control* container_;
  bool visible_;
  std::string caption_;
  ControlListener* listener_ = nullptr;
};

class CommandButton : public Control {
 public:
  CommandButton(std::string name, int index, std::string caption, Rect rect, Control* container,
                bool visible = true);
};

class Label : public Control {
 public:
  Label(std::string name, std::string caption, Rect rect, Control* container, bool visible = true);
  // Repaints the label at once, while the handler runs.
  void Refresh() { RepaintNow(); }
};

class Frame : public Control {
 public:
  Frame(std::string name, int index, std::string caption, Rect rect, Control* container,
        bool visible = true);
  // Repaints the frame and its contents at once.
  void Refresh() { RepaintNow(); }
};

class ListBox : public Control {
 public:
  ListBox(std::string name, int index, Rect rect, Control* container);
  void Clear();
  void AddItem(std::string_view text);
  void RemoveItem(int index);  // 381 when out of range
  int ListCount() const { return static_cast<int>(items_.size()); }
  int ListIndex() const { return list_index_; }
  void SetListIndex(int index);  // -1 clears the selection; 380 when out of range
  std::string Text() const;      // the selected entry, "" when none
  const std::vector<std::string>& Items() const { return items_; }
  // Counts the changes to the entries (not to the selection), so that a view
  // can tell a moved selection from new entries without comparing them all.
  std::uint64_t ItemsVersion() const { return items_version_; }
  // Repaints the list at once, while the handler runs.
  void Refresh() { RepaintNow(); }

 private:
  std::vector<std::string> items_;
  std::uint64_t items_version_ = 0;
  int list_index_ = -1;
};

class TextBox : public Control {
 public:
  // `data_field` names the field of the bound data control, "" when unbound.
  TextBox(std::string name, int index, std::string text, Rect rect, Control* container,
          std::string data_field = {});
  const std::string& Text() const { return text_; }
  void SetText(std::string text);
  const std::string& DataField() const { return data_field_; }

 private:
  std::string text_;
  std::string data_field_;
};

class ProgressBar : public Control {
 public:
  ProgressBar(std::string name, Rect rect, Control* container);
  float Max() const { return max_; }
  float Value() const { return value_; }
  // Both accept any number, also a maximum below the value or 0: the view
  // draws the bar clamped.
  void SetMax(float max);
  void SetValue(float value);
  // Repaints the bar at once, while the handler runs.
  void Refresh() { RepaintNow(); }

 private:
  float max_ = 100.0f;
  float value_ = 0.0f;
};

class DriveListBox : public Control {
 public:
  DriveListBox(std::string name, Rect rect, Control* container);
  // The chosen drive as the directory list accepts it: "c:".
  const std::string& Drive() const { return drive_; }
  // Choosing another drive raises the change handler before returning.
  // Accepts "d", "d:" or "D:\..."; 380 when it does not start with a letter.
  void SetDrive(std::string drive);
  void OnChange(std::function<void()> handler) { on_change_ = std::move(handler); }
  // The drives offered ("c:", "d:", ...).
  std::vector<std::string> drives;

 private:
  std::string drive_ = "c:";
  std::function<void()> on_change_;
};

class DirListBox : public Control {
 public:
  DirListBox(std::string name, Rect rect, Control* container);
  const std::string& Path() const { return path_; }
  // Setting a path that does not exist fails (76) and changes nothing;
  // setting a different path raises the change handler before returning.
  // Setting the path it already shows raises it too. The path is kept as
  // `resolve` makes it whole ("c:" becomes the drive's current directory).
  void SetPath(std::string path);
  void OnChange(std::function<void()> handler) { on_change_ = std::move(handler); }
  // Makes a path whole, or raises (76, 68) when it names no directory; set
  // by the window. Without it, a path is taken as given.
  std::function<std::string(const std::string&)> resolve;

 private:
  std::string path_;
  std::function<void()> on_change_;
};

// A view onto one database: a database path (a Windows path), a record source
// (a table name or "Select * from ...") and, once refreshed, a dynaset over
// it. Text boxes bound to it show the fields of its current row.
class DataControl : public Control {
 public:
  using Opener = std::function<engine::DatabasePtr(const std::string& windows_path)>;

  DataControl(std::string name, std::string caption, std::string database_name,
              std::string record_source, Rect rect, Control* container, bool visible);

  const std::string& DatabaseName() const { return database_name_; }
  void SetDatabaseName(std::string path);
  const std::string& RecordSource() const { return record_source_; }
  void SetRecordSource(std::string source);
  // Opens the database and builds the record set anew. On failure the
  // control is left without a record set and the error is raised.
  void Refresh();
  bool HasRecordset() const { return recordset_ != nullptr; }
  // The record set for reading its state, nullptr without one.
  const engine::Recordset* OpenRecordset() const;
  // The record set the control shows; moving it (or adding, deleting,
  // updating through it) makes the bound text boxes follow. 91 "Object
  // variable or With block variable not set" without a record set.
  engine::Recordset& Recordset();
  // Stores the bound text boxes' texts into the current row (the row being
  // added after AddNew) and saves it. 3021 without a current row.
  void UpdateRecord();
  void Bind(TextBox& box);
  const std::vector<TextBox*>& BoundBoxes() const { return bound_; }
  void SetOpener(Opener opener) { opener_ = std::move(opener); }
  // Releases the record set and the database.
  void Close();
  ~DataControl() override;

  // Shows the current row in the bound text boxes ("" where no row is
  // current). Called by the record set after every move.
  void ShowCurrentRow();
  // Empties the bound text boxes (a new row being added).
  void ShowBlankRow();

 private:
  class BoundRecordset;

  std::string database_name_;
  std::string record_source_;
  Opener opener_;
  engine::DatabasePtr database_;
  std::shared_ptr<BoundRecordset> recordset_;
  std::vector<TextBox*> bound_;
};

// The rows of a data control's record source as a grid shows them: one
// column per field, each value as a bound text box shows it, at most
// kMaxRows rows. It has no place among the window's controls; a view keeps
// it beside its data control and has it read again (Refresh) each time the
// data control changes, then draws Columns() and Rows().
//
// The rows are read through a record set of the grid's own over the same
// database and record source, so that the data control's current row (which
// its bound text boxes follow) is never moved by reading.
class RecordGrid {
 public:
  using FailureSink = std::function<void(const std::string& what, const Error& e)>;
  static constexpr int kMaxRows = 1000;

  // `data` must outlive the grid.
  explicit RecordGrid(const DataControl& data) : data_(data) {}
  RecordGrid(const RecordGrid&) = delete;
  RecordGrid& operator=(const RecordGrid&) = delete;

  // Whether the grid is shown: its data control had a record set when it
  // was last read.
  bool Shown() const { return shown_; }
  const std::vector<std::string>& Columns() const { return columns_; }
  const std::vector<std::vector<std::string>>& Rows() const { return rows_; }
  // Reads the rows again when the data control has a record set, else
  // empties the grid and hides it. A record source that cannot be read
  // leaves the grid shown but empty, and the failure goes to the sink.
  void Refresh();
  void SetOpener(DataControl::Opener opener) { opener_ = std::move(opener); }
  void OnFailure(FailureSink failed) { failed_ = std::move(failed); }

 private:
  void ReadRows();

  const DataControl& data_;
  DataControl::Opener opener_;
  FailureSink failed_;
  bool shown_ = false;
  std::vector<std::string> columns_;
  std::vector<std::vector<std::string>> rows_;
};

// Members of a control array by index, with gaps ("List11" has 0, 1 and 3).
template <class T>
class ControlArray {
 public:
  T& operator()(int index) const;  // 340 "Control array element does not exist"
  void Add(int index, std::unique_ptr<T> control);
  std::vector<T*> Members() const;

 private:
  std::vector<std::pair<int, std::unique_ptr<T>>> members_;
};

}  // namespace actualiz::app

#include "app/control_array_impl.h"
