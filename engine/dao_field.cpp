// Fields, indexes and relations as DAO objects.
#include "engine/dao_objects.h"

namespace actualiz::engine {

// ---- fields ----

void DaoField::RequireDetached() const {
  if (attached_) {
    throw MakeError(err::kInvalidOperation, "field '" + info_.name + "'");
  }
}

void DaoField::SetAllowZeroLength(bool value) {
  RequireDetached();
  info_.allow_zero_length = value;
}

void DaoField::SetRequired(bool value) {
  RequireDetached();
  info_.required = value;
}

void DaoField::SetForeignName(std::string_view name) {
  RequireDetached();
  foreign_name_ = std::string(name);
}

// Only the fields of a record set carry values.
Value DaoField::GetValue() const {
  throw MakeError(err::kInvalidOperation, "field '" + info_.name + "'");
}

void DaoField::SetValue(const Value&) {
  throw MakeError(err::kInvalidOperation, "field '" + info_.name + "'");
}

// ---- indexes ----

DaoIndex::DaoIndex(IndexInfo info, bool attached)
    : name_(std::move(info.name)),
      unique_(info.unique),
      primary_(info.primary),
      attached_(attached),
      fields_([this] { return "index '" + name_ + "'"; }, false) {
  for (const auto& field : info.fields) {
    fields_.Append(std::make_shared<DaoField>(ColumnInfo{field, 0, 0, false, false}, "", true));
  }
  if (attached_) fields_.Freeze();
}

FieldPtr DaoIndex::CreateField(std::string_view name) {
  return std::make_shared<DaoField>(ColumnInfo{std::string(name), 0, 0, false, false}, "", false);
}

void DaoIndex::SetUnique(bool value) {
  if (attached_) throw MakeError(err::kInvalidOperation, "index '" + name_ + "'");
  unique_ = value;
}

void DaoIndex::SetPrimary(bool value) {
  if (attached_) throw MakeError(err::kInvalidOperation, "index '" + name_ + "'");
  primary_ = value;
}

IndexInfo DaoIndex::Info() const {
  IndexInfo info{name_, unique_ || primary_, primary_, {}};
  for (const auto& field : fields_.items()) info.fields.push_back(field->Name());
  return info;
}

void DaoIndex::Attach() {
  attached_ = true;
  fields_.Freeze();
  for (const auto& field : fields_.items())
    if (auto f = std::dynamic_pointer_cast<DaoField>(field)) f->Attach();
}

// ---- relations ----

DaoRelation::DaoRelation(RelationInfo info, bool stored)
    : info_(std::move(info)),
      stored_(stored),
      fields_([this] { return "relation '" + info_.name + "'"; }, false) {
  for (const auto& [field, foreign] : info_.fields) {
    fields_.Append(
        std::make_shared<DaoField>(ColumnInfo{field, 0, 0, false, false}, foreign, stored));
  }
  if (stored_) fields_.Freeze();
}

FieldPtr DaoRelation::CreateField(std::string_view name) {
  return std::make_shared<DaoField>(ColumnInfo{std::string(name), 0, 0, false, false}, "", false);
}

RelationInfo DaoRelation::Info() const {
  RelationInfo info = info_;
  info.fields.clear();
  for (const auto& field : fields_.items())
    info.fields.emplace_back(field->Name(), field->ForeignName());
  return info;
}

void DaoRelation::MarkStored() {
  stored_ = true;
  fields_.Freeze();
  for (const auto& field : fields_.items())
    if (auto f = std::dynamic_pointer_cast<DaoField>(field)) f->Attach();
}

}  // namespace actualiz::engine
