// "Iguala Consultas": makes the target's stored queries those of the query
// catalogue.
//
// Steps, all under the rule of passing over failures:
//  1. open the target in Text4 and delete every query listed in List11(1),
//     then close it, so the deletions take effect before any creation;
//  2. an empty catalogue ends the run here (Bar6 is left alone);
//  3. reopen the target, size Bar6 to the catalogue's row count, and for
//     each row create the stored query named in campocon(0) with the
//     statement in campocon(1).
//
// Easy to get wrong:
//  - A row whose name is still taken (a target query that was not listed, or
//    that the engine refused to delete) fails at the creation and leaves the
//    existing query as it is.
//  - Under the listing, the queries it keeps in place (app/kept_in_place.h)
//    are neither deleted nor created: their rows are recorded as kept. The
//    button pressed on its own keeps nothing.
//  - A catalogue that cannot be read has no sound answer to "is it empty?"
//    or "is the walk at its end?": the run records the failure and ends
//    rather than walking on without end.
#include <set>

#include "app/actualiz.h"
#include "engine/description/description.h"

namespace actualiz::app {

namespace {

// The database a pass-over statement works on: when opening it failed there
// is none, and every use fails as the use of an unset object does.
engine::Database& Opened(const engine::DatabasePtr& database) {
  if (!database) throw MakeError(err::kObjectNotSet);
  return *database;
}

}  // namespace

void Actualiz::Command23_Click() { EqualiseQueries({}); }

void Actualiz::EqualiseQueries(const std::set<std::string>& kept) {
  HandlerScope scope(*this, "Command23_Click");

  engine::DatabasePtr target;
  PassOver("OpenDatabase " + Text4.Text(), [&] { target = OpenDatabase(Text4.Text()); });

  const int listed = List11(1).ListCount();
  for (int i = 0; i < listed; ++i) {
    PassOver("List11(1).ListIndex", [&] { List11(1).SetListIndex(i); });
    const std::string name = List11(1).Text();
    if (kept.contains(name)) continue;
    PassOver("QueryDefs.Delete " + name, [&] {
      const std::string definition =
          engine::DescribeQuery(*Opened(target).QueryDefs().Item(name)).dump();
      Opened(target).QueryDefs().Delete(name);
      RecordChange(ChangeKind::kQueryDropped, {{}, name}, {}, definition);
    });
  }
  PassOver("Close", [&] { Opened(target).Close(); });
  target.reset();

  bool empty = true;
  if (!PassOver("catalogue view EOF and BOF", [&] {
        engine::Recordset& view = Data5.Recordset();
        empty = view.Eof() && view.Bof();
      })) {
    return;
  }
  if (empty) return;

  PassOver("OpenDatabase " + Text4.Text(), [&] { target = OpenDatabase(Text4.Text()); });

  PassOver("catalogue view MoveFirst", [&] { Data5.Recordset().MoveFirst(); });
  PassOver("catalogue view MoveLast", [&] { Data5.Recordset().MoveLast(); });
  PassOver("catalogue view MoveFirst", [&] { Data5.Recordset().MoveFirst(); });
  PassOver("Bar6.Max", [&] { Bar6.SetMax(static_cast<float>(Data5.Recordset().RecordCount())); });
  Bar6.SetValue(0);
  Frame13.Refresh();

  while (true) {
    bool at_end = true;
    if (!PassOver("catalogue view EOF", [&] { at_end = Data5.Recordset().Eof(); })) break;
    if (at_end) break;

    Bar6.SetValue(Bar6.Value() + 1);
    Frame13.Refresh();

    const std::string name = campocon(0).Text();
    const std::string statement = campocon(1).Text();
    engine::QueryDefPtr query;
    if (kept.contains(name)) {
      RecordChange(ChangeKind::kQueryKept, {{}, name});
    } else {
      PassOver("CreateQueryDef " + name,
               [&] { query = Opened(target).CreateQueryDef(name, statement); });
    }
    // The engine stores a named definition when it creates it; appending
    // that very definition does nothing more. A row that failed at the
    // creation adds nothing, so it is not appended.
    if (query) {
      PassOver("QueryDefs.Append " + name, [&] {
        Opened(target).QueryDefs().Append(query);
        RecordChange(ChangeKind::kQueryCreated, {{}, name}, {},
                     engine::DescribeQuery(*Opened(target).QueryDefs().Item(name)).dump());
      });
    }

    // A move that fails would leave the walk on the same row for ever.
    if (!PassOver("catalogue view MoveNext", [&] { Data5.Recordset().MoveNext(); })) break;
  }

  PassOver("Close", [&] { Opened(target).Close(); });
}

}  // namespace actualiz::app
