// "Recorrer Tablas" (Command12_Click): the table walk.
//
// For every model table in List2 that has a target table of exactly the same
// name in List3, the walk lists both tables' fields (target first, then
// model, so Data1 ends on the model table), collects in List1(3) to List1(5)
// the model fields whose names the target lacks, and appends them to the
// target table with name, type and size. Present fields are never altered,
// even when their type or size differs; target fields and tables that the
// model lacks are never visited.
//
// Names are compared exactly, upper and lower case distinct. Each target
// field name matches one model field at most: it is removed from List5(0)
// once matched, so after a table List5(0) holds the target's extra fields.
//
// Failures: the walk starts without a rule of its own, so the first failure
// ends it and travels to the caller. Once the first table has received its
// fields, the walk passes over every later failing step and goes on, so one
// refused field does not hold back the tables after it.
#include <functional>

#include "app/actualiz.h"
#include "tables/field_triple.h"

namespace actualiz::app {

namespace {

// Selects the entries of `list` in turn and stops at the first whose text is
// exactly `text`. Returns whether one was found; the selection then stays on
// it (on the last entry when none was).
bool SelectFirstEqual(ListBox& list, const std::string& text) {
  const int count = list.ListCount();
  for (int j = 0; j < count; ++j) {
    list.SetListIndex(j);
    if (list.Text() == text) return true;
  }
  return false;
}

void SelectInTriple(ControlArray<ListBox>& lists, int first, int entry) {
  for (int i = first; i < first + 3; ++i) lists(i).SetListIndex(entry);
}

}  // namespace

void Actualiz::Command12_Click() {
  HandlerScope scope(*this, "Command12_Click");
  bool passing_over = false;
  // Runs one step of the walk under the rule in force: before the first
  // table has received fields a failure travels on, afterwards it is
  // recorded and passed over. Returns whether the step succeeded.
  auto step = [&](const std::string& what, const std::function<void()>& statement) {
    if (passing_over) return PassOver(what, statement);
    statement();
    return true;
  };

  Bar2.SetValue(0);
  Bar2.SetMax(static_cast<float>(List2.ListCount()));
  const int tables = List2.ListCount();
  for (int i = 0; i < tables; ++i) {
    step("Bar2", [&] {
      Bar2.SetValue(static_cast<float>(i + 1));
      Frame13.Refresh();
    });
    step("List2.ListIndex", [&] { List2.SetListIndex(i); });
    bool has_target = false;
    step("List3 search", [&] { has_target = SelectFirstEqual(List3, List2.Text()); });
    if (!has_target) continue;

    step("Command11_Click", [&] { Command11_Click(); });
    step("Command10_Click", [&] { Command10_Click(); });
    step("List1(3) to List1(5).Clear", [&] {
      for (int b = 3; b <= 5; ++b) List1(b).Clear();
    });
    step("Bar3", [&] {
      Bar3.SetValue(0);
      Bar3.SetMax(static_cast<float>(List1(0).ListCount()));
    });
    const int model_fields = List1(0).ListCount();
    for (int l = 0; l < model_fields; ++l) {
      step("Bar3", [&] {
        Bar3.SetValue(static_cast<float>(l + 1));
        Frame13.Refresh();
      });
      step("compare field", [&] {
        SelectInTriple(List1, 0, l);
        if (SelectFirstEqual(List5(0), List1(0).Text())) {
          List5(0).RemoveItem(List5(0).ListIndex());
        } else {
          for (int b = 0; b < 3; ++b) List1(3 + b).AddItem(List1(b).Text());
        }
      });
    }

    if (List1(3).ListCount() == 0) continue;
    engine::DatabasePtr database;
    engine::TableDefPtr table;
    const bool opened = step("TableDefs " + List3.Text(), [&] {
      database = OpenDatabase(Text4.Text());
      table = database->TableDefs().Item(List3.Text());
    });
    if (opened) {
      const int missing = List1(3).ListCount();
      for (int k = 0; k < missing; ++k) {
        const ObjectRef field{List3.Text(), List1(3).Items()[k]};
        step("Fields.Append " + ObjectText(ChangeKind::kFieldAdded, field), [&] {
          SelectInTriple(List1, 3, k);
          table->Fields().Append(
              CreateFieldFromTriple(*table, List1(3).Text(), List1(4).Text(), List1(5).Text()));
          RecordChange(ChangeKind::kFieldAdded, field);
        });
      }
    }
    passing_over = true;
    if (database) PassOver("Close", [&] { database->Close(); });
  }
}

}  // namespace actualiz::app
