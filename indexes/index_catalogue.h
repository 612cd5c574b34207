// The index catalogue: "C:\Zarade\indices.mdb", table "indices", seen through
// the window's data control Data3 and its bound boxes Text1(0) to Text1(3)
// (fields nombreind, tabla, campo, unico).
//
// The catalogue hands the indexes of one database to the next step of the
// index chain, one row per index field. An index over n fields gives n rows
// that repeat its name, its table and its uniqueness ("Verdadero" or "Falso")
// and differ in the field, written in the order of the index's fields. The
// format is fixed: no row says which position a field holds, whether the
// index is the primary key or how a field is sorted. So an index read back
// from the catalogue is the rows that share its name on one table, in the
// order the view returns them, with the uniqueness of the first of them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/actualiz.h"

namespace actualiz::indexes {

inline constexpr const char* kCatalogueTable = "indices";
inline constexpr const char* kUniqueText = "Verdadero";
inline constexpr const char* kNotUniqueText = "Falso";

// "Select * from indices where tabla = '<table>'", with every apostrophe of
// the name doubled so that any table name selects exactly its own rows.
std::string RowsOfTable(std::string_view table);

// Points `data` at `source` and rebuilds its record set. Raises the engine's
// failure when the catalogue cannot be read; `data` is then left without a
// record set.
void PointView(app::DataControl& data, std::string source);

// True when the view shows no row (end-of-file and beginning-of-file both set).
bool ViewIsEmpty(engine::Recordset& view);

// Deletes every row the view shows. Rows outside the view stay.
void DeleteShownRows(engine::Recordset& view);

// One catalogue row as the bound boxes show it.
struct CatalogueRow {
  std::string index;   // nombreind
  std::string field;   // campo
  std::string unique;  // unico
};

// Reads every row of Data3's view through Text1(0), Text1(2) and Text1(3),
// from the first row on, in the view's order; leaves the view at its end.
// Empty when the view shows no row. Raises the engine's failure when a row
// cannot be read.
std::vector<CatalogueRow> ReadShownRows(app::Actualiz& window);

// One index to build from the catalogue.
struct IndexPlan {
  std::string name;
  std::vector<std::string> fields;  // in row order, each once
  bool unique = false;              // from the first row of the index
  int rows = 0;                     // catalogue rows it was built from
};

// Gathers the rows of one table into indexes: rows whose names are equal
// without regard to case (as the engine compares index names) make one
// index, in the order each name first appears. A field named twice for one
// index is taken once.
std::vector<IndexPlan> GroupIntoIndexes(const std::vector<CatalogueRow>& rows);

}  // namespace actualiz::indexes
