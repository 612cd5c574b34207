// Moving a database onto a server: an Access file (or one of our files)
// converted into a new schema of a server database, structure and rows.
#pragma once

#include <string>

#include "engine/accessfile/import.h"

namespace actualiz::app {

// Converts the database at host path `source` into a new schema at the
// server address `target` (a customer database's address, ".../DB/NAME.mdb";
// base/server_address.h). `source_name` is how errors name the source.
//
// The source is converted into a private temporary file first, as a file
// import converts it (what could not be carried is in the report), and the
// schema is then made from that file's description, rows included, its
// changes stored together: a failure part-way leaves no schema. Fails with
// 3204 when the schema exists (it is left as it is), 3044 when `target` is
// not a customer database's address on a server, and with the engine's
// errors as ImportDatabase and CreateFromDescription raise them.
engine::ImportReport ImportIntoSchema(const std::string& source, const std::string& target,
                                      const std::string& source_name);

}  // namespace actualiz::app
