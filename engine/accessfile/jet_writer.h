// Changes to the structure of a Jet 4 or ACE file, made on its bytes in
// memory. Only the pages of the changed table's definition are written;
// rows stay as they are. Nothing here touches a file on disk: a change is
// kept only after the copy passes the checks of jet_replace.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/storage.h"

namespace actualiz::engine::jet {

// Adds `column` (name, engine type code, Text/Binary size) as the last field
// of table `table` in the file whose bytes are `bytes`; `name` names the
// file in errors. Rows already stored are not rewritten: each row records
// how many columns it was written with, so they read the new field as Null
// (a Boolean as false).
//
// Required and AllowZeroLength, when set, are written to the table's field
// properties (jet_properties.h).
//
// Fails, leaving `bytes` as they were: with 3027 for an Access 97 file,
// when the grown definition no longer fits the pages it has, and when the
// field properties cannot be written as jet_properties.h says; 3376 when the
// table does not exist; 3191 when it already has a field of that name;
// 3259 for a type that cannot be added; 3125 for a name Access refuses;
// 3343 when the file is damaged.
void AddColumn(std::vector<std::uint8_t>& bytes, const std::string& name, const std::string& table,
               const ColumnInfo& column);

// Fails with 3027 naming the file `name`: "Cannot update. ... WHAT; convert
// it with `import`." The advice (the file converted into our format takes
// the change) is added unless `what` gives it already.
[[noreturn]] void RefuseAccessChange(const std::string& name, const std::string& what);

// UTF-8 text as the UTF-16LE bytes a definition and a property value keep
// names in.
std::vector<std::uint8_t> Utf16Bytes(const std::string& text);

// The column as the file's catalogue will describe it once added: the
// size of a fixed type is its width, Required and AllowZeroLength as set.
ColumnInfo DescribedColumn(const ColumnInfo& column);

}  // namespace actualiz::engine::jet
