// Jet field types as server column types, and values across the wire.
//
// Values travel as text in both directions (bytes as binary parameters and
// hex text back), each written and read through an expression that keeps
// the engine's form of the value: a Date/Time is Jet's day number on the
// engine's side and a timestamp on the server's; a Single is read back in
// the shortest text that gives the same real, so 0.1 stays 0.1. docs/server.md lists each type's
// round trip.
#pragma once

#include <string>

#include "engine/postgres/pg_storage.h"
#include "engine/storage.h"

namespace actualiz::engine {

// The column type for `column` ("varchar(50)", "boolean", ...). Fails with
// 3259 naming the field and `table` when the type has no counterpart.
std::string ServerColumnType(const std::string& table, const ColumnInfo& column);
// The Jet type and size of a column the engine's tables say nothing of,
// from the server's type as format_type() writes it; type 0 when none fits.
std::pair<int, int> JetTypeOf(const std::string& server_type);
// The select expression giving the column `quoted` of Jet type `type` as text.
std::string ReadExpression(const std::string& quoted, int type);
// The column `quoted` of Jet type `type` as a condition compares it: a
// Date/Time as its day number, as the engine's files keep it.
std::string ConditionExpression(const std::string& quoted, int type);
// The expression taking parameter `n` into a column of Jet type `type`.
std::string WriteExpression(int n, int type);
// `value` (already converted to `type`) as a parameter.
PgParam ParamOf(const Value& value, int type);
// The text the server gave for a column of `type` as the engine's value.
Value ValueOf(const std::string& text, int type);

}  // namespace actualiz::engine
