// The data control: a database, a record source and a dynaset over it, with
// text boxes bound to fields of the current row.
//
// Handlers work the record set directly (MoveNext, AddNew, Delete, ...). To
// let the bound boxes follow every move, and to know whether a record update
// stores a row being added or edits the current one, the control hands out
// its record set wrapped: each call goes to the engine's record set, and
// afterwards the wrapper notes the edit mode and refreshes the boxes.
#include <utility>

#include "app/controls.h"
#include "base/error.h"
#include "engine/display_text.h"

namespace actualiz::app {

class DataControl::BoundRecordset : public engine::Recordset {
 public:
  BoundRecordset(DataControl& owner, engine::RecordsetPtr inner)
      : owner_(owner), inner_(std::move(inner)) {}

  bool Eof() const override { return inner_->Eof(); }
  bool Bof() const override { return inner_->Bof(); }
  int RecordCount() const override { return inner_->RecordCount(); }
  void MoveFirst() override {
    Move([&] { inner_->MoveFirst(); });
  }
  void MoveNext() override {
    Move([&] { inner_->MoveNext(); });
  }
  void MovePrevious() override {
    Move([&] { inner_->MovePrevious(); });
  }
  void MoveLast() override {
    Move([&] { inner_->MoveLast(); });
  }
  void AddNew() override {
    inner_->AddNew();
    mode_ = Mode::kAdding;
    owner_.ShowBlankRow();
  }
  void Edit() override {
    inner_->Edit();
    mode_ = Mode::kEditing;
  }
  void Update() override {
    inner_->Update();
    mode_ = Mode::kNone;
    owner_.ShowCurrentRow();
  }
  void CancelUpdate() override {
    inner_->CancelUpdate();
    mode_ = Mode::kNone;
    owner_.ShowCurrentRow();
  }
  void Delete() override {
    inner_->Delete();
    mode_ = Mode::kNone;
    deleted_ = true;
    owner_.ShowBlankRow();
  }
  engine::Collection<engine::Field>& Fields() override { return inner_->Fields(); }
  void Close() override { inner_->Close(); }
  void SetMoveListener(std::function<void()> listener) override {
    inner_->SetMoveListener(std::move(listener));
  }

  bool Adding() const { return mode_ == Mode::kAdding; }
  bool Editing() const { return mode_ == Mode::kEditing; }
  // True between a Delete and the next move: no row is current.
  bool OnDeletedRow() const { return deleted_; }

 private:
  enum class Mode { kNone, kAdding, kEditing };

  template <class F>
  void Move(F&& move) {
    // A move drops a pending AddNew or Edit, as the engine's own record set does.
    mode_ = Mode::kNone;
    move();
    deleted_ = false;
    owner_.ShowCurrentRow();
  }

  DataControl& owner_;
  engine::RecordsetPtr inner_;
  Mode mode_ = Mode::kNone;
  bool deleted_ = false;
};

DataControl::DataControl(std::string name, std::string caption, std::string database_name,
                         std::string record_source, Rect rect, Control* container, bool visible)
    : Control(ControlKind::kDataControl, std::move(name), -1, rect, container, visible),
      database_name_(std::move(database_name)),
      record_source_(std::move(record_source)) {
  SetCaption(std::move(caption));
}

DataControl::~DataControl() { Close(); }

void DataControl::SetDatabaseName(std::string path) {
  database_name_ = std::move(path);
  Changed();
}

void DataControl::SetRecordSource(std::string source) {
  record_source_ = std::move(source);
  Changed();
}

void DataControl::Refresh() {
  Close();
  if (!opener_) {
    throw Error(err::kCannotOpen, "Can't open database", FullName() + ": no opener");
  }
  try {
    database_ = opener_(database_name_);
    recordset_ = std::make_shared<BoundRecordset>(*this, database_->OpenRecordset(record_source_));
    ShowCurrentRow();
  } catch (...) {
    Close();
    Changed();
    throw;
  }
  Changed();
}

engine::Recordset& DataControl::Recordset() {
  if (!recordset_) {
    throw MakeError(err::kObjectNotSet, FullName() + ".Recordset");
  }
  return *recordset_;
}

const engine::Recordset* DataControl::OpenRecordset() const { return recordset_.get(); }

void DataControl::UpdateRecord() {
  engine::Recordset& records = Recordset();
  if (!recordset_->Adding() && !recordset_->Editing()) {
    if (records.Eof() || records.Bof() || recordset_->OnDeletedRow()) {
      throw MakeError(err::kNoCurrentRecord, FullName() + ".UpdateRecord");
    }
    records.Edit();
  }
  for (TextBox* box : bound_) {
    if (box->DataField().empty()) continue;
    records.Fields().Item(box->DataField())->SetValue(engine::Value(box->Text()));
  }
  records.Update();
}

void DataControl::Bind(TextBox& box) { bound_.push_back(&box); }

void DataControl::Close() {
  if (recordset_) {
    try {
      recordset_->Close();
    } catch (const Error&) {
      // The record set is being dropped anyway; nothing of it is kept.
    }
    recordset_.reset();
  }
  if (database_) {
    try {
      database_->Close();
    } catch (const Error&) {
    }
    database_.reset();
  }
}

void DataControl::ShowCurrentRow() {
  // A control with no bound box shows nothing, and so reads no row.
  if (bound_.empty()) return;
  const bool current =
      recordset_ && !recordset_->Eof() && !recordset_->Bof() && !recordset_->OnDeletedRow();
  for (TextBox* box : bound_) {
    if (!current || box->DataField().empty()) {
      box->SetText("");
      continue;
    }
    box->SetText(engine::DisplayText(*recordset_->Fields().Item(box->DataField())));
  }
}

void DataControl::ShowBlankRow() {
  for (TextBox* box : bound_) box->SetText("");
}

}  // namespace actualiz::app
