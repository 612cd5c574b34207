// Field types and the values each one stores.
//
// Values are kept in the form the storages keep best: truth values as 1 and
// 0 (reported as true and false), whole numbers as integers, Currency,
// Single, Double and Date/Time as floating numbers (a Date/Time is Jet's day
// number: days since 30 December 1899, the time as the fraction), Text, Memo
// and GUID as text, Long binary as bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/value.h"

namespace actualiz::engine {

// True for the type codes the engine knows (1-8, 10-12, 15, 16).
bool IsKnownType(int type);

// The size Jet reports for a type: the declared length for Text (given as
// `size`; 50 when 0), the fixed size of every other type.
std::int32_t ReportedSize(int type, int size);

// True for Text and Memo: the types whose text values the engine compares
// without regard to case and checks for zero length.
bool IsTextual(int type);

// Converts `value` to what a column of `type` stores (see above). Null stays
// Null; "" becomes Null for every type but Text, Memo and Long binary, as a
// bound box left empty means no value. Fails with 3421 when the value cannot
// be converted or does not fit.
Value ToColumnValue(const Value& value, int type);

// Parses a decimal number as Jet reads it from text; false when `text` is not one.
bool ParseNumber(std::string_view text, double& out);

// `text` in capitals (ASCII letters only), and without surrounding spaces:
// how type names and numbers written as text are read.
std::string Upper(std::string_view text);
std::string Trim(std::string_view text);

// Number of characters (UTF-8 code points) in `text`.
std::size_t CharacterCount(std::string_view text);

}  // namespace actualiz::engine
