// Opening a database file in an engine session of its own, as a program
// apart from the one under test would: it shares no kept connection, schema
// snapshot or hand-off mark with any other session. The database keeps its
// session alive.
#pragma once

#include <string>

#include "engine/engine.h"

namespace actualiz::testing {

engine::DatabasePtr OpenInOwnSession(const std::string& host_path, const std::string& name = {});
engine::DatabasePtr CreateInOwnSession(const std::string& host_path, const std::string& name = {});

}  // namespace actualiz::testing
