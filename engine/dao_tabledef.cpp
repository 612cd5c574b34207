// Table definitions, with their fields and indexes.
//
// A new table keeps its fields and indexes in memory; TableDefs.Append
// stores it whole in one change. A stored table reads its columns and
// indexes from the storage on every call, and appending or deleting a
// field or an index changes the file at once.
#include <set>

#include "engine/dao_objects.h"
#include "engine/field_types.h"

namespace actualiz::engine {

namespace {

std::shared_ptr<DaoField> AsDaoField(const FieldPtr& field, const std::string& context) {
  auto dao = std::dynamic_pointer_cast<DaoField>(field);
  if (!dao) throw MakeError(err::kInvalidOperation, context);
  return dao;
}

std::shared_ptr<DaoIndex> AsDaoIndex(const IndexPtr& index, const std::string& context) {
  auto dao = std::dynamic_pointer_cast<DaoIndex>(index);
  if (!dao) throw MakeError(err::kInvalidOperation, context);
  return dao;
}

std::string FieldContext(const DaoTableDef& table, std::string_view field) {
  return "field '" + std::string(field) + "' of " + table.Context();
}

std::string IndexContext(const DaoTableDef& table, std::string_view index) {
  return "index '" + std::string(index) + "' of " + table.Context();
}

// Checks an index against the columns of its table: it has fields, each
// exists, none twice.
void CheckIndexFields(const DaoTableDef& table, const IndexInfo& index,
                      const std::vector<ColumnInfo>& columns) {
  if (index.fields.empty()) {
    throw MakeError(err::kNoFieldDefined, IndexContext(table, index.name));
  }
  for (const auto& field : index.fields) {
    bool found = false;
    for (const auto& column : columns) found = found || SameNameIgnoringCase(column.name, field);
    if (!found) {
      throw MakeError(err::kItemNotFound,
                      "field '" + field + "' of " + IndexContext(table, index.name));
    }
  }
}

}  // namespace

// ---- the table ----

DaoTableDef::DaoTableDef(CorePtr core, std::string name, bool stored)
    : core_(std::move(core)),
      name_(std::move(name)),
      stored_(stored),
      fields_(*this),
      indexes_(*this) {}

std::string DaoTableDef::Context() const { return core_->In("table '" + name_ + "'"); }

bool DaoTableDef::Updatable() const { return !core_->Store().ReadOnly() && !IsSystemName(name_); }

void DaoTableDef::RequireUpdatable() const {
  if (!Updatable()) throw MakeError(err::kReadOnly, Context());
}

const TableInfo& DaoTableDef::StoredInfo(const Schema& schema) const {
  const TableInfo* table = schema.FindTable(name_);
  if (!table) throw MakeError(err::kObjectInvalid, Context());
  return *table;
}

FieldPtr DaoTableDef::CreateField(std::string_view name, int type, int size) {
  const std::string context = FieldContext(*this, name);
  if (!IsKnownType(type)) throw MakeError(err::kInvalidFieldType, context);
  if (type == dbText && (size < 0 || size > 255)) {
    throw MakeError(err::kInvalidArgument, context);
  }
  ColumnInfo info{std::string(name), static_cast<std::int16_t>(type), ReportedSize(type, size),
                  false, false};
  return std::make_shared<DaoField>(info, "", false);
}

IndexPtr DaoTableDef::CreateIndex(std::string_view name) {
  return std::make_shared<DaoIndex>(IndexInfo{std::string(name), false, false, {}}, false);
}

void DaoTableDef::Store() {
  const std::string context = Context();
  if (stored_) throw MakeError(err::kTableExists, {name_}, context);
  CheckObjectName(name_, context);
  if (new_fields_.empty()) throw MakeError(err::kNoFieldDefined, context);
  TableInfo info{name_, {}, {}};
  for (const auto& field : new_fields_) {
    if (info.FindColumn(field->Name())) {
      throw MakeError(err::kFieldDefinedTwice, FieldContext(*this, field->Name()));
    }
    info.columns.push_back(field->Info());
  }
  for (const auto& index : new_indexes_) {
    IndexInfo index_info = index->Info();
    CheckIndexFields(*this, index_info, info.columns);
    info.indexes.push_back(index_info);
  }
  core_->Store().Change([&](const Schema& schema) {
    if (schema.FindTable(name_)) throw MakeError(err::kTableExists, {name_}, context);
    core_->Store().CreateTable(info);
  });
  stored_ = true;
  for (const auto& field : new_fields_) field->Attach();
  for (const auto& index : new_indexes_) index->Attach();
  new_fields_.clear();
  new_indexes_.clear();
}

// ---- its fields ----

TableFields::TableFields(DaoTableDef& owner) : owner_(owner) {}

int TableFields::Count() const {
  if (!owner_.stored_) return static_cast<int>(owner_.new_fields_.size());
  const auto schema = owner_.core_->Describe();
  return static_cast<int>(owner_.StoredInfo(*schema).columns.size());
}

FieldPtr TableFields::Item(int position) const {
  if (!owner_.stored_) {
    if (position < 0 || position >= Count()) {
      throw MakeError(err::kItemNotFound,
                      "field " + std::to_string(position) + " of " + owner_.Context());
    }
    return owner_.new_fields_[static_cast<size_t>(position)];
  }
  const auto schema = owner_.core_->Describe();
  const auto& columns = owner_.StoredInfo(*schema).columns;
  if (position < 0 || position >= static_cast<int>(columns.size())) {
    throw MakeError(err::kItemNotFound,
                    "field " + std::to_string(position) + " of " + owner_.Context());
  }
  return std::make_shared<DaoField>(columns[static_cast<size_t>(position)], "", true);
}

FieldPtr TableFields::Item(std::string_view name) const {
  if (!owner_.stored_) {
    for (const auto& field : owner_.new_fields_) {
      if (SameNameIgnoringCase(field->Name(), name)) return field;
    }
  } else {
    const auto schema = owner_.core_->Describe();
    if (const ColumnInfo* column = owner_.StoredInfo(*schema).FindColumn(name)) {
      return std::make_shared<DaoField>(*column, "", true);
    }
  }
  throw MakeError(err::kItemNotFound, FieldContext(owner_, name));
}

void TableFields::Append(const FieldPtr& object) {
  if (!object) throw MakeError(err::kObjectInvalid, owner_.Context());
  const std::string context = FieldContext(owner_, object->Name());
  auto field = AsDaoField(object, context);
  CheckObjectName(field->Name(), context);
  if (!owner_.stored_) {
    // A name given twice is refused when the table is appended.
    owner_.new_fields_.push_back(field);
    return;
  }
  owner_.RequireUpdatable();
  owner_.core_->Store().Change([&](const Schema& schema) {
    const TableInfo& table = owner_.StoredInfo(schema);
    if (table.FindColumn(field->Name())) {
      throw MakeError(err::kFieldDefinedTwice, context);
    }
    owner_.core_->Store().AddColumn(table.name, field->Info());
  });
  field->Attach();
}

void TableFields::Delete(std::string_view name) {
  const std::string context = FieldContext(owner_, name);
  if (!owner_.stored_) {
    auto& fields = owner_.new_fields_;
    for (auto it = fields.begin(); it != fields.end(); ++it) {
      if (SameNameIgnoringCase((*it)->Name(), name)) {
        fields.erase(it);
        return;
      }
    }
    throw MakeError(err::kItemNotFound, context);
  }
  owner_.RequireUpdatable();
  owner_.core_->Store().Change([&](const Schema& schema) {
    const TableInfo& table = owner_.StoredInfo(schema);
    const ColumnInfo* column = table.FindColumn(name);
    if (!column) throw MakeError(err::kItemNotFound, context);
    // The file would lose an index's or a relation's field under it.
    for (const auto& index : table.indexes) {
      for (const auto& field : index.fields) {
        if (SameNameIgnoringCase(field, name)) {
          throw MakeError(err::kFieldInIndex, context);
        }
      }
    }
    for (const auto& relation : schema.relations) {
      for (const auto& [primary, foreign] : relation.fields) {
        if ((SameNameIgnoringCase(relation.table, table.name) &&
             SameNameIgnoringCase(primary, name)) ||
            (SameNameIgnoringCase(relation.foreign_table, table.name) &&
             SameNameIgnoringCase(foreign, name))) {
          throw MakeError(err::kFieldInIndex, context);
        }
      }
    }
    owner_.core_->Store().DropColumn(table.name, column->name);
  });
}

// ---- its indexes ----

TableIndexes::TableIndexes(DaoTableDef& owner) : owner_(owner) {}

int TableIndexes::Count() const {
  if (!owner_.stored_) return static_cast<int>(owner_.new_indexes_.size());
  const auto schema = owner_.core_->Describe();
  return static_cast<int>(owner_.StoredInfo(*schema).indexes.size());
}

IndexPtr TableIndexes::Item(int position) const {
  if (!owner_.stored_) {
    if (position < 0 || position >= Count()) {
      throw MakeError(err::kItemNotFound,
                      "index " + std::to_string(position) + " of " + owner_.Context());
    }
    return owner_.new_indexes_[static_cast<size_t>(position)];
  }
  const auto schema = owner_.core_->Describe();
  const auto& indexes = owner_.StoredInfo(*schema).indexes;
  if (position < 0 || position >= static_cast<int>(indexes.size())) {
    throw MakeError(err::kItemNotFound,
                    "index " + std::to_string(position) + " of " + owner_.Context());
  }
  return std::make_shared<DaoIndex>(indexes[static_cast<size_t>(position)], true);
}

IndexPtr TableIndexes::Item(std::string_view name) const {
  if (!owner_.stored_) {
    for (const auto& index : owner_.new_indexes_) {
      if (SameNameIgnoringCase(index->Name(), name)) return index;
    }
  } else {
    const auto schema = owner_.core_->Describe();
    if (const IndexInfo* index = owner_.StoredInfo(*schema).FindIndex(name)) {
      return std::make_shared<DaoIndex>(*index, true);
    }
  }
  throw MakeError(err::kItemNotFound, IndexContext(owner_, name));
}

void TableIndexes::Append(const IndexPtr& object) {
  if (!object) throw MakeError(err::kObjectInvalid, owner_.Context());
  const std::string context = IndexContext(owner_, object->Name());
  auto index = AsDaoIndex(object, context);
  CheckObjectName(index->Name(), context);
  const IndexInfo info = index->Info();
  if (info.fields.empty()) throw MakeError(err::kNoFieldDefined, context);
  if (!owner_.stored_) {
    for (const auto& other : owner_.new_indexes_) {
      if (SameNameIgnoringCase(other->Name(), info.name)) {
        throw MakeError(err::kIndexExists, context);
      }
      if (info.primary && other->Primary()) {
        throw MakeError(err::kPrimaryKeyExists, context);
      }
    }
    owner_.new_indexes_.push_back(index);
    return;
  }
  owner_.RequireUpdatable();
  owner_.core_->Store().Change([&](const Schema& schema) {
    const TableInfo& table = owner_.StoredInfo(schema);
    if (table.FindIndex(info.name)) throw MakeError(err::kIndexExists, context);
    if (info.primary) {
      for (const auto& other : table.indexes) {
        if (other.primary) throw MakeError(err::kPrimaryKeyExists, context);
      }
    }
    CheckIndexFields(owner_, info, table.columns);
    owner_.core_->Store().CreateIndex(table.name, info);
  });
  index->Attach();
}

void TableIndexes::Delete(std::string_view name) {
  const std::string context = IndexContext(owner_, name);
  if (!owner_.stored_) {
    auto& indexes = owner_.new_indexes_;
    for (auto it = indexes.begin(); it != indexes.end(); ++it) {
      if (SameNameIgnoringCase((*it)->Name(), name)) {
        indexes.erase(it);
        return;
      }
    }
    throw MakeError(err::kItemNotFound, context);
  }
  owner_.RequireUpdatable();
  owner_.core_->Store().Change([&](const Schema& schema) {
    const TableInfo& table = owner_.StoredInfo(schema);
    const IndexInfo* index = table.FindIndex(name);
    if (!index) throw MakeError(err::kItemNotFound, context);
    owner_.core_->Store().DropIndex(table.name, index->name);
  });
}

}  // namespace actualiz::engine
