// Record sets (dynasets) over a table or "Select * from <table> [where ...]".
//
// The set's keys are read once when it opens; rows added through it join
// its end, rows deleted through it leave it. A row's values are read by key
// when first asked for after a move, and no statement stays open between
// calls, so the set holds no lock on the file.
//
// Position: `pos_` runs from -1 (before the first row: BOF) to the number
// of rows (after the last: EOF). After Delete no row is current until the
// next move, which goes on from the deleted row's place. On an empty set
// EOF and BOF are both true.
#include <cctype>

#include "engine/dao_objects.h"
#include "engine/field_types.h"

namespace actualiz::engine {

namespace {

constexpr int kMaxQueryDepth = 8;

struct Source {
  std::string table;
  std::string tail;  // "" or "where ..." / "order by ..."
};

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && (IsSpace(s.back()) || s.back() == ';')) s.remove_suffix(1);
  return s;
}

// Consumes `word` (any case) followed by a space or the end; false if absent.
bool TakeWord(std::string_view& s, std::string_view word) {
  if (s.size() < word.size() || !SameNameIgnoringCase(s.substr(0, word.size()), word)) return false;
  if (s.size() > word.size() && !IsSpace(s[word.size()]) && word != "*") return false;
  s.remove_prefix(word.size());
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  return true;
}

// A table name, bracketed or bare; "" when there is none.
std::string TakeName(std::string_view& s) {
  std::string name;
  if (!s.empty() && s.front() == '[') {
    const size_t close = s.find(']');
    if (close == std::string_view::npos) return {};
    name = std::string(s.substr(1, close - 1));
    s.remove_prefix(close + 1);
  } else {
    size_t end = 0;
    while (end < s.size() && !IsSpace(s[end])) ++end;
    name = std::string(s.substr(0, end));
    s.remove_prefix(end);
  }
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  return name;
}

Source ParseSource(std::string_view text, const std::string& context) {
  std::string_view s = Trim(text);
  const Error syntax = MakeError(err::kSyntaxErrorInFrom, context);
  if (s.empty()) throw syntax;
  std::string_view rest = s;
  if (!TakeWord(rest, "select")) {
    // A bare or bracketed table name.
    std::string_view name = s;
    if (name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
    if (name.empty()) throw syntax;
    return {std::string(name), {}};
  }
  if (!TakeWord(rest, "*") || !TakeWord(rest, "from")) throw syntax;
  Source source{TakeName(rest), std::string(rest)};
  if (source.table.empty()) throw syntax;
  std::string_view tail = rest;
  if (!tail.empty() && !TakeWord(tail, "where") && !TakeWord(tail, "order")) throw syntax;
  return source;
}

class DaoRecordset;

class RecordsetField final : public Field {
 public:
  RecordsetField(std::weak_ptr<DaoRecordset> set, int column, ColumnInfo info)
      : set_(std::move(set)), column_(column), info_(std::move(info)) {}
  std::string Name() const override { return info_.name; }
  std::int16_t Type() const override { return info_.type; }
  std::int32_t Size() const override { return info_.size; }
  bool AllowZeroLength() const override { return info_.allow_zero_length; }
  bool Required() const override { return info_.required; }
  std::string ForeignName() const override { return {}; }
  void SetAllowZeroLength(bool) override { Refuse(); }
  void SetRequired(bool) override { Refuse(); }
  void SetForeignName(std::string_view) override { Refuse(); }
  Value GetValue() const override;
  void SetValue(const Value& value) override;

 private:
  [[noreturn]] void Refuse() const {
    throw MakeError(err::kInvalidOperation, "field '" + info_.name + "'");
  }
  std::shared_ptr<DaoRecordset> Set() const;
  std::weak_ptr<DaoRecordset> set_;
  int column_;
  ColumnInfo info_;
};

class RecordsetFields final : public Collection<Field> {
 public:
  int Count() const override { return static_cast<int>(fields_.size()); }
  FieldPtr Item(int position) const override {
    if (position < 0 || position >= Count()) {
      throw MakeError(err::kItemNotFound, "field " + std::to_string(position) + " of " + context_);
    }
    return fields_[static_cast<size_t>(position)];
  }
  FieldPtr Item(std::string_view name) const override {
    for (const auto& f : fields_) {
      if (SameNameIgnoringCase(f->Name(), name)) return f;
    }
    throw MakeError(err::kItemNotFound, "field '" + std::string(name) + "' of " + context_);
  }
  void Append(const FieldPtr&) override { throw MakeError(err::kInvalidOperation, context_); }
  void Delete(std::string_view) override { throw MakeError(err::kInvalidOperation, context_); }
  std::vector<FieldPtr> fields_;
  std::string context_;
};

class DaoRecordset final : public Recordset, public std::enable_shared_from_this<DaoRecordset> {
 public:
  // `keys`: the rows of the set, or nothing to read them (every row of the
  // table) when first asked for.
  DaoRecordset(CorePtr core, const TableInfo& table, std::optional<std::vector<std::int64_t>> keys)
      : core_(std::move(core)),
        table_(table.name),
        columns_(table.columns),
        keys_read_(keys.has_value()),
        keys_(keys ? std::move(*keys) : std::vector<std::int64_t>{}),
        pos_(0) {}

  void MakeFields() {
    fields_.context_ = Context();
    for (size_t i = 0; i < columns_.size(); ++i) {
      fields_.fields_.push_back(
          std::make_shared<RecordsetField>(weak_from_this(), static_cast<int>(i), columns_[i]));
    }
  }

  bool Eof() const override {
    Open();
    return keys_.empty() || (!after_delete_ && pos_ >= Size());
  }
  bool Bof() const override {
    Open();
    return keys_.empty() || (!after_delete_ && pos_ < 0);
  }
  int RecordCount() const override {
    Open();
    return Size();
  }

  void MoveFirst() override {
    Open();
    MoveTo(0, keys_.empty());
  }
  void MoveLast() override {
    Open();
    MoveTo(Size() - 1, keys_.empty());
  }
  void MoveNext() override {
    Open();
    if (after_delete_) {
      MoveTo(pos_, false);  // the row after the deleted one already stands at pos_
    } else {
      MoveTo(pos_ + 1, pos_ >= Size());
    }
  }
  void MovePrevious() override {
    Open();
    if (after_delete_) {
      MoveTo(pos_ - 1, false);
    } else {
      MoveTo(pos_ - 1, pos_ < 0 || keys_.empty());
    }
  }

  void AddNew() override {
    RequireUpdatable();
    buffer_.assign(columns_.size(), Value{});
    changed_.assign(columns_.size(), false);
    mode_ = Mode::kAdd;
    Notify();
  }
  void Edit() override {
    RequireUpdatable();
    buffer_ = Current();
    changed_.assign(columns_.size(), false);
    mode_ = Mode::kEdit;
  }
  void Update() override;
  void CancelUpdate() override {
    Open();
    if (mode_ == Mode::kNone) {
      throw MakeError(err::kUpdateWithoutEdit, Context());
    }
    mode_ = Mode::kNone;
  }
  void Delete() override {
    RequireUpdatable();
    Current();
    core_->Store().DeleteRow(table_, keys_[static_cast<size_t>(pos_)]);
    keys_.erase(keys_.begin() + pos_);
    after_delete_ = true;
    row_.reset();
    mode_ = Mode::kNone;
    Notify();
  }
  Collection<Field>& Fields() override {
    Valid();
    return fields_;
  }
  void Close() override { closed_ = true; }
  void SetMoveListener(std::function<void()> listener) override { listener_ = std::move(listener); }

  Value FieldValue(int column) {
    if (mode_ != Mode::kNone) return buffer_[static_cast<size_t>(column)];
    return Current()[static_cast<size_t>(column)];
  }
  void SetFieldValue(int column, const Value& value) {
    Open();
    const auto& info = columns_[static_cast<size_t>(column)];
    if (mode_ == Mode::kNone) {
      throw MakeError(err::kUpdateWithoutEdit, FieldContext(info.name));
    }
    try {
      buffer_[static_cast<size_t>(column)] = ToColumnValue(value, info.type);
    } catch (const Error& e) {
      throw Error(e.Number(), e.Text(), FieldContext(info.name));
    }
    changed_[static_cast<size_t>(column)] = true;
  }
  // Fails once the set or its database is closed.
  void Valid() const {
    if (closed_) throw MakeError(err::kObjectInvalid, Context());
    core_->Store();
  }
  // Valid, with its rows known. A set over a whole table reads its keys
  // here, at the first use that needs them: listing a table's fields reads
  // none of its rows.
  void Open() const {
    Valid();
    if (keys_read_) return;
    keys_ = core_->Store().SelectKeys(table_, "");
    keys_read_ = true;
  }

 private:
  enum class Mode { kNone, kAdd, kEdit };

  int Size() const { return static_cast<int>(keys_.size()); }
  std::string Context() const { return core_->In("record set over '" + table_ + "'"); }
  std::string FieldContext(const std::string& field) const {
    return core_->In("field '" + field + "' of table '" + table_ + "'");
  }
  void Notify() {
    if (listener_) listener_();
  }

  // Moves to `pos` unless `fails` (3021). A pending AddNew or Edit is dropped.
  void MoveTo(int pos, bool fails) {
    Open();
    if (fails) throw MakeError(err::kNoCurrentRecord, Context());
    pos_ = std::max(-1, std::min(pos, Size()));
    after_delete_ = false;
    mode_ = Mode::kNone;
    row_.reset();
    Notify();
  }

  // The current row's values; 3021 without a current row.
  const Row& Current() {
    Open();
    if (keys_.empty() || after_delete_ || pos_ < 0 || pos_ >= Size()) {
      throw MakeError(err::kNoCurrentRecord, Context());
    }
    if (!row_) {
      row_ = core_->Store().ReadRow(table_, columns_, keys_[static_cast<size_t>(pos_)]);
      if (!row_) throw MakeError(err::kRecordIsDeleted, Context());
    }
    return *row_;
  }

  void RequireUpdatable() const {
    Open();
    if (core_->Store().ReadOnly() || IsSystemName(table_)) {
      throw MakeError(err::kReadOnly, Context());
    }
  }

  // Zero length, length and required rules of the columns being written.
  void CheckRules() const {
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (mode_ == Mode::kEdit && !changed_[i]) continue;
      const auto& c = columns_[i];
      const Value& v = buffer_[i];
      if (v.IsNull()) {
        if (c.required) throw MakeError(err::kRequiredNull, {c.name}, FieldContext(c.name));
        continue;
      }
      const auto* s = std::get_if<std::string>(&v.variant());
      if (!s || !IsTextual(c.type)) continue;
      if (s->empty() && !c.allow_zero_length) {
        throw MakeError(err::kZeroLengthString, {c.name}, FieldContext(c.name));
      }
      if (c.type == dbText && CharacterCount(*s) > static_cast<size_t>(c.size)) {
        throw MakeError(err::kFieldTooSmall, FieldContext(c.name));
      }
    }
  }

  CorePtr core_;
  std::string table_;
  std::vector<ColumnInfo> columns_;
  mutable bool keys_read_;
  mutable std::vector<std::int64_t> keys_;
  int pos_;
  bool after_delete_ = false;
  bool closed_ = false;
  Mode mode_ = Mode::kNone;
  Row buffer_;
  std::vector<bool> changed_;
  std::optional<Row> row_;
  RecordsetFields fields_;
  std::function<void()> listener_;
};

void DaoRecordset::Update() {
  Open();
  if (mode_ == Mode::kNone) {
    throw MakeError(err::kUpdateWithoutEdit, Context());
  }
  CheckRules();
  std::vector<std::string> names;
  Row values;
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (!changed_[i]) continue;
    names.push_back(columns_[i].name);
    values.push_back(buffer_[i]);
  }
  if (mode_ == Mode::kAdd) {
    const bool at_end = pos_ >= Size();
    keys_.push_back(core_->Store().InsertRow(table_, names, values));
    // The row current before AddNew stays current; a set at its end stays there.
    if (at_end && !after_delete_) pos_ = Size();
  } else {
    core_->Store().UpdateRow(table_, keys_[static_cast<size_t>(pos_)], names, values);
  }
  mode_ = Mode::kNone;
  row_.reset();
  Notify();
}

std::shared_ptr<DaoRecordset> RecordsetField::Set() const {
  auto set = set_.lock();
  if (!set) throw MakeError(err::kObjectInvalid, "field '" + info_.name + "'");
  return set;
}

Value RecordsetField::GetValue() const { return Set()->FieldValue(column_); }
void RecordsetField::SetValue(const Value& value) { Set()->SetFieldValue(column_, value); }

RecordsetPtr OpenSource(const CorePtr& core, std::string_view text, int depth) {
  const std::string context = core->In("record source '" + std::string(text) + "'");
  const auto schema = core->Describe();
  // A table whose name looks like a statement or carries brackets is still a table.
  Source source{std::string(Trim(text)), {}};
  const TableInfo* table = schema->FindTable(source.table);
  if (!table) {
    source = ParseSource(text, context);
    table = schema->FindTable(source.table);
  }
  if (!table) {
    // A stored query of the same form stands for its table.
    const QueryInfo* query = schema->FindQuery(source.table);
    if (query && source.tail.empty() && depth < kMaxQueryDepth) {
      return OpenSource(core, query->sql, depth + 1);
    }
    throw MakeError(err::kInputTableNotFound, {source.table}, context);
  }
  // A source that selects or orders is run at once, so that a statement
  // the storage refuses fails the open; a whole table's keys wait for the
  // first use that needs them.
  std::optional<std::vector<std::int64_t>> keys;
  if (!source.tail.empty()) keys = core->Store().SelectKeys(table->name, source.tail);
  auto set = std::make_shared<DaoRecordset>(core, *table, std::move(keys));
  set->MakeFields();
  return set;
}

}  // namespace

RecordsetPtr OpenDaoRecordset(const CorePtr& core, std::string_view source) {
  return OpenSource(core, source, 0);
}

}  // namespace actualiz::engine
