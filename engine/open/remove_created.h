// Undoing a create that could not be finished.
#pragma once

#include <string>

namespace actualiz::engine {

// Removes a database its caller created and could not finish: the file with
// any rollback journal beside it, or the schema on a server with all it
// holds. Failures are ignored: the caller is already reporting the one that
// matters.
void RemoveCreatedDatabase(const std::string& host_path);

}  // namespace actualiz::engine
