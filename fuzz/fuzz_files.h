// Scratch files for the fuzz targets: one private directory per process,
// so that several fuzzing jobs can run side by side.
#pragma once

#include <string>
#include <string_view>

namespace actualiz::fuzz {

// A path inside the process's scratch directory (created on first use);
// whatever is at that path is removed first.
std::string FreshPath(std::string_view name);

// Writes `bytes` to `path`, replacing the file.
void WriteBytes(const std::string& path, const unsigned char* bytes, std::size_t size);

// Removes `path` and the journal files SQLite may leave beside it.
void RemoveDatabase(const std::string& path);

}  // namespace actualiz::fuzz
