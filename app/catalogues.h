// The three catalogue databases of "C:\Zarade": where the index, relation
// and query chains record what they carry from a model to a target.
#pragma once

#include <string>
#include <vector>

#include "platform/drive_map.h"

namespace actualiz::app {

inline constexpr const char* kCatalogueFolder = "C:\\Zarade";
inline constexpr const char* kIndexCatalogue = "C:\\Zarade\\indices.mdb";
inline constexpr const char* kRelationCatalogue = "C:\\Zarade\\relacion.mdb";
inline constexpr const char* kQueryCatalogue = "C:\\Zarade\\consulta.mdb";

// Creates whichever catalogue is missing, with its one table (text fields
// of 255 that accept the empty text; the query text as a memo so that a
// statement of any length fits), creating "C:\Zarade" when needed. Each is
// built beside its place and put there whole. A catalogue file that exists
// is never touched, whatever it holds, except a database with nothing of its
// own (no table, relation or query), which an older run killed before the
// table was added left: that one is made again. Returns
// the Windows paths of the catalogues it created, in the order above.
// Fails with the engine's or the drive map's error (68 when c: is not
// mapped); catalogues created before the failure stay.
std::vector<std::string> ProvisionCatalogues(const platform::DriveMap& drives);

// Whether every catalogue is in place as the chains use it: the file opens
// and holds its table with each of its fields, of its type. Only reads;
// false (never a failure) when c: is not mapped or anything is missing or
// unreadable.
bool CataloguesInPlace(const platform::DriveMap& drives);

}  // namespace actualiz::app
