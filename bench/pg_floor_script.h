// The floor of the server bench: the SQL that brings one customer schema to
// its model's structure, written out as the engine's server storage writes
// each object (docs/server.md), with only the changes the schema needs:
// the model's missing tables and columns with their MSysColumns rows (added
// Text and Memo fields accept the empty text, as the update makes them);
// the indexes that differ from the model's dropped and the model's missing
// ones made (identical ones kept); likewise relations (MSysRelationships
// rows and their FOREIGN KEY constraints) and stored queries (on one line,
// as the query chain carries them). Tables and columns are never removed.
#pragma once

#include <string>

namespace actualiz::bench {

// The script for the schema at server address `target` (".../DB/NAME.mdb")
// and the model file at `model_path`. `conninfo` reaches the same server
// database, for the names its catalogue already holds. Throws
// actualiz::Error or std::runtime_error when either cannot be read.
std::string FloorScript(const std::string& model_path, const std::string& target,
                        const std::string& conninfo);

}  // namespace actualiz::bench
