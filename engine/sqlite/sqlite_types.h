// The engine's field types as SQLite files carry them.
//
// Each field type code has a declared column type that keeps the code
// visible to the engine and gives other SQLite tools a sensible affinity:
//   1 BOOLEAN, 2 TINYINT, 3 SMALLINT, 4 INTEGER, 5 CURRENCY, 6 FLOAT,
//   7 DOUBLE, 8 DATETIME, 10 VARCHAR(n), 11 BLOB, 12 LONGTEXT, 15 GUID,
//   16 BIGINT.
// Columns declared otherwise (files made by other tools) map by SQLite's
// affinity rules: integer -> Long, real -> Double, text -> Memo,
// blob or none -> Long binary, numeric -> Double.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace actualiz::engine {

// A field's type code and the size the engine reports for it.
struct DeclaredField {
  std::int16_t type = 0;
  std::int32_t size = 0;
};

// "VARCHAR(50)", "SMALLINT", ... for a known type.
std::string DeclaredType(int type, int size);

// The Jet type of a column from its declared type.
DeclaredField TypeFromDeclared(std::string_view declared);

}  // namespace actualiz::engine
