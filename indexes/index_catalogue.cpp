#include "indexes/index_catalogue.h"

#include <algorithm>

#include "base/names.h"

namespace actualiz::indexes {

std::string RowsOfTable(std::string_view table) {
  return "Select * from indices where tabla = " + QuotedLiteral(table);
}

void PointView(app::DataControl& data, std::string source) {
  data.SetRecordSource(std::move(source));
  data.Refresh();
}

bool ViewIsEmpty(engine::Recordset& view) { return view.Eof() && view.Bof(); }

void DeleteShownRows(engine::Recordset& view) {
  if (ViewIsEmpty(view)) return;
  // The set of rows is fixed when the view opens, so each MoveNext brings
  // the walk one row nearer its end.
  view.MoveFirst();
  while (!view.Eof()) {
    view.Delete();
    if (!view.Eof()) view.MoveNext();
  }
}

std::vector<CatalogueRow> ReadShownRows(app::Actualiz& window) {
  std::vector<CatalogueRow> rows;
  engine::Recordset& view = window.Data3.Recordset();
  if (ViewIsEmpty(view)) return rows;
  view.MoveFirst();
  while (!view.Eof()) {
    rows.push_back({window.Text1(0).Text(), window.Text1(2).Text(), window.Text1(3).Text()});
    view.MoveNext();
  }
  return rows;
}

std::vector<IndexPlan> GroupIntoIndexes(const std::vector<CatalogueRow>& rows) {
  std::vector<IndexPlan> plans;
  for (const CatalogueRow& row : rows) {
    auto plan = std::find_if(plans.begin(), plans.end(), [&](const IndexPlan& p) {
      return SameNameIgnoringCase(p.name, row.index);
    });
    if (plan == plans.end()) {
      plans.push_back({row.index, {}, row.unique == kUniqueText, 0});
      plan = std::prev(plans.end());
    }
    ++plan->rows;
    const bool field_known =
        std::any_of(plan->fields.begin(), plan->fields.end(),
                    [&](const std::string& f) { return SameNameIgnoringCase(f, row.field); });
    if (!field_known) plan->fields.push_back(row.field);
  }
  return plans;
}

}  // namespace actualiz::indexes
