// The fixed-table migration (see fixed_table_migration.h for the steps).
//
// The table is created with no failure rule: whatever goes wrong up to the
// table's append ends the migration, and since each append is one atomic
// change of the file the database then stays as it was. The indexes come
// after, each statement passed over on its own, so one index that cannot be
// made does not keep the others from being tried. Which indexes failed, and
// why, decides the closing message: "Terminado" alone is kept for a run in
// which everything was created. A run killed between the table and its
// last index leaves the table empty and short of indexes; the next run
// recognises it and makes the missing ones instead of stopping at "ya
// existe".
#include "migrations/fixed_table_migration.h"

#include <algorithm>
#include <optional>

#include "app/database_pair.h"
#include "base/failure_text.h"
#include "base/names.h"

namespace actualiz::app {

namespace {

const char* const kCustomerDatabase = "clientes.mdb";

// An error whose text names the database it happened on, so that the
// operator knows which file to look at.
Error NamingFile(const Error& e, const std::string& path) {
  if (e.Text().find(path) != std::string::npos) return e;
  return Error(e.Number(), e.Text() + " (" + path + ")", e.Context());
}

// Whether `existing` is this migration's table as a run killed before its
// indexes were all made left it: exactly the migration's fields, in order,
// no rows, only indexes of the migration's, and at least one of them
// missing. Such a table is finished rather than reported as existing.
bool LeftUnfinished(engine::Database& database, engine::TableDef& existing,
                    const FixedTable& table) {
  const std::vector<engine::FieldPtr> fields = existing.Fields().Items();
  if (fields.size() != table.fields.size()) return false;
  for (size_t i = 0; i < fields.size(); ++i) {
    const MigrationField& spec = table.fields[i];
    if (fields[i]->Name() != spec.name || fields[i]->Type() != spec.type ||
        (spec.type == engine::dbText && fields[i]->Size() != spec.size)) {
      return false;
    }
  }
  size_t ours = 0;
  for (const engine::IndexPtr& index : existing.Indexes().Items()) {
    const auto spec = std::find_if(
        table.indexes.begin(), table.indexes.end(),
        [&](const MigrationIndex& m) { return SameNameIgnoringCase(m.name, index->Name()); });
    if (spec == table.indexes.end()) return false;
    ++ours;
  }
  if (ours == table.indexes.size()) return false;
  return database.OpenRecordset(table.name)->Eof();
}

enum class TableStep { kExists, kCreated, kUnfinished };

// Steps up to the table's close: kExists when the table already exists (its
// message is shown), kCreated when the table was stored, kUnfinished when
// an interrupted run left it without all its indexes.
TableStep CreateTable(Actualiz& window, const FixedTable& table) {
  const std::string path = window.Text4.Text();
  try {
    engine::DatabasePtr database = window.OpenDatabase(path);
    for (const engine::TableDefPtr& existing : database->TableDefs().Items()) {
      const std::string name = existing->Name();
      if (!IsSystemName(name) && name == table.name) {
        if (LeftUnfinished(*database, *existing, table)) {
          database->Close();
          return TableStep::kUnfinished;
        }
        window.MsgBox(table.exists_message, platform::MessageLook::kCritical);
        return TableStep::kExists;
      }
    }
    engine::TableDefPtr created = database->CreateTableDef(table.name);
    for (const MigrationField& spec : table.fields) {
      engine::FieldPtr field = created->CreateField(spec.name, spec.type, spec.size);
      if (spec.allow_zero_length) field->SetAllowZeroLength(true);
      created->Fields().Append(field);
    }
    database->TableDefs().Append(created);
    window.RecordChange(ChangeKind::kTableMigrated, {{}, table.name});
    database->Close();
    return TableStep::kCreated;
  } catch (const Error& e) {
    throw NamingFile(e, path);
  }
}

struct IndexOutcome {
  std::string name;
  std::optional<Error> failure;  // the first failure met while making it
};

bool HasIndex(engine::Database& database, const std::string& table, const std::string& index) {
  for (const engine::IndexPtr& existing : database.TableDefs().Item(table)->Indexes().Items()) {
    if (SameNameIgnoringCase(existing->Name(), index)) return true;
  }
  return false;
}

// `finishing`: the table is one an interrupted run left; the indexes it
// already has are kept.
std::vector<IndexOutcome> CreateIndexes(Actualiz& window, const FixedTable& table, bool finishing) {
  engine::DatabasePtr database;
  std::optional<Error> open_failure;
  window.PassOver("OpenDatabase " + window.Text4.Text(), [&] {
    try {
      database = window.OpenDatabase(window.Text4.Text());
    } catch (const Error& e) {
      open_failure = e;
      throw;
    }
  });
  // Without a database every statement fails, for the reason the opening did.
  auto opened = [&]() -> engine::Database& {
    if (database) return *database;
    if (open_failure) throw *open_failure;
    throw MakeError(err::kObjectNotSet);
  };

  std::vector<IndexOutcome> outcomes;
  for (const MigrationIndex& spec : table.indexes) {
    IndexOutcome outcome{spec.name, std::nullopt};
    if (finishing && database && HasIndex(*database, table.name, spec.name)) {
      outcomes.push_back(std::move(outcome));  // made by the interrupted run
      continue;
    }
    auto step = [&](const std::string& what, auto&& statement) {
      window.PassOver(what, [&] {
        try {
          statement();
        } catch (const Error& e) {
          if (!outcome.failure) outcome.failure = e;
          throw;
        }
      });
    };
    engine::IndexPtr index;
    auto made = [&]() -> engine::Index& {
      if (!index) throw MakeError(err::kObjectNotSet);
      return *index;
    };
    const std::string on_table = IndexOnTable(spec.name, table.name);
    step("CreateIndex " + on_table,
         [&] { index = opened().TableDefs().Item(table.name)->CreateIndex(spec.name); });
    engine::FieldPtr field;
    step("Index CreateField " + spec.field, [&] { field = made().CreateField(spec.field); });
    step("Index Fields.Append " + spec.field, [&] { made().Fields().Append(field); });
    step("Index Unique " + on_table, [&] { made().SetUnique(false); });
    step("Indexes.Append " + on_table, [&] {
      opened().TableDefs().Item(table.name)->Indexes().Append(index);
      window.RecordChange(ChangeKind::kIndexCreated, {table.name, spec.name});
    });
    outcomes.push_back(std::move(outcome));
  }
  window.PassOver("Close", [&] { opened().Close(); });
  return outcomes;
}

bool AllCreated(const std::vector<IndexOutcome>& outcomes) {
  for (const IndexOutcome& outcome : outcomes) {
    if (outcome.failure) return false;
  }
  return true;
}

// The closing warning of a run that left indexes out: each one with the
// engine's reason.
std::string MissingIndexes(const std::vector<IndexOutcome>& outcomes) {
  std::string lines = "Terminado, pero no se crearon estos índices:";
  for (const IndexOutcome& outcome : outcomes) {
    if (!outcome.failure) continue;
    lines += "\n" + outcome.name + ": " +
             TextThenNumber(outcome.failure->Text(), outcome.failure->Number());
  }
  return lines;
}

}  // namespace

void RunFixedTableMigration(Actualiz& window, const FixedTable& table) {
  window.Text4.SetText(DatabaseIn(window.Dir1.Path(), kCustomerDatabase));
  const TableStep step = CreateTable(window, table);
  if (step == TableStep::kExists) return;
  const std::vector<IndexOutcome> outcomes =
      CreateIndexes(window, table, step == TableStep::kUnfinished);
  if (AllCreated(outcomes)) {
    window.MsgBox("Terminado", platform::MessageLook::kInformation);
  } else {
    window.MsgBox(MissingIndexes(outcomes), platform::MessageLook::kWarning);
  }
  window.End();
}

}  // namespace actualiz::app
