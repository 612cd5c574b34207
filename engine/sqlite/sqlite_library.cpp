#include "engine/sqlite/sqlite_library.h"

#include <sqlite3.h>

#include <mutex>

namespace actualiz::engine {

void ConfigureSqliteLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Refused (SQLITE_MISUSE) only when the library is already in use, in
    // which case it keeps its statistics: slower with threads, still right.
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    sqlite3_initialize();
  });
}

}  // namespace actualiz::engine
