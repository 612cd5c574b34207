// The database object and its three live collections.
#include <cctype>
#include <charconv>

#include "engine/dao_database.h"
#include "engine/dao_objects.h"
#include "engine/session_state.h"

namespace actualiz::engine {

DatabaseCore::~DatabaseCore() {
  try {
    Release();
  } catch (const Error& e) {
    // Nobody to tell now: the batch asks for it (GroupChangesUntilClose).
    if (session) session->groups.KeepUnreported(e);
  } catch (...) {
    if (session) {
      session->groups.KeepUnreported(MakeError(err::kReservedError, In("storing the changes")));
    }
  }
}

void DatabaseCore::Release() {
  if (!storage) return;
  try {
    storage->Finish();
  } catch (...) {
    storage.reset();  // the file is let go whether or not the group was stored
    throw;
  }
  Storage* retiring = storage.get();
  retiring->Retire(std::move(storage));
}

Storage& DatabaseCore::Store() const {
  if (!storage) throw MakeError(err::kObjectInvalid, "database '" + name + "'");
  return *storage;
}

namespace {

std::string RelationContext(const DatabaseCore& core, std::string_view name) {
  return core.In("relation '" + std::string(name) + "'");
}

std::string QueryContext(const DatabaseCore& core, std::string_view name) {
  return core.In("query '" + std::string(name) + "'");
}

template <class T>
const T& AtPosition(const std::vector<T>& items, int position, const std::string& context) {
  if (position < 0 || position >= static_cast<int>(items.size())) {
    throw MakeError(err::kItemNotFound, "item " + std::to_string(position) + " of " + context);
  }
  return items[static_cast<size_t>(position)];
}

// Checks a relation against the stored tables: both exist, it has fields,
// each field exists on its side, no field is paired twice.
void CheckRelation(const DatabaseCore& core, const Schema& schema, RelationInfo& r) {
  const std::string context = RelationContext(core, r.name);
  if (schema.FindRelation(r.name)) {
    throw MakeError(err::kObjectExists, {r.name}, context);
  }
  const TableInfo* primary = schema.FindTable(r.table);
  if (!primary) throw MakeError(err::kTableNotFound, {r.table}, context);
  const TableInfo* foreign = schema.FindTable(r.foreign_table);
  if (!foreign) {
    throw MakeError(err::kTableNotFound, {r.foreign_table}, context);
  }
  if (r.fields.empty()) throw MakeError(err::kNoFieldsInRelation, context);
  for (size_t i = 0; i < r.fields.size(); ++i) {
    auto& [p, f] = r.fields[i];
    if (f.empty()) {
      throw MakeError(err::kRelationFieldMismatch, "field '" + p + "' of " + context);
    }
    const ColumnInfo* pc = primary->FindColumn(p);
    if (!pc) {
      throw MakeError(err::kItemNotFound,
                      "field '" + p + "' of table '" + primary->name + "' for " + context);
    }
    const ColumnInfo* fc = foreign->FindColumn(f);
    if (!fc) {
      throw MakeError(err::kItemNotFound,
                      "field '" + f + "' of table '" + foreign->name + "' for " + context);
    }
    for (size_t j = 0; j < i; ++j) {
      if (SameNameIgnoringCase(r.fields[j].first, p) ||
          SameNameIgnoringCase(r.fields[j].second, f)) {
        throw MakeError(err::kRelationFieldMismatch, "field '" + p + "' of " + context);
      }
    }
    p = pc->name;
    f = fc->name;
  }
  r.table = primary->name;
  r.foreign_table = foreign->name;
}

class TableDefsCollection final : public Collection<TableDef> {
 public:
  explicit TableDefsCollection(CorePtr core) : core_(std::move(core)) {}
  int Count() const override { return static_cast<int>(core_->Describe()->tables.size()); }
  TableDefPtr Item(int position) const override {
    const auto schema = core_->Describe();
    const auto& table = AtPosition(schema->tables, position, core_->In("the tables"));
    return std::make_shared<DaoTableDef>(core_, table.name, true);
  }
  TableDefPtr Item(std::string_view name) const override {
    const auto schema = core_->Describe();
    const TableInfo* table = schema->FindTable(name);
    if (!table) {
      throw MakeError(err::kItemNotFound, core_->In("table '" + std::string(name) + "'"));
    }
    return std::make_shared<DaoTableDef>(core_, table->name, true);
  }
  void Append(const TableDefPtr& object) override {
    auto table = std::dynamic_pointer_cast<DaoTableDef>(object);
    if (!table || table->Core() != core_) {
      throw MakeError(err::kInvalidOperation, core_->In("the tables"));
    }
    table->Store();
  }
  void Delete(std::string_view name) override {
    const std::string context = core_->In("table '" + std::string(name) + "'");
    core_->Store().Change([&](const Schema& schema) {
      const TableInfo* table = schema.FindTable(name);
      if (!table) throw MakeError(err::kItemNotFound, context);
      if (IsSystemName(table->name)) throw MakeError(err::kReadOnly, context);
      for (const auto& r : schema.relations) {
        if (SameNameIgnoringCase(r.table, table->name) ||
            SameNameIgnoringCase(r.foreign_table, table->name)) {
          throw MakeError(err::kTableInRelation, {table->name}, context);
        }
      }
      core_->Store().DropTable(table->name);
    });
  }

 private:
  CorePtr core_;
};

class RelationsCollection final : public Collection<Relation> {
 public:
  explicit RelationsCollection(CorePtr core) : core_(std::move(core)) {}
  int Count() const override { return static_cast<int>(core_->Describe()->relations.size()); }
  RelationPtr Item(int position) const override {
    const auto schema = core_->Describe();
    return std::make_shared<DaoRelation>(
        AtPosition(schema->relations, position, core_->In("the relations")), true);
  }
  RelationPtr Item(std::string_view name) const override {
    const auto schema = core_->Describe();
    const RelationInfo* r = schema->FindRelation(name);
    if (!r) throw MakeError(err::kItemNotFound, RelationContext(*core_, name));
    return std::make_shared<DaoRelation>(*r, true);
  }
  void Append(const RelationPtr& object) override {
    auto relation = std::dynamic_pointer_cast<DaoRelation>(object);
    if (!relation) {
      throw MakeError(err::kInvalidOperation, core_->In("the relations"));
    }
    RelationInfo info = relation->Info();
    const std::string context = RelationContext(*core_, info.name);
    if (relation->Stored()) throw MakeError(err::kObjectExists, {info.name}, context);
    CheckObjectName(info.name, context);
    core_->Store().Change([&](const Schema& schema) {
      CheckRelation(*core_, schema, info);
      core_->Store().CreateRelation(info);
    });
    relation->MarkStored();
  }
  void Delete(std::string_view name) override {
    const std::string context = RelationContext(*core_, name);
    core_->Store().Change([&](const Schema& schema) {
      const RelationInfo* r = schema.FindRelation(name);
      if (!r) throw MakeError(err::kItemNotFound, context);
      core_->Store().DropRelation(r->name);
    });
  }

 private:
  CorePtr core_;
};

class QueryDefsCollection final : public Collection<QueryDef> {
 public:
  explicit QueryDefsCollection(CorePtr core) : core_(std::move(core)) {}
  int Count() const override { return static_cast<int>(core_->Describe()->queries.size()); }
  QueryDefPtr Item(int position) const override {
    const auto schema = core_->Describe();
    return std::make_shared<DaoQueryDef>(
        core_, AtPosition(schema->queries, position, core_->In("the queries")), false);
  }
  QueryDefPtr Item(std::string_view name) const override {
    const auto schema = core_->Describe();
    const QueryInfo* q = schema->FindQuery(name);
    if (!q) throw MakeError(err::kItemNotFound, QueryContext(*core_, name));
    return std::make_shared<DaoQueryDef>(core_, *q, false);
  }
  void Append(const QueryDefPtr& object) override {
    auto query = std::dynamic_pointer_cast<DaoQueryDef>(object);
    if (!query) {
      throw MakeError(err::kInvalidOperation, core_->In("the queries"));
    }
    // The definition CreateQueryDef already stored: nothing more to do.
    if (query->StoredIn(core_)) {
      const auto schema = core_->Describe();
      const QueryInfo* stored = schema->FindQuery(query->Name());
      if (stored && stored->sql == query->SQL()) return;
    }
    StoreQuery(core_, query->Info());
    query->MarkStored();
  }
  void Delete(std::string_view name) override {
    const std::string context = QueryContext(*core_, name);
    core_->Store().Change([&](const Schema& schema) {
      const QueryInfo* q = schema.FindQuery(name);
      if (!q) throw MakeError(err::kItemNotFound, context);
      core_->Store().DropQuery(q->name);
    });
  }

 private:
  CorePtr core_;
};

std::int32_t ParseAttributes(std::string_view text, const std::string& context) {
  size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  if (b < e && text[b] == '+') ++b;
  std::int64_t value = 0;
  auto [ptr, ec] = std::from_chars(text.data() + b, text.data() + e, value);
  if (b == e || ec != std::errc() || ptr != text.data() + e || value < INT32_MIN ||
      value > INT32_MAX) {
    throw MakeError(err::kInvalidArgument, context);
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace

void StoreQuery(const CorePtr& core, const QueryInfo& query) {
  const std::string context = QueryContext(*core, query.name);
  CheckObjectName(query.name, context);
  core->Store().Change([&](const Schema& schema) {
    if (schema.FindQuery(query.name)) {
      throw MakeError(err::kObjectExists, {query.name}, context);
    }
    try {
      core->Store().CheckQuery(query.sql);
    } catch (const Error& e) {
      throw Error(e.Number(), e.Text(), context);
    }
    core->Store().CreateQuery(query);
  });
}

DaoDatabase::DaoDatabase(CorePtr core)
    : core_(std::move(core)),
      tables_(std::make_unique<TableDefsCollection>(core_)),
      relations_(std::make_unique<RelationsCollection>(core_)),
      queries_(std::make_unique<QueryDefsCollection>(core_)) {}

DaoDatabase::~DaoDatabase() = default;

bool DaoDatabase::ReadOnly() const { return core_->Store().ReadOnly(); }

TableDefPtr DaoDatabase::CreateTableDef(std::string_view name) {
  core_->Store();
  return std::make_shared<DaoTableDef>(core_, std::string(name), false);
}

RelationPtr DaoDatabase::CreateRelation(std::string_view name, std::string_view table,
                                        std::string_view foreign_table,
                                        std::string_view attributes) {
  return CreateRelation(name, table, foreign_table,
                        ParseAttributes(attributes, RelationContext(*core_, name)));
}

RelationPtr DaoDatabase::CreateRelation(std::string_view name, std::string_view table,
                                        std::string_view foreign_table, std::int32_t attributes) {
  core_->Store();
  return std::make_shared<DaoRelation>(
      RelationInfo{
          std::string(name), std::string(table), std::string(foreign_table), attributes, {}},
      false);
}

QueryDefPtr DaoDatabase::CreateQueryDef(std::string_view name, std::string_view sql) {
  QueryInfo info{std::string(name), std::string(sql)};
  if (name.empty()) {
    // A temporary definition: checked, never stored.
    core_->Store().CheckQuery(info.sql);
    return std::make_shared<DaoQueryDef>(core_, info, false);
  }
  StoreQuery(core_, info);
  return std::make_shared<DaoQueryDef>(core_, info, true);
}

RecordsetPtr DaoDatabase::OpenRecordset(std::string_view source) {
  return OpenDaoRecordset(core_, source);
}

void DaoDatabase::Close() { core_->Release(); }

}  // namespace actualiz::engine
