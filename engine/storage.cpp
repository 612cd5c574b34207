#include "engine/storage.h"

#include "base/names.h"

namespace actualiz::engine {

namespace {
template <class T>
const T* FindByName(const std::vector<T>& items, std::string_view name) {
  for (const T& item : items) {
    if (SameNameIgnoringCase(item.name, name)) return &item;
  }
  return nullptr;
}
}  // namespace

const ColumnInfo* TableInfo::FindColumn(std::string_view column) const {
  return FindByName(columns, column);
}
const IndexInfo* TableInfo::FindIndex(std::string_view index) const {
  return FindByName(indexes, index);
}
const TableInfo* Schema::FindTable(std::string_view table) const {
  return FindByName(tables, table);
}
const RelationInfo* Schema::FindRelation(std::string_view relation) const {
  return FindByName(relations, relation);
}
const QueryInfo* Schema::FindQuery(std::string_view query) const {
  return FindByName(queries, query);
}

}  // namespace actualiz::engine
