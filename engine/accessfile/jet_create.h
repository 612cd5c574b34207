// Creating a table in a Jet 4 or ACE file, on its bytes in memory. Nothing
// here touches a file on disk: a change is kept only after the copy passes
// the checks of jet_replace.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/storage.h"

namespace actualiz::engine::jet {

// Adds table `table` (its name and columns; no indexes) to the Jet 4 / ACE
// file whose bytes are `bytes`; `name` names the file in errors. Two pages
// are appended: the table's definition and the page of its usage maps. The
// table's row goes into MSysObjects and its entries into every index of
// MSysObjects; each column is then added as AddColumn (jet_writer.h) adds
// it, with the same refusals.
//
// Fails, leaving `bytes` as they were: with 3027 for an Access 97 file, for
// indexes, for a name of one of Access's own tables, for more than 255
// fields, for a name with characters whose order in the catalogue's index
// is not known, and when the catalogue's pages or index page have no room;
// 3010 when an object of that name exists; 3125 for a name Access refuses;
// 3343 when the file is damaged.
void CreateTable(std::vector<std::uint8_t>& bytes, const std::string& name, const TableInfo& table);

}  // namespace actualiz::engine::jet
