// The declared column types through which SQLite files carry the engine's
// field types (see sqlite_types.h).
#include "engine/sqlite/sqlite_types.h"

#include <cctype>
#include <charconv>
#include <string>

#include "engine/engine.h"
#include "engine/field_types.h"

namespace actualiz::engine {

namespace {

// The length in "VARCHAR(50)"; 0 when the declared type carries none.
int DeclaredLength(std::string_view declared) {
  const size_t open = declared.find('(');
  if (open == std::string_view::npos) return 0;
  int n = 0;
  const char* first = declared.data() + open + 1;
  const char* last = declared.data() + declared.size();
  while (first < last && *first == ' ') ++first;
  std::from_chars(first, last, n);
  return n;
}

}  // namespace

std::string DeclaredType(int type, int size) {
  switch (type) {
    case dbBoolean:
      return "BOOLEAN";
    case dbByte:
      return "TINYINT";
    case dbInteger:
      return "SMALLINT";
    case dbLong:
      return "INTEGER";
    case dbCurrency:
      return "CURRENCY";
    case dbSingle:
      return "FLOAT";
    case dbDouble:
      return "DOUBLE";
    case dbDate:
      return "DATETIME";
    case dbText:
      return "VARCHAR(" + std::to_string(ReportedSize(type, size)) + ")";
    case dbLongBinary:
      return "BLOB";
    case dbMemo:
      return "LONGTEXT";
    case dbGUID:
      return "GUID";
    case dbBigInt:
      return "BIGINT";
    default:
      return "";
  }
}

DeclaredField TypeFromDeclared(std::string_view declared) {
  const std::string d = Upper(Trim(declared));
  const std::string base = Trim(d.substr(0, d.find('(')));
  if (base == "BOOLEAN" || base == "BIT" || base == "YESNO") return {dbBoolean, 1};
  if (base == "TINYINT" || base == "BYTE") return {dbByte, 1};
  if (base == "SMALLINT" || base == "SHORT") return {dbInteger, 2};
  if (base == "INTEGER" || base == "INT" || base == "LONG") return {dbLong, 4};
  if (base == "CURRENCY" || base == "MONEY") return {dbCurrency, 8};
  if (base == "FLOAT" || base == "SINGLE") return {dbSingle, 4};
  if (base == "DOUBLE" || base == "DOUBLE PRECISION") return {dbDouble, 8};
  if (base == "DATETIME" || base == "DATE") return {dbDate, 8};
  if (base == "VARCHAR" || base == "CHAR" || base == "TEXT" || base == "NVARCHAR" ||
      base == "CHARACTER VARYING") {
    const int n = DeclaredLength(d);
    if (n >= 1 && n <= 255) return {dbText, n};
    return {dbMemo, 0};
  }
  if (base == "BLOB" || base == "LONGBINARY" || base == "BINARY") return {dbLongBinary, 0};
  if (base == "LONGTEXT" || base == "MEMO") return {dbMemo, 0};
  if (base == "GUID" || base == "UNIQUEIDENTIFIER") return {dbGUID, 16};
  if (base == "BIGINT") return {dbBigInt, 8};
  // SQLite's affinity rules, in its order.
  if (d.find("INT") != std::string::npos) return {dbLong, 4};
  if (d.find("CHAR") != std::string::npos || d.find("CLOB") != std::string::npos ||
      d.find("TEXT") != std::string::npos)
    return {dbMemo, 0};
  if (d.empty() || d.find("BLOB") != std::string::npos) return {dbLongBinary, 0};
  return {dbDouble, 8};
}

}  // namespace actualiz::engine
