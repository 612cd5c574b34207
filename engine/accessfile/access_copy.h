// Copies of database files of either format, for backups and restores.
#pragma once

#include <string>

#include "engine/sqlite/backup.h"

namespace actualiz::engine {

// Copies the database at host path `from` into host path `to` as
// CopyDatabase does; an Access file is copied as its bytes, built beside
// `to` and put in place only once whole (kReplace: renamed over it, so `to`
// is always the old file or the whole copy). The engine changes an Access
// file only by renaming a checked copy over it, so the bytes read are one
// version of the file. Fails as CopyDatabase does: 3024 when `from` is
// missing, 3204 when kNew finds `to`, 3049 when `to` cannot be written.
void CopyDatabaseFile(const std::string& from, const std::string& to, CopyTarget target);

}  // namespace actualiz::engine
