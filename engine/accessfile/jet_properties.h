// The properties Access keeps for each field of a table in the table's
// catalogue row (MSysObjects, column LvProp): writing Required and
// AllowZeroLength of a field just added, on the file's bytes in memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/storage.h"

namespace actualiz::engine::jet {

// Sets Required and AllowZeroLength, those of `column` that are true, on
// field `column.name` of table `table` in the Jet 4 / ACE file whose bytes
// are `bytes` (the field is already in the table's definition); `name`
// names the file in errors. Nothing is written when neither is set.
//
// The table's property value gets a block for the field (a property name
// the value does not list yet is added to its list) and is stored anew as a
// long value in one row of a page of the catalogue's LvProp long values;
// the catalogue row's 12-byte reference to it is changed in place, so the
// row keeps its size, and the rows of the old value are marked deleted.
//
// Fails with 3027, leaving `bytes` as they were, when the table's row keeps
// its properties in the row itself or has none (the row would change size),
// when the new value would not fit one page, or when no page has room for
// it; with 3343 when the catalogue is damaged.
void WriteFieldFlags(std::vector<std::uint8_t>& bytes, const std::string& name,
                     const std::string& table, const ColumnInfo& column);

// For table `table` about to be created in the file whose bytes are
// `bytes`: stores a property value with no properties yet (the list of
// names and the table's own block, both empty) as a long value of the
// catalogue, as WriteFieldFlags stores one, and returns the 12-byte
// reference to it that the table's catalogue row keeps, so that its fields'
// flags can then be written. Fails as WriteFieldFlags does.
std::vector<std::uint8_t> StoreEmptyProperties(std::vector<std::uint8_t>& bytes,
                                               const std::string& name, const std::string& table);

}  // namespace actualiz::engine::jet
