// Converting a database (an Access file, or any file the engine reads) into
// a new database in the engine's own format: structure and data.
#pragma once

#include <string>
#include <vector>

#include "engine/session.h"

namespace actualiz::engine {

struct ImportReport {
  int tables = 0;
  int rows = 0;
  int relations = 0;
  int queries = 0;
  // One line per thing that could not be carried as it was: a field type
  // the engine's format does not have, a relation or query it refused.
  std::vector<std::string> not_carried;
};

// Reads `source_path` and creates `target_path` with the same tables (their
// fields, indexes and rows), relations and stored queries. The engine's own
// tables are not copied. Fails with 3204 when the target exists (it is left
// as it was), with the engine's Error when the source cannot be read; on a
// failure no target file is left behind. `source_name` and `target_name`
// are how errors name the files (the host paths when empty). Both files
// are opened in `session`; without one, in a session of the call's own.
ImportReport ImportDatabase(Session& session, const std::string& source_path,
                            const std::string& target_path, const std::string& source_name = {},
                            const std::string& target_name = {});
ImportReport ImportDatabase(const std::string& source_path, const std::string& target_path,
                            const std::string& source_name = {},
                            const std::string& target_name = {});

// True when the file at `host_path` starts as an Access file (Jet 3, Jet 4
// or ACE); false when it does not or cannot be read.
bool IsAccessFile(const std::string& host_path);

}  // namespace actualiz::engine
