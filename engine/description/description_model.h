// A JSON description read into plain structures, with every default filled
// in and every object carrying its JSON place ("tables[2].fields[0]") so that
// a failure while creating it can say where it came from. Used by the
// description's reader (validation) and writer (creation) only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/value.h"

namespace actualiz::engine::description {

struct FieldSpec {
  std::string place;
  std::string name;
  int type = 0;
  int size = 0;
  bool allow_zero_length = false;
  bool required = false;
};

struct IndexSpec {
  std::string place;
  std::string name;
  std::vector<std::string> fields;
  bool unique = false;
  bool primary = false;
};

struct CellSpec {
  std::string place;  // "tables[0].rows[3].Name", the key as the description wrote it
  std::string field;  // the field's own name
  Value value;
};

struct RowSpec {
  std::string place;
  std::vector<CellSpec> cells;  // only the fields the row names, in the table's field order
};

struct TableSpec {
  std::string place;
  std::string name;
  std::vector<FieldSpec> fields;
  std::vector<IndexSpec> indexes;
  std::vector<RowSpec> rows;
};

struct RelationFieldSpec {
  std::string name;          // on the relation's table
  std::string foreign_name;  // on its foreign table
};

struct RelationSpec {
  std::string place;
  std::string name;
  std::string table;
  std::string foreign_table;
  std::int32_t attributes = 0;
  std::vector<RelationFieldSpec> fields;
};

struct QuerySpec {
  std::string place;
  std::string name;
  std::string sql;
};

struct DatabaseSpec {
  std::vector<TableSpec> tables;
  std::vector<RelationSpec> relations;
  std::vector<QuerySpec> queries;
};

// Reads and checks a whole description. Throws actualiz::Error whose text
// begins with the place of the first problem ("tables[0].name: ...").
DatabaseSpec ReadDescription(const nlohmann::json& description);

// Row values as descriptions write them.
//
// A Date/Time value is ISO-8601 text, "2024-05-01" or "2024-05-01T10:30:00";
// the engine keeps it as a day number (days since 1899-12-30, the time of day
// as the fraction). A day number outside 0100-01-01 to 9999-12-31 has no ISO
// form and is written as the number itself. Long binary data is base64 text.
std::optional<std::string> DayNumberToIso(double day_number);
// False when `text` is not one of the two ISO forms or not a real date.
bool IsoToDayNumber(std::string_view text, double& day_number);
std::string ToBase64(const Bytes& bytes);
// False when `text` is not padded standard base64.
bool FromBase64(std::string_view text, Bytes& bytes);

// True when `text` is well-formed UTF-8 (JSON text can carry nothing else).
bool IsValidUtf8(std::string_view text);

}  // namespace actualiz::engine::description
