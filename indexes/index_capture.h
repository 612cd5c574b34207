// The index capture: the routine behind both "Lista de Indices Destino"
// (the target's indexes) and "Lista de Indices Modelo" (the model's).
//
// Steps, in order:
//  1. Point Data3 back at the whole table "indices" and delete every row.
//     The removal and the copy leave the view narrowed to the last table
//     they processed; emptying only that view would leave the rows of every
//     other table, and of earlier databases, in the catalogue, and the copy
//     would then create them as indexes on this and later targets.
//  2. Open the database and list its user tables in List10 (names that do
//     not begin with "MSys", in the engine's order, last entry selected).
//     The target listing clears List10 before opening, so that a target
//     that cannot be opened leaves it empty; the model capture clears it
//     after opening, so that a model that cannot be opened leaves the list
//     as it was.
//  3. For each listed table, write one catalogue row per field of each of
//     its indexes, through Text1(0) to Text1(3) and Data3's record update.
//  4. Close the database and refresh Data3 so that it shows the catalogue
//     as it now stands.
//
// Nothing is passed over: the first failure ends the capture and travels to
// its caller. Rows already stored stay, List10 keeps what was added so far.
#pragma once

#include <string>

#include "app/actualiz.h"

namespace actualiz::indexes {

enum class ClearTableList { kBeforeOpening, kAfterOpening };

void CaptureIndexes(app::Actualiz& window, const std::string& path, ClearTableList when);

}  // namespace actualiz::indexes
