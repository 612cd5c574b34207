// Describing an open database as JSON: what the engine's collections hold,
// in the engine's order, with every key written so that the description can
// create the same database again.
#include "engine/description/description.h"

#include <cmath>

#include "base/error.h"
#include "base/names.h"
#include "engine/description/description_model.h"

namespace actualiz::engine {

using nlohmann::json;

namespace {

bool Shown(std::string_view name, const DescribeOptions& options) {
  return options.system || !IsSystemName(name);
}

// JSON text must be UTF-8; a stored name or value that is not cannot be
// described faithfully, so it is refused with its place rather than mangled.
const std::string& CheckedText(const std::string& text, const std::string& place) {
  if (!description::IsValidUtf8(text)) {
    throw Error(err::kInvalidArgument, place + ": the stored text is not valid UTF-8");
  }
  return text;
}

json CellJson(const Value& value, int type, const std::string& place) {
  return std::visit(
      [&](const auto& v) -> json {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, Null>) {
          return nullptr;
        } else if constexpr (std::is_same_v<T, Bytes>) {
          return description::ToBase64(v);
        } else if constexpr (std::is_same_v<T, std::string>) {
          return CheckedText(v, place);
        } else if constexpr (std::is_same_v<T, double>) {
          if (type == dbDate) {
            if (auto iso = description::DayNumberToIso(v)) return *iso;
          }
          // JSON has no infinity or NaN; such a value would be lost silently.
          if (!std::isfinite(v)) {
            throw Error(err::kInvalidArgument, place + ": the stored number has no JSON form");
          }
          return v;
        } else {
          return v;  // bool, std::int64_t
        }
      },
      value.variant());
}

json RowsJson(Database& database, const std::string& table, const std::string& place) {
  json rows = json::array();
  RecordsetPtr records = database.OpenRecordset(table);
  std::vector<FieldPtr> fields = records->Fields().Items();
  for (bool more = !records->Eof(); more; more = (records->MoveNext(), !records->Eof())) {
    const std::string row_place = place + ".rows[" + std::to_string(rows.size()) + "]";
    json row = json::object();
    for (const FieldPtr& field : fields) {
      const std::string name = field->Name();
      row[name] = CellJson(field->GetValue(), field->Type(), row_place + "." + name);
    }
    rows.push_back(std::move(row));
  }
  records->Close();
  return rows;
}

json IndexJson(Index& index, const std::string& place) {
  json names = json::array();
  for (const FieldPtr& field : index.Fields().Items()) names.push_back(field->Name());
  return {{"name", CheckedText(index.Name(), place)},
          {"fields", std::move(names)},
          {"unique", index.Unique()},
          {"primary", index.Primary()}};
}

json QueryJson(QueryDef& query, const std::string& place) {
  return {{"name", CheckedText(query.Name(), place + ".name")},
          {"sql", CheckedText(query.SQL(), place + ".sql")}};
}

json TableJson(Database& database, TableDef& table, const std::string& place,
               const DescribeOptions& options) {
  json fields = json::array();
  for (const FieldPtr& field : table.Fields().Items()) {
    fields.push_back({{"name", CheckedText(field->Name(), place + ".fields")},
                      {"type", field->Type()},
                      {"size", field->Size()},
                      {"allowZeroLength", field->AllowZeroLength()},
                      {"required", field->Required()}});
  }
  json indexes = json::array();
  for (const IndexPtr& index : table.Indexes().Items()) {
    indexes.push_back(IndexJson(*index, place + ".indexes"));
  }
  json out = {{"name", CheckedText(table.Name(), place + ".name")},
              {"fields", std::move(fields)},
              {"indexes", std::move(indexes)}};
  if (options.rows) out["rows"] = RowsJson(database, table.Name(), place);
  return out;
}

json RelationJson(Relation& relation, const std::string& place) {
  json fields = json::array();
  for (const FieldPtr& field : relation.Fields().Items()) {
    fields.push_back({{"name", field->Name()}, {"foreignName", field->ForeignName()}});
  }
  return {{"name", CheckedText(relation.Name(), place + ".name")},
          {"table", relation.Table()},
          {"foreignTable", relation.ForeignTable()},
          {"attributes", relation.Attributes()},
          {"fields", std::move(fields)}};
}

json DescribeObjects(Database& database, const DescribeOptions& options) {
  json tables = json::array();
  for (const TableDefPtr& table : database.TableDefs().Items()) {
    if (!Shown(table->Name(), options)) continue;
    tables.push_back(
        TableJson(database, *table, "tables[" + std::to_string(tables.size()) + "]", options));
  }
  json relations = json::array();
  for (const RelationPtr& relation : database.Relations().Items()) {
    if (!Shown(relation->Name(), options)) continue;
    relations.push_back(
        RelationJson(*relation, "relations[" + std::to_string(relations.size()) + "]"));
  }
  json queries = json::array();
  for (const QueryDefPtr& query : database.QueryDefs().Items()) {
    if (!Shown(query->Name(), options)) continue;
    const std::string place = "queries[" + std::to_string(queries.size()) + "]";
    queries.push_back(QueryJson(*query, place));
  }
  return {{"tables", std::move(tables)},
          {"relations", std::move(relations)},
          {"queries", std::move(queries)}};
}

}  // namespace

json DescribeIndex(Index& index) { return IndexJson(index, "index"); }

json DescribeRelation(Relation& relation) { return RelationJson(relation, "relation"); }

json DescribeQuery(QueryDef& query) { return QueryJson(query, "query"); }

json Describe(Database& database, const DescribeOptions& options) {
  try {
    return DescribeObjects(database, options);
  } catch (const Error& e) {
    if (!e.Context().empty()) throw;
    throw Error(e.Number(), e.Text(), database.Name());
  }
}

}  // namespace actualiz::engine
