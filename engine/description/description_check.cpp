// Reading a JSON description into a DatabaseSpec, checking it whole before
// any file is touched.
//
// The checks run in the order a reader of the description would: the shape
// of each object (known keys, the kind of each value), then names (present,
// not empty, not the engine's "MSys...", not repeated without regard to
// case), then what refers to something else (an index's fields, a
// relation's tables and fields, a row's field names), then each row value
// against its field's type. The first problem ends the check; its place
// leads the error's text so that a user can find it in the file.
#include <algorithm>
#include <initializer_list>
#include <limits>
#include <optional>

#include "base/error.h"
#include "base/names.h"
#include "engine/description/description.h"
#include "engine/description/description_model.h"
#include "engine/engine.h"

namespace actualiz::engine {

using nlohmann::json;

namespace description {

namespace {

[[noreturn]] void Fail(int number, const std::string& place, const std::string& problem) {
  throw Error(number, place + ": " + problem);
}

// A JSON value as a short quotation for an error message.
std::string Quote(const json& value) {
  std::string text = value.dump(-1, ' ', false, json::error_handler_t::replace);
  if (text.size() > 40) text = text.substr(0, 37) + "...";
  return text;
}

std::string Kind(const json& value) {
  if (value.is_number_integer()) return "a whole number";
  if (value.is_number()) return "a number";
  if (value.is_string()) return "text";
  if (value.is_boolean()) return "true or false";
  if (value.is_null()) return "null";
  if (value.is_array()) return "an array";
  return "an object";
}

void ExpectObject(const json& value, const std::string& place,
                  std::initializer_list<const char*> keys, const char* what) {
  if (!value.is_object())
    Fail(err::kInvalidArgument, place, "expected an object, found " + Kind(value));
  for (const auto& [key, ignored] : value.items()) {
    if (std::find_if(keys.begin(), keys.end(),
                     [&name = key](const char* k) { return name == k; }) != keys.end()) {
      continue;
    }
    std::string known;
    for (const char* k : keys) known += std::string(known.empty() ? "" : ", ") + k;
    Fail(err::kInvalidArgument, place + "." + key,
         std::string("unknown key; ") + what + " has " + known);
  }
}

// The array under `key`, or nullptr when the key is absent.
const json* OptionalArray(const json& object, const char* key, const std::string& place) {
  const auto it = object.find(key);
  if (it == object.end()) return nullptr;
  if (!it->is_array())
    Fail(err::kInvalidArgument, place + "." + key, "expected an array, found " + Kind(*it));
  return &*it;
}

std::string RequiredText(const json& object, const char* key, const std::string& place) {
  const auto it = object.find(key);
  if (it == object.end()) Fail(err::kInvalidArgument, place + "." + key, "missing");
  if (!it->is_string())
    Fail(err::kInvalidArgument, place + "." + key, "expected text, found " + Kind(*it));
  std::string text = it->get<std::string>();
  if (text.empty()) Fail(err::kInvalidArgument, place + "." + key, "cannot be empty");
  return text;
}

bool OptionalBool(const json& object, const char* key, const std::string& place) {
  const auto it = object.find(key);
  if (it == object.end()) return false;
  if (!it->is_boolean())
    Fail(err::kInvalidArgument, place + "." + key, "expected true or false, found " + Kind(*it));
  return it->get<bool>();
}

std::int64_t OptionalWhole(const json& object, const char* key, const std::string& place,
                           std::int64_t lowest, std::int64_t highest) {
  const auto it = object.find(key);
  if (it == object.end()) return 0;
  const bool in_range = (it->is_number_unsigned() &&
                         it->get<std::uint64_t>() <= static_cast<std::uint64_t>(highest)) ||
                        (it->is_number_integer() && !it->is_number_unsigned() &&
                         it->get<std::int64_t>() >= lowest && it->get<std::int64_t>() <= highest);
  if (!in_range) {
    Fail(err::kInvalidArgument, place + "." + key,
         "expected a whole number from " + std::to_string(lowest) + " to " +
             std::to_string(highest) + ", found " + Quote(*it));
  }
  return it->get<std::int64_t>();
}

// Names of the engine's own objects cannot be described: the engine makes them.
std::string UserObjectName(const json& object, const std::string& place, const char* what) {
  std::string name = RequiredText(object, "name", place);
  if (IsSystemName(name)) {
    Fail(err::kInvalidArgument, place + ".name",
         "'" + name + "' is the name of one of the engine's own " + what);
  }
  return name;
}

template <class Spec>
const Spec* FindByName(const std::vector<Spec>& specs, std::string_view name) {
  for (const Spec& spec : specs) {
    if (SameNameIgnoringCase(spec.name, name)) return &spec;
  }
  return nullptr;
}

// ---- field types and row values ----

enum class ValueKind { kTruth, kWhole, kNumber, kDate, kText, kBinary, kGuid };

struct TypeInfo {
  int code;
  const char* name;
  ValueKind kind;
  std::int64_t lowest = 0;  // whole numbers only
  std::int64_t highest = 0;
};

constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();

constexpr TypeInfo kTypes[] = {
    {dbBoolean, "Boolean", ValueKind::kTruth},
    {dbByte, "Byte", ValueKind::kWhole, 0, 255},
    {dbInteger, "Integer", ValueKind::kWhole, -32768, 32767},
    {dbLong, "Long", ValueKind::kWhole, -2147483648LL, 2147483647LL},
    {dbCurrency, "Currency", ValueKind::kNumber},
    {dbSingle, "Single", ValueKind::kNumber},
    {dbDouble, "Double", ValueKind::kNumber},
    {dbDate, "Date/Time", ValueKind::kDate},
    {dbText, "Text", ValueKind::kText},
    {dbLongBinary, "Long binary", ValueKind::kBinary},
    {dbMemo, "Memo", ValueKind::kText},
    {dbGUID, "GUID", ValueKind::kGuid},
    {dbBigInt, "BigInt", ValueKind::kWhole, kInt64Min, kInt64Max},
};

const TypeInfo* FindType(std::int64_t code) {
  for (const TypeInfo& type : kTypes) {
    if (type.code == code) return &type;
  }
  return nullptr;
}

// A whole number held by a JSON number (2.0 counts; 2.5 does not).
std::optional<std::int64_t> WholeNumber(const json& value) {
  if (value.is_number_unsigned()) {
    const auto n = value.get<std::uint64_t>();
    if (n > static_cast<std::uint64_t>(kInt64Max)) return std::nullopt;
    return static_cast<std::int64_t>(n);
  }
  if (value.is_number_integer()) return value.get<std::int64_t>();
  if (value.is_number_float()) {
    const double d = value.get<double>();
    // 2^63 is the first double beyond int64; the lowest int64 is exact.
    if (d != std::trunc(d) || d < -9223372036854775808.0 || d >= 9223372036854775808.0) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(d);
  }
  return std::nullopt;
}

Value CellValue(const json& value, const FieldSpec& field, const std::string& place) {
  if (value.is_null()) return Null{};
  const TypeInfo& type = *FindType(field.type);
  const std::string field_kind = std::string("a ") + type.name + " field";
  auto refuse = [&](const std::string& takes) -> Value {
    Fail(err::kTypeConversion, place, field_kind + " takes " + takes + ", not " + Quote(value));
  };
  switch (type.kind) {
    case ValueKind::kTruth:
      if (value.is_boolean()) return value.get<bool>();
      return refuse("true, false or null");
    case ValueKind::kWhole: {
      const auto whole = WholeNumber(value);
      if (!whole || *whole < type.lowest || *whole > type.highest) {
        return refuse("a whole number from " + std::to_string(type.lowest) + " to " +
                      std::to_string(type.highest));
      }
      return *whole;
    }
    case ValueKind::kNumber:
      if (value.is_number()) return value.get<double>();
      return refuse("a number");
    case ValueKind::kDate: {
      double day_number = 0;
      if (value.is_string() && IsoToDayNumber(value.get<std::string>(), day_number))
        return day_number;
      if (value.is_number()) return value.get<double>();
      return refuse("a date as \"2024-05-01\" or \"2024-05-01T10:30:00\" (or a day number)");
    }
    case ValueKind::kText:
    case ValueKind::kGuid:
      if (value.is_string()) return value.get<std::string>();
      return refuse("text");
    case ValueKind::kBinary: {
      Bytes bytes;
      if (value.is_string() && FromBase64(value.get<std::string>(), bytes)) return bytes;
      return refuse("base64 text");
    }
  }
  return refuse("nothing");  // not reached: every kind is handled above
}

// ---- objects ----

FieldSpec ReadField(const json& object, const std::string& place) {
  ExpectObject(object, place, {"name", "type", "size", "allowZeroLength", "required"}, "a field");
  FieldSpec field;
  field.place = place;
  field.name = RequiredText(object, "name", place);
  if (!object.contains("type")) Fail(err::kInvalidArgument, place + ".type", "missing");
  const std::optional<std::int64_t> code = WholeNumber(object.at("type"));
  if (!code || !FindType(*code)) {
    Fail(err::kInvalidFieldType, place + ".type", "unknown field type " + Quote(object.at("type")));
  }
  field.type = static_cast<int>(*code);
  // The size counts for Text only; the engine gives fixed-size types their own.
  field.size = static_cast<int>(
      OptionalWhole(object, "size", place, 0, std::numeric_limits<std::int32_t>::max()));
  // A Text field without a size gets the engine's default length.
  if (field.type == dbText) {
    if (field.size > 255) {
      Fail(err::kInvalidArgument, place + ".size",
           "a Text field holds 1 to 255 characters, not " + std::to_string(field.size));
    }
  }
  field.allow_zero_length = OptionalBool(object, "allowZeroLength", place);
  field.required = OptionalBool(object, "required", place);
  return field;
}

IndexSpec ReadIndex(const json& object, const std::string& place, const TableSpec& table) {
  ExpectObject(object, place, {"name", "fields", "unique", "primary"}, "an index");
  IndexSpec index;
  index.place = place;
  index.name = RequiredText(object, "name", place);
  const json* fields = OptionalArray(object, "fields", place);
  if (!fields || fields->empty())
    Fail(err::kNoFieldDefined, place + ".fields", "an index needs at least one field");
  for (size_t i = 0; i < fields->size(); ++i) {
    const std::string field_place = place + ".fields[" + std::to_string(i) + "]";
    const json& name = (*fields)[i];
    if (!name.is_string())
      Fail(err::kInvalidArgument, field_place, "expected a field name, found " + Kind(name));
    const FieldSpec* field = FindByName(table.fields, name.get<std::string>());
    if (!field)
      Fail(err::kItemNotFound, field_place,
           "no field '" + name.get<std::string>() + "' in table '" + table.name + "'");
    index.fields.push_back(field->name);
  }
  index.unique = OptionalBool(object, "unique", place);
  index.primary = OptionalBool(object, "primary", place);
  return index;
}

RowSpec ReadRow(const json& object, const std::string& place, const TableSpec& table) {
  if (!object.is_object())
    Fail(err::kInvalidArgument, place, "expected an object of field values, found " + Kind(object));
  RowSpec row;
  row.place = place;
  std::vector<std::pair<size_t, CellSpec>> cells;  // by field position
  for (const auto& [key, value] : object.items()) {
    const std::string cell_place = place + "." + key;
    const auto field = std::find_if(
        table.fields.begin(), table.fields.end(),
        [&name = key](const FieldSpec& f) { return SameNameIgnoringCase(f.name, name); });
    if (field == table.fields.end()) {
      Fail(err::kItemNotFound, cell_place, "no field '" + key + "' in table '" + table.name + "'");
    }
    const auto position = static_cast<size_t>(field - table.fields.begin());
    for (const auto& [other_position, other] : cells) {
      if (other_position == position) {
        Fail(err::kFieldDefinedTwice, cell_place,
             "field '" + field->name + "' is given twice in this row");
      }
    }
    cells.emplace_back(position,
                       CellSpec{cell_place, field->name, CellValue(value, *field, cell_place)});
  }
  std::sort(cells.begin(), cells.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [position, cell] : cells) row.cells.push_back(std::move(cell));
  return row;
}

TableSpec ReadTable(const json& object, const std::string& place) {
  ExpectObject(object, place, {"name", "fields", "indexes", "rows"}, "a table");
  TableSpec table;
  table.place = place;
  table.name = UserObjectName(object, place, "tables");
  const json* fields = OptionalArray(object, "fields", place);
  if (!fields || fields->empty())
    Fail(err::kNoFieldDefined, place + ".fields", "a table needs at least one field");
  for (size_t i = 0; i < fields->size(); ++i) {
    FieldSpec field = ReadField((*fields)[i], place + ".fields[" + std::to_string(i) + "]");
    if (FindByName(table.fields, field.name)) {
      Fail(err::kFieldDefinedTwice, field.place + ".name",
           "field '" + field.name + "' is described twice");
    }
    table.fields.push_back(std::move(field));
  }
  if (const json* indexes = OptionalArray(object, "indexes", place)) {
    for (size_t i = 0; i < indexes->size(); ++i) {
      IndexSpec index =
          ReadIndex((*indexes)[i], place + ".indexes[" + std::to_string(i) + "]", table);
      if (FindByName(table.indexes, index.name)) {
        Fail(err::kIndexExists, index.place + ".name",
             "index '" + index.name + "' is described twice");
      }
      table.indexes.push_back(std::move(index));
    }
  }
  if (const json* rows = OptionalArray(object, "rows", place)) {
    for (size_t i = 0; i < rows->size(); ++i) {
      table.rows.push_back(ReadRow((*rows)[i], place + ".rows[" + std::to_string(i) + "]", table));
    }
  }
  return table;
}

RelationSpec ReadRelation(const json& object, const std::string& place,
                          const std::vector<TableSpec>& tables) {
  ExpectObject(object, place, {"name", "table", "foreignTable", "attributes", "fields"},
               "a relation");
  RelationSpec relation;
  relation.place = place;
  relation.name = UserObjectName(object, place, "relations");
  auto table_named = [&](const char* key) -> const TableSpec& {
    const std::string name = RequiredText(object, key, place);
    const TableSpec* table = FindByName(tables, name);
    if (!table)
      Fail(err::kItemNotFound, place + "." + key, "no table '" + name + "' in the description");
    return *table;
  };
  const TableSpec& table = table_named("table");
  const TableSpec& foreign_table = table_named("foreignTable");
  relation.table = table.name;
  relation.foreign_table = foreign_table.name;
  relation.attributes = static_cast<std::int32_t>(
      OptionalWhole(object, "attributes", place, std::numeric_limits<std::int32_t>::min(),
                    std::numeric_limits<std::int32_t>::max()));
  const json* fields = OptionalArray(object, "fields", place);
  if (!fields || fields->empty()) {
    Fail(err::kNoFieldsInRelation, place + ".fields",
         "a relation needs at least one pair of fields");
  }
  for (size_t i = 0; i < fields->size(); ++i) {
    const std::string pair_place = place + ".fields[" + std::to_string(i) + "]";
    const json& pair = (*fields)[i];
    ExpectObject(pair, pair_place, {"name", "foreignName"}, "a relation field");
    auto field_named = [&](const char* key, const TableSpec& owner) {
      const std::string name = RequiredText(pair, key, pair_place);
      const FieldSpec* field = FindByName(owner.fields, name);
      if (!field)
        Fail(err::kItemNotFound, pair_place + "." + key,
             "no field '" + name + "' in table '" + owner.name + "'");
      return field->name;
    };
    RelationFieldSpec field{field_named("name", table), field_named("foreignName", foreign_table)};
    for (const RelationFieldSpec& other : relation.fields) {
      if (SameNameIgnoringCase(other.name, field.name) &&
          SameNameIgnoringCase(other.foreign_name, field.foreign_name)) {
        Fail(err::kRelationFieldMismatch, pair_place,
             "the pair '" + field.name + "' - '" + field.foreign_name + "' is given twice");
      }
    }
    relation.fields.push_back(std::move(field));
  }
  return relation;
}

QuerySpec ReadQuery(const json& object, const std::string& place) {
  ExpectObject(object, place, {"name", "sql"}, "a query");
  return QuerySpec{place, UserObjectName(object, place, "queries"),
                   RequiredText(object, "sql", place)};
}

}  // namespace

DatabaseSpec ReadDescription(const json& description) {
  ExpectObject(description, "description", {"tables", "relations", "queries"}, "a description");
  DatabaseSpec spec;
  if (const json* tables = OptionalArray(description, "tables", "description")) {
    for (size_t i = 0; i < tables->size(); ++i) {
      TableSpec table = ReadTable((*tables)[i], "tables[" + std::to_string(i) + "]");
      if (FindByName(spec.tables, table.name)) {
        Fail(err::kTableExists, table.place + ".name",
             "table '" + table.name + "' is described twice");
      }
      spec.tables.push_back(std::move(table));
    }
  }
  if (const json* relations = OptionalArray(description, "relations", "description")) {
    for (size_t i = 0; i < relations->size(); ++i) {
      RelationSpec relation =
          ReadRelation((*relations)[i], "relations[" + std::to_string(i) + "]", spec.tables);
      if (FindByName(spec.relations, relation.name)) {
        Fail(err::kObjectExists, relation.place + ".name",
             "relation '" + relation.name + "' is described twice");
      }
      spec.relations.push_back(std::move(relation));
    }
  }
  if (const json* queries = OptionalArray(description, "queries", "description")) {
    for (size_t i = 0; i < queries->size(); ++i) {
      QuerySpec query = ReadQuery((*queries)[i], "queries[" + std::to_string(i) + "]");
      if (FindByName(spec.queries, query.name)) {
        Fail(err::kObjectExists, query.place + ".name",
             "query '" + query.name + "' is described twice");
      }
      spec.queries.push_back(std::move(query));
    }
  }
  return spec;
}

}  // namespace description

json ParseDescription(std::string_view text) {
  try {
    return json::parse(text);
  } catch (const json::exception& e) {
    // Not only a syntax error: a number too large for any type (1e999) is
    // refused by the parser as out of range. Drop the library's
    // "[json.exception.parse_error.101] " prefix.
    std::string reason = e.what();
    if (const auto end = reason.find("] ");
        reason.starts_with("[json.exception") && end != std::string::npos) {
      reason = reason.substr(end + 2);
    }
    throw Error(err::kInvalidArgument, "description: not valid JSON: " + reason);
  }
}

void ValidateDescription(const json& description) { description::ReadDescription(description); }

}  // namespace actualiz::engine
