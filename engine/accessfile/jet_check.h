// Page-level checks of an Access file: that the usage maps, data pages, row
// counts and indexes of its tables agree with one another. A change made to
// a copy of a file is kept only when the copy passes them.
#pragma once

#include <string>
#include <vector>

#include "engine/accessfile/jet_file.h"

namespace actualiz::engine::jet {

// Every problem found, each naming the page (and the table) and what is
// wrong; empty when the file passes. Damage that stops a check part way is
// listed as a problem too, never thrown.
std::vector<std::string> CheckJetPages(const JetFile& file);

// Opens the file at `host_path` read-only and checks it. Fails as
// JetFile::Open does when the file cannot be opened at all.
std::vector<std::string> CheckJetPages(const std::string& host_path);

}  // namespace actualiz::engine::jet
