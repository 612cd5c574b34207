// The DAO objects behind engine.h, and the rules they keep.
//
// Objects from a live collection (a stored table, its fields and indexes, a
// stored relation or query) read what is stored through the Storage each
// time; objects made by a Create* call keep their definition in memory
// until they are appended. All objects of one database share its
// DatabaseCore; after Database::Close every call fails with 3420.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "base/names.h"
#include "engine/engine.h"
#include "engine/jet_errors.h"
#include "engine/storage.h"

namespace actualiz::engine {

struct SessionState;

struct DatabaseCore {
  std::string name;
  // The session the database was opened in, kept alive as long as the
  // database (declared before the storage, which may refer to it).
  std::shared_ptr<SessionState> session;
  std::unique_ptr<Storage> storage;

  DatabaseCore() = default;
  DatabaseCore(const DatabaseCore&) = delete;
  DatabaseCore& operator=(const DatabaseCore&) = delete;
  // Releases the storage (Release); a failure to store grouped changes is
  // kept in the session for GroupChangesUntilClose::RaiseUnreported.
  ~DatabaseCore();

  // Lets the file go: stores the changes grouped since the open (raising
  // the Error when that fails); a SQLite connection may then be kept for
  // the session's next open of the same file (KeepClosedConnections), any
  // other storage is closed.
  void Release();

  // The storage; 3420 once the database is closed.
  Storage& Store() const;
  std::shared_ptr<const Schema> Describe() const { return Store().Describe(); }
  // "<what> in '<file>'".
  std::string In(const std::string& what) const { return what + " in '" + name + "'"; }
};
using CorePtr = std::shared_ptr<DatabaseCore>;

// A collection kept in memory: the fields and indexes of a table not yet
// stored, the fields of an index or a relation not yet stored.
template <class T>
class MemoryCollection final : public Collection<T> {
 public:
  using Ptr = std::shared_ptr<T>;
  // `context` names the owner in errors; `allow_duplicates` lets a name in
  // twice (checked later by the owner's own append).
  MemoryCollection(std::function<std::string()> context, bool allow_duplicates)
      : context_(std::move(context)), allow_duplicates_(allow_duplicates) {}

  int Count() const override { return static_cast<int>(items_.size()); }
  Ptr Item(int position) const override {
    if (position < 0 || position >= Count()) {
      throw MakeError(err::kItemNotFound, "item " + std::to_string(position) + " of " + context_());
    }
    return items_[static_cast<size_t>(position)];
  }
  Ptr Item(std::string_view name) const override {
    for (const auto& item : items_) {
      if (SameNameIgnoringCase(item->Name(), name)) return item;
    }
    throw MakeError(err::kItemNotFound, "'" + std::string(name) + "' of " + context_());
  }
  void Append(const Ptr& object) override {
    if (frozen_) throw MakeError(err::kInvalidOperation, context_());
    if (!object) throw MakeError(err::kObjectInvalid, context_());
    CheckObjectName(object->Name(), context_());
    if (!allow_duplicates_) {
      for (const auto& item : items_) {
        if (SameNameIgnoringCase(item->Name(), object->Name())) {
          throw MakeError(err::kNameTakenInCollection, "'" + object->Name() + "' of " + context_());
        }
      }
    }
    items_.push_back(object);
  }
  void Delete(std::string_view name) override {
    if (frozen_) throw MakeError(err::kInvalidOperation, context_());
    for (auto it = items_.begin(); it != items_.end(); ++it) {
      if (SameNameIgnoringCase((*it)->Name(), name)) {
        items_.erase(it);
        return;
      }
    }
    throw MakeError(err::kItemNotFound, "'" + std::string(name) + "' of " + context_());
  }

  // Once the owner is stored, its members no longer change this way.
  void Freeze() { frozen_ = true; }
  const std::vector<Ptr>& items() const { return items_; }

 private:
  std::function<std::string()> context_;
  bool allow_duplicates_;
  bool frozen_ = false;
  std::vector<Ptr> items_;
};

// A field of a table, an index or a relation (not of a record set).
class DaoField final : public Field {
 public:
  DaoField(ColumnInfo info, std::string foreign_name, bool attached)
      : info_(std::move(info)), foreign_name_(std::move(foreign_name)), attached_(attached) {}

  std::string Name() const override { return info_.name; }
  std::int16_t Type() const override { return info_.type; }
  std::int32_t Size() const override { return info_.size; }
  bool AllowZeroLength() const override { return info_.allow_zero_length; }
  bool Required() const override { return info_.required; }
  std::string ForeignName() const override { return foreign_name_; }
  void SetAllowZeroLength(bool value) override;
  void SetRequired(bool value) override;
  void SetForeignName(std::string_view name) override;
  Value GetValue() const override;
  void SetValue(const Value& value) override;

  const ColumnInfo& Info() const { return info_; }
  void Attach() { attached_ = true; }

 private:
  void RequireDetached() const;
  ColumnInfo info_;
  std::string foreign_name_;
  bool attached_;
};

class DaoIndex final : public Index {
 public:
  // A new index (`attached` false) or a stored one described by `info`.
  DaoIndex(IndexInfo info, bool attached);
  std::string Name() const override { return name_; }
  bool Unique() const override { return unique_ || primary_; }
  bool Primary() const override { return primary_; }
  Collection<Field>& Fields() override { return fields_; }
  FieldPtr CreateField(std::string_view name) override;
  void SetUnique(bool value) override;
  void SetPrimary(bool value) override;

  // The definition as it stands.
  IndexInfo Info() const;
  void Attach();

 private:
  std::string name_;
  bool unique_ = false;
  bool primary_ = false;
  bool attached_ = false;
  MemoryCollection<Field> fields_;
};

class DaoTableDef;

// Fields of a table: in memory until the table is stored, then the stored columns.
class TableFields final : public Collection<Field> {
 public:
  explicit TableFields(DaoTableDef& owner);
  int Count() const override;
  FieldPtr Item(int position) const override;
  FieldPtr Item(std::string_view name) const override;
  void Append(const FieldPtr& object) override;
  void Delete(std::string_view name) override;

 private:
  DaoTableDef& owner_;
};

class TableIndexes final : public Collection<Index> {
 public:
  explicit TableIndexes(DaoTableDef& owner);
  int Count() const override;
  IndexPtr Item(int position) const override;
  IndexPtr Item(std::string_view name) const override;
  void Append(const IndexPtr& object) override;
  void Delete(std::string_view name) override;

 private:
  DaoTableDef& owner_;
};

class DaoTableDef final : public TableDef {
 public:
  // A stored table (`stored` true) or a new one of that name.
  DaoTableDef(CorePtr core, std::string name, bool stored);
  std::string Name() const override { return name_; }
  bool Updatable() const override;
  Collection<Field>& Fields() override { return fields_; }
  Collection<Index>& Indexes() override { return indexes_; }
  FieldPtr CreateField(std::string_view name, int type, int size) override;
  IndexPtr CreateIndex(std::string_view name) override;

  // Stores this new table with its fields and indexes (TableDefs.Append).
  void Store();
  bool Stored() const { return stored_; }
  const CorePtr& Core() const { return core_; }
  // The stored table as it stands; 3420 when it no longer exists.
  const TableInfo& StoredInfo(const Schema& schema) const;
  // "table '<name>' in '<file>'".
  std::string Context() const;
  // Fails with 3027 unless the table may be changed.
  void RequireUpdatable() const;

 private:
  friend class TableFields;
  friend class TableIndexes;
  CorePtr core_;
  std::string name_;
  bool stored_;
  std::vector<std::shared_ptr<DaoField>> new_fields_;
  std::vector<std::shared_ptr<DaoIndex>> new_indexes_;
  TableFields fields_;
  TableIndexes indexes_;
};

class DaoRelation final : public Relation {
 public:
  DaoRelation(RelationInfo info, bool stored);
  std::string Name() const override { return info_.name; }
  std::string Table() const override { return info_.table; }
  std::string ForeignTable() const override { return info_.foreign_table; }
  std::int32_t Attributes() const override { return info_.attributes; }
  Collection<Field>& Fields() override { return fields_; }
  FieldPtr CreateField(std::string_view name) override;

  // The definition with the field pairs as they stand.
  RelationInfo Info() const;
  bool Stored() const { return stored_; }
  void MarkStored();

 private:
  RelationInfo info_;
  bool stored_;
  MemoryCollection<Field> fields_;
};

class DaoQueryDef final : public QueryDef {
 public:
  DaoQueryDef(const CorePtr& core, QueryInfo info, bool stored)
      : core_(core), info_(std::move(info)), stored_(stored) {}
  std::string Name() const override { return info_.name; }
  std::string SQL() const override { return info_.sql; }
  const QueryInfo& Info() const { return info_; }
  // True for the very definition that CreateQueryDef (with a name) or
  // QueryDefs.Append stored on database `core`; items read from the
  // collection are other definitions.
  bool StoredIn(const CorePtr& core) const { return stored_ && core_.lock() == core; }
  void MarkStored() { stored_ = true; }

 private:
  std::weak_ptr<DatabaseCore> core_;
  QueryInfo info_;
  bool stored_;
};

// Opens a record set over `source` (see Database::OpenRecordset).
RecordsetPtr OpenDaoRecordset(const CorePtr& core, std::string_view source);

// Stores a query definition after checking its name and statement.
void StoreQuery(const CorePtr& core, const QueryInfo& query);

}  // namespace actualiz::engine
