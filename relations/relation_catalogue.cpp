#include "relations/relation_catalogue.h"

#include "base/names.h"

namespace actualiz::app::relations {

std::string RowsOfRelation(std::string_view name) {
  return "Select * from relacion where nombrerel = " + QuotedLiteral(name);
}

void EmptyView(DataControl& data) {
  engine::Recordset& rows = data.Recordset();
  if (rows.Eof() && rows.Bof()) return;
  rows.MoveFirst();
  while (!rows.Eof()) {
    rows.Delete();
    if (!rows.Eof()) rows.MoveNext();
  }
}

}  // namespace actualiz::app::relations
