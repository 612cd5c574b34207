#include "indexes/index_capture.h"

#include "base/names.h"
#include "indexes/index_catalogue.h"

namespace actualiz::indexes {

namespace {

void ListUserTables(app::Actualiz& window, engine::Database& database) {
  for (const engine::TableDefPtr& table : database.TableDefs().Items()) {
    const std::string name = table->Name();
    if (!IsSystemName(name)) window.List10.AddItem(name);
  }
}

void WriteIndexRows(app::Actualiz& window, const std::string& table, engine::Index& index) {
  const std::string name = index.Name();
  const std::string unique = index.Unique() ? kUniqueText : kNotUniqueText;
  engine::Collection<engine::Field>& fields = index.Fields();
  const int count = fields.Count();
  for (int position = 0; position < count; ++position) {
    window.Data3.Recordset().AddNew();
    window.Text1(0).SetText(name);
    window.Text1(1).SetText(table);
    window.Text1(2).SetText(fields.Item(position)->Name());
    window.Text1(3).SetText(unique);
    window.Data3.UpdateRecord();
  }
}

}  // namespace

void CaptureIndexes(app::Actualiz& window, const std::string& path, ClearTableList when) {
  PointView(window.Data3, kCatalogueTable);
  DeleteShownRows(window.Data3.Recordset());

  if (when == ClearTableList::kBeforeOpening) window.List10.Clear();
  engine::DatabasePtr database = window.OpenDatabase(path);
  if (when == ClearTableList::kAfterOpening) window.List10.Clear();
  ListUserTables(window, *database);

  const int tables = window.List10.ListCount();
  for (int i = 0; i < tables; ++i) {
    window.List10.SetListIndex(i);
    const std::string table = window.List10.Text();
    engine::TableDefPtr definition = database->TableDefs().Item(table);
    for (const engine::IndexPtr& index : definition->Indexes().Items()) {
      WriteIndexRows(window, table, *index);
    }
  }

  database->Close();
  window.Data3.Refresh();
}

}  // namespace actualiz::indexes
