// "Lista de Consultas": the first step of the query chain.
//
// The query catalogue (Data5 over "C:\Zarade\consulta.mdb", table
// "consulta") holds the stored queries of one model at a time. The listing
// empties it, writes one row per stored query of the model in Text3 (name in
// campocon(0), statement on one line in campocon(1)), lists the target's
// stored queries in List11(1) and starts the equalisation, which deletes
// exactly those and creates the catalogue's. A target query the
// equalisation would create again exactly as it stands, in its place, is
// left there (app/kept_in_place.h): neither deleted nor created, it is
// recorded as kept, and the end state is the same.
//
// The view's keys are read when it opens, so a view opened earlier does not
// show rows another window or run has stored in the catalogue since (after
// any run the catalogue still holds its last model's queries). The listing
// therefore reopens the view before emptying it: emptying only the rows it
// knew would leave those others behind, and the equalisation would create
// them in this target beside its own model's queries.
//
// The listing has no failure rule of its own: a database that cannot be
// opened or a row that cannot be stored ends it at that call, and the
// equalisation is then not started.
#include <set>
#include <vector>

#include "app/actualiz.h"
#include "app/kept_in_place.h"
#include "base/names.h"
#include "queries/statement_text.h"

namespace actualiz::app {

namespace {

// Deletes every row of the catalogue view. The view covers the whole table,
// so the catalogue is empty afterwards.
void EmptyCatalogueView(engine::Recordset& view) {
  if (view.Eof() && view.Bof()) return;
  view.MoveFirst();
  while (!view.Eof()) {
    view.Delete();
    if (!view.Eof()) view.MoveNext();
  }
}

}  // namespace

void Actualiz::Command24_Click() {
  HandlerScope scope(*this, "Command24_Click");

  Data5.Refresh();
  EmptyCatalogueView(Data5.Recordset());

  engine::DatabasePtr model = OpenDatabase(Text3.Text());
  List11(0).Clear();
  List11(1).Clear();
  List11(3).Clear();

  std::vector<QueryToCreate> created;
  for (const engine::QueryDefPtr& query : model->QueryDefs().Items()) {
    if (IsSystemName(query->Name())) continue;
    const std::string line = OnOneLine(query->SQL());
    Data5.Recordset().AddNew();
    campocon(0).SetText(query->Name());
    campocon(1).SetText(line);
    Data5.UpdateRecord();
    created.push_back({query->Name(), line});
  }
  Data5.Refresh();

  // The model is released here without an explicit close; the target stays
  // open while the equalisation works on its own connection.
  engine::DatabasePtr target = OpenDatabase(Text4.Text());
  model.reset();
  for (const engine::QueryDefPtr& query : target->QueryDefs().Items()) {
    if (!IsSystemName(query->Name())) List11(1).AddItem(query->Name());
  }
  const std::set<std::string> kept = QueriesToKeep(*target, created);

  EqualiseQueries(kept);
}

}  // namespace actualiz::app
