#include "engine/accessfile/jet_catalog.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "base/error.h"
#include "base/names.h"
#include "engine/engine.h"
#include "engine/jet_errors.h"

namespace actualiz::engine::jet {

namespace {

constexpr std::uint32_t kCatalogPage = 2;
constexpr int kObjectTable = 1;
constexpr int kObjectQuery = 5;
constexpr int kObjectOdbcTable = 4;    // linked through ODBC
constexpr int kObjectLinkedTable = 6;  // linked to another Access file

// Values of one row of a system table, looked up by column name.
class SystemRow {
 public:
  SystemRow(const JetTableDef& def, const JetRow& row) : def_(def), row_(row) {}
  const Value* Find(std::string_view column) const {
    for (std::size_t i = 0; i < def_.columns.size(); ++i) {
      if (SameNameIgnoringCase(def_.columns[i].name, column)) return &row_[i];
    }
    return nullptr;
  }
  std::string Text(std::string_view column) const {
    const Value* v = Find(column);
    if (!v) return {};
    if (const auto* s = std::get_if<std::string>(&v->variant())) return *s;
    return {};
  }
  std::int64_t Number(std::string_view column) const {
    const Value* v = Find(column);
    if (!v) return 0;
    if (const auto* n = std::get_if<std::int64_t>(&v->variant())) return *n;
    if (const auto* b = std::get_if<bool>(&v->variant())) return *b ? 1 : 0;
    return 0;
  }
  Bytes Binary(std::string_view column) const {
    const Value* v = Find(column);
    if (!v) return {};
    if (const auto* b = std::get_if<Bytes>(&v->variant())) return *b;
    return {};
  }

 private:
  const JetTableDef& def_;
  const JetRow& row_;
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::uint16_t U16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t U32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// Column properties kept in a table's LvProp: for each column name, the
// properties set on it (name -> raw value). Only what the engine reports
// (Required, AllowZeroLength) is looked at. Unreadable blocks are skipped:
// properties are extra detail, never a reason to refuse the file.
using ColumnProperties = std::map<std::string, std::map<std::string, Bytes>>;

ColumnProperties ReadProperties(const JetFile& file, const Bytes& blob) {
  ColumnProperties out;
  if (blob.size() < 4) return out;
  std::vector<std::string> names;
  const bool wide = !file.Jet3();
  std::size_t at = 4;  // past the "MR2"/"KKD" signature
  while (at + 6 <= blob.size()) {
    const std::uint32_t length = U32(blob, at);
    const std::uint16_t kind = U16(blob, at + 4);
    if (length < 6 || at + length > blob.size()) break;
    const std::size_t end = at + length;
    std::size_t p = at + 6;
    if (kind == 0x80) {  // the pool of property names
      while (p + 2 <= end) {
        const std::uint16_t n = U16(blob, p);
        if (p + 2 + n > end) break;
        names.push_back(file.DecodeText({blob.data() + p + 2, n}));
        p += 2 + n;
      }
    } else if ((kind == 0x00 || kind == 0x01 || kind == 0x02) && p + 6 <= end) {
      // A block of properties of one object: its name, then the properties.
      const std::uint32_t head = U32(blob, p);
      const std::uint16_t n = U16(blob, p + 4);
      std::string object;
      if (p + 6 + n <= end) object = file.DecodeText({blob.data() + p + 6, n});
      p += std::max<std::uint32_t>(head, 6);
      while (p + 8 <= end) {
        const std::uint16_t size = U16(blob, p);
        const std::uint16_t name_index = U16(blob, p + 4);
        const std::uint16_t value_size = U16(blob, p + 6);
        if (size < 8 || p + size > end || 8u + value_size > size) break;
        if (name_index < names.size()) {
          out[Lower(object)][names[name_index]] =
              Bytes(blob.begin() + static_cast<std::ptrdiff_t>(p + 8),
                    blob.begin() + static_cast<std::ptrdiff_t>(p + 8 + value_size));
        }
        p += size;
      }
    }
    at = end;
    (void)wide;
  }
  return out;
}

bool Flag(const ColumnProperties& properties, const std::string& column, const char* property) {
  auto c = properties.find(Lower(column));
  if (c == properties.end()) return false;
  auto p = c->second.find(property);
  return p != c->second.end() && !p->second.empty() && p->second[0] != 0;
}

TableInfo DescribeTable(const JetFile& file, const std::string& name, const JetTableDef& def,
                        const ColumnProperties& properties) {
  TableInfo info;
  info.name = name;
  for (const JetColumn& column : def.columns) {
    ColumnInfo c;
    c.name = column.name;
    c.type = EngineType(column);
    c.size = EngineSize(column, file.Jet3());
    c.required = Flag(properties, column.name, "Required");
    c.allow_zero_length = Flag(properties, column.name, "AllowZeroLength");
    info.columns.push_back(std::move(c));
  }
  auto column_name = [&](std::uint16_t number) -> std::string {
    for (const JetColumn& column : def.columns) {
      if (column.number == number) return column.name;
    }
    file.Damaged("an index of table '" + name + "' names a column that does not exist");
  };
  for (const JetLogicalIndex& logical : def.indexes) {
    const JetRealIndex& real = def.real_indexes[logical.real];
    IndexInfo index;
    index.name = logical.name;
    index.primary = logical.kind == 1;
    index.unique = index.primary || (real.flags & 0x01) != 0;
    for (std::uint16_t number : real.columns) index.fields.push_back(column_name(number));
    info.indexes.push_back(std::move(index));
  }
  return info;
}

const JetTable* FindTable(const std::vector<JetTable>& tables, std::string_view name) {
  for (const JetTable& t : tables) {
    if (SameNameIgnoringCase(t.info.name, name)) return &t;
  }
  return nullptr;
}

std::vector<RelationInfo> ReadRelations(const JetFile& file, const JetTable& table) {
  std::map<std::string, std::vector<std::pair<std::int64_t, std::pair<std::string, std::string>>>>
      pairs;
  std::vector<RelationInfo> relations;
  for (const JetRow& values : file.ReadRows(table.def)) {
    SystemRow row(table.def, values);
    const std::string name = row.Text("szRelationship");
    RelationInfo* relation = nullptr;
    for (RelationInfo& r : relations) {
      if (r.name == name) relation = &r;
    }
    if (!relation) {
      relations.push_back({.name = name,
                           .table = row.Text("szReferencedObject"),
                           .foreign_table = row.Text("szObject"),
                           .attributes = static_cast<std::int32_t>(row.Number("grbit")),
                           .fields = {}});
      relation = &relations.back();
    }
    pairs[name].push_back(
        {row.Number("icolumn"), {row.Text("szReferencedColumn"), row.Text("szColumn")}});
  }
  for (RelationInfo& r : relations) {
    auto& list = pairs[r.name];
    std::stable_sort(list.begin(), list.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [position, pair] : list) r.fields.push_back(pair);
  }
  std::sort(relations.begin(), relations.end(), [](const RelationInfo& a, const RelationInfo& b) {
    return Lower(a.name) < Lower(b.name);
  });
  return relations;
}

std::vector<QueryInfo> ReadQueries(const JetFile& file, const JetTable& table,
                                   const std::map<std::int64_t, std::string>& query_names) {
  std::map<std::int64_t, std::vector<QueryPiece>> pieces;
  for (const JetRow& values : file.ReadRows(table.def)) {
    SystemRow row(table.def, values);
    pieces[row.Number("ObjectId")].push_back(
        {.attribute = static_cast<int>(row.Number("Attribute")),
         .expression = row.Text("Expression"),
         .flag = static_cast<int>(row.Number("Flag")),
         .name1 = row.Text("Name1"),
         .name2 = row.Text("Name2"),
         .order = row.Binary("Order")});
  }
  std::vector<QueryInfo> queries;
  for (const auto& [id, name] : query_names) {
    auto found = pieces.find(id);
    std::string sql = found == pieces.end() ? std::string() : QuerySql(found->second);
    if (sql.empty())
      file.Damaged("the stored query '" + name + "' has no definition in MSysQueries");
    queries.push_back({name, std::move(sql)});
  }
  std::sort(queries.begin(), queries.end(),
            [](const QueryInfo& a, const QueryInfo& b) { return Lower(a.name) < Lower(b.name); });
  return queries;
}

// Access keeps the files of attachment fields in hidden tables of its own
// ("f_<id>_Data"); they are not tables of the database.
bool HiddenStore(const std::string& name, std::int64_t flags) {
  constexpr std::int64_t kHiddenSystem = 0x80000000;
  return (flags & kHiddenSystem) != 0 && !IsSystemName(name);
}

}  // namespace

std::int16_t EngineType(const JetColumn& column) {
  switch (column.type) {
    case kBool:
      return dbBoolean;
    case kByte:
      return dbByte;
    case kInt:
      return dbInteger;
    case kLong:
      return dbLong;
    case kMoney:
      return dbCurrency;
    case kFloat:
      return dbSingle;
    case kDouble:
      return dbDouble;
    case kDateTime:
      return dbDate;
    case kBinary:
      return 9;  // Binary
    case kText:
      return dbText;
    case kOle:
      return dbLongBinary;
    case kMemo:
      return dbMemo;
    case kGuid:
      return dbGUID;
    case kNumeric:
      return 20;  // Decimal
    case kBigInt:
      return dbBigInt;
    default:
      return dbLongBinary;  // attachments and multi-valued fields, read as bytes
  }
}

std::int32_t EngineSize(const JetColumn& column, bool jet3) {
  switch (column.type) {
    case kText:
      return jet3 ? column.length : column.length / 2;
    case kMemo:
    case kOle:
      return 0;
    case kNumeric:
      return 16;
    default:
      return column.length;
  }
}

std::vector<std::pair<std::string, std::uint32_t>> ListTablePages(const JetFile& file) {
  JetTableDef objects = file.ReadTableDef(kCatalogPage);
  objects.name = "MSysObjects";
  std::vector<std::pair<std::string, std::uint32_t>> tables;
  for (const JetRow& values : file.ReadRows(objects)) {
    SystemRow row(objects, values);
    if ((row.Number("Type") & 0x7FFF) != kObjectTable) continue;
    tables.emplace_back(row.Text("Name"),
                        static_cast<std::uint32_t>(row.Number("Id") & 0x00FFFFFF));
  }
  return tables;
}

JetCatalog ReadCatalog(const JetFile& file) {
  JetTableDef objects = file.ReadTableDef(kCatalogPage);
  objects.name = "MSysObjects";
  JetCatalog catalog;
  std::map<std::int64_t, std::string> query_names;
  for (const JetRow& values : file.ReadRows(objects)) {
    SystemRow row(objects, values);
    const int type = static_cast<int>(row.Number("Type") & 0x7FFF);
    const std::string name = row.Text("Name");
    const std::int64_t id = row.Number("Id");
    if (type != kObjectTable && type != kObjectQuery && type != kObjectLinkedTable &&
        type != kObjectOdbcTable) {
      continue;
    }
    if (name.empty()) file.Damaged("a table or query in MSysObjects has no name");
    if (type == kObjectQuery) {
      query_names[id] = name;
    } else if (type != kObjectTable) {
      // A linked table's rows live in another database; leaving it out
      // would drop it from every database made from this one.
      throw Error(err::kUnrecognizedFormat,
                  ErrorText(err::kUnrecognizedFormat, {file.Name()}) +
                      " The Access file links the table '" + name +
                      "' to another database; linked tables are not read.",
                  "'" + file.Name() + "'");
    } else if (!HiddenStore(name, row.Number("Flags"))) {
      JetTable table;
      table.def = file.ReadTableDef(static_cast<std::uint32_t>(id & 0x00FFFFFF));
      table.def.name = name;
      table.info = DescribeTable(file, name, table.def, ReadProperties(file, row.Binary("LvProp")));
      catalog.tables.push_back(std::move(table));
    }
  }
  std::sort(catalog.tables.begin(), catalog.tables.end(), [](const JetTable& a, const JetTable& b) {
    return Lower(a.info.name) < Lower(b.info.name);
  });
  if (const JetTable* t = FindTable(catalog.tables, "MSysRelationships")) {
    catalog.relations = ReadRelations(file, *t);
  }
  if (!query_names.empty()) {
    const JetTable* t = FindTable(catalog.tables, "MSysQueries");
    if (!t) file.Damaged("the file has stored queries but no MSysQueries");
    catalog.queries = ReadQueries(file, *t, query_names);
  }
  return catalog;
}

}  // namespace actualiz::engine::jet
