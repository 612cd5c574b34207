#include "engine/postgres/pg_types.h"

#include <cstdio>
#include <cstdlib>

#include "base/error.h"
#include "engine/engine.h"
#include "engine/field_types.h"

namespace actualiz::engine {

namespace {

// Jet's day 0 as a timestamp; a day number is days since then.
constexpr const char* kDayZero = "TIMESTAMP '1899-12-30 00:00:00'";

std::string NumberText(double d) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", d);
  return buf;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

}  // namespace

std::string ServerColumnType(const std::string& table, const ColumnInfo& column) {
  switch (column.type) {
    case dbBoolean:
      return "boolean";
    case dbByte:
      return "smallint CHECK (" + PgIdentifier(column.name) + " BETWEEN 0 AND 255)";
    case dbInteger:
      return "smallint";
    case dbLong:
      return "integer";
    case dbCurrency:
      return "numeric(19,4)";
    case dbSingle:
      return "real";
    case dbDouble:
      return "double precision";
    case dbDate:
      return "timestamp";
    case dbText:
      return "varchar(" + std::to_string(ReportedSize(dbText, column.size)) + ")";
    case dbLongBinary:
      return "bytea";
    case dbMemo:
      return "text";
    case dbGUID:
      return "varchar(38)";
    case dbBigInt:
      return "bigint";
    default:
      throw Error(err::kInvalidFieldType,
                  ErrorText(err::kInvalidFieldType) + " Type " + std::to_string(column.type) +
                      " has no counterpart on the server.",
                  "field '" + column.name + "' of table '" + table + "'");
  }
}

std::pair<int, int> JetTypeOf(const std::string& t) {
  if (t == "boolean") return {dbBoolean, 1};
  if (t == "smallint") return {dbInteger, 2};
  if (t == "integer") return {dbLong, 4};
  if (t == "bigint") return {dbBigInt, 8};
  if (t == "real") return {dbSingle, 4};
  if (t == "double precision") return {dbDouble, 8};
  if (t.rfind("numeric", 0) == 0) return {dbCurrency, 8};
  if (t.rfind("timestamp", 0) == 0 || t == "date") return {dbDate, 8};
  if (t == "text") return {dbMemo, 0};
  if (t == "bytea") return {dbLongBinary, 0};
  if (t.rfind("character varying(", 0) == 0) {
    const int n = std::atoi(t.c_str() + 18);
    if (n >= 1 && n <= 255) return {dbText, n};
    return {dbMemo, 0};
  }
  return {0, 0};
}

std::string ReadExpression(const std::string& quoted, int type) {
  switch (type) {
    case dbDate:
      return "(EXTRACT(EPOCH FROM (" + quoted + " - " + kDayZero + ")) / 86400)::float8::text";
    case dbCurrency:
      return quoted + "::float8::text";
    default:
      return quoted + "::text";
  }
}

std::string ConditionExpression(const std::string& quoted, int type) {
  if (type != dbDate) return quoted;
  return "(EXTRACT(EPOCH FROM (" + quoted + " - " + kDayZero + ")) / 86400)";
}

std::string WriteExpression(int n, int type) {
  const std::string p = "$" + std::to_string(n);
  switch (type) {
    case dbBoolean:
      return p + "::boolean";
    case dbByte:
    case dbInteger:
      return p + "::smallint";
    case dbLong:
      return p + "::integer";
    case dbBigInt:
      return p + "::bigint";
    case dbCurrency:
      return p + "::numeric(19,4)";
    case dbSingle:
      return p + "::float8::real";
    case dbDouble:
      return p + "::float8";
    case dbDate:
      // Rounded to the microsecond the server keeps.
      return "(" + std::string(kDayZero) + " + " + p + "::float8 * INTERVAL '1 day')";
    case dbLongBinary:
      return p + "::bytea";
    default:
      return p + "::text";
  }
}

PgParam ParamOf(const Value& value, int type) {
  const auto& v = value.variant();
  if (std::holds_alternative<Null>(v)) return {};
  if (auto* b = std::get_if<bool>(&v)) return {*b ? "true" : "false", false};
  if (auto* i = std::get_if<std::int64_t>(&v)) {
    if (type == dbBoolean) return {*i != 0 ? "true" : "false", false};
    return {std::to_string(*i), false};
  }
  if (auto* d = std::get_if<double>(&v)) {
    if (type == dbBoolean) return {*d != 0.0 ? "true" : "false", false};
    return {NumberText(*d), false};
  }
  if (auto* s = std::get_if<std::string>(&v)) return {*s, false};
  const auto& bytes = std::get<Bytes>(v);
  return {std::string(bytes.begin(), bytes.end()), true};
}

Value ValueOf(const std::string& text, int type) {
  switch (type) {
    case dbBoolean:
      return text == "true" || text == "t";
    case dbByte:
    case dbInteger:
    case dbLong:
    case dbBigInt:
      return static_cast<std::int64_t>(std::strtoll(text.c_str(), nullptr, 10));
    case dbCurrency:
    case dbSingle:
    case dbDouble:
    case dbDate:
      return std::strtod(text.c_str(), nullptr);
    case dbLongBinary: {
      // bytea's hex output: "\x0a1b..."
      Bytes bytes;
      for (size_t i = 2; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(HexValue(text[i]) * 16 + HexValue(text[i + 1])));
      }
      return bytes;
    }
    default:
      return text;
  }
}

}  // namespace actualiz::engine
