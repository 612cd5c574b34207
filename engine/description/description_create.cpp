// Creating a database from a JSON description.
//
// The description is checked whole first, so that most mistakes leave no
// file at all. Then the file is created and filled in an order that lets
// the engine check each step against what is already there:
//   1. every table with its fields (rows may only name stored fields);
//   2. every table's rows (before indexes, so that a unique index that the
//      data breaks fails on that index, as it would on a live database);
//   3. every table's indexes;
//   4. relations (their tables, fields and data are all in place);
//   5. stored queries (they may read any table).
// A failure at any step removes the half-made file, so a failed create never
// leaves a database that looks whole; the error names the JSON place of the
// step that failed. A schema on a server is made in one transaction, so
// even a killed create leaves none.

#include <optional>

#include "base/error.h"
#include "base/server_address.h"
#include "engine/description/description.h"
#include "engine/description/description_model.h"
#include "engine/open/remove_created.h"

namespace actualiz::engine {

using description::DatabaseSpec;

namespace {

void CreateTable(Database& database, const description::TableSpec& spec, std::string& place) {
  TableDefPtr table = database.CreateTableDef(spec.name);
  for (const description::FieldSpec& field_spec : spec.fields) {
    place = field_spec.place;
    FieldPtr field = table->CreateField(field_spec.name, field_spec.type, field_spec.size);
    // Only a set rule is applied: the engine may refuse the property on a
    // type that has no use for it, even when it is false.
    if (field_spec.allow_zero_length) field->SetAllowZeroLength(true);
    if (field_spec.required) field->SetRequired(true);
    table->Fields().Append(field);
  }
  place = spec.place;
  database.TableDefs().Append(table);
}

void AddRows(Database& database, const description::TableSpec& spec, std::string& place) {
  if (spec.rows.empty()) return;
  place = spec.place;
  RecordsetPtr records = database.OpenRecordset(spec.name);
  for (const description::RowSpec& row : spec.rows) {
    place = row.place;
    records->AddNew();
    for (const description::CellSpec& cell : row.cells) {
      place = cell.place;
      records->Fields().Item(cell.field)->SetValue(cell.value);
    }
    place = row.place;
    records->Update();
  }
  records->Close();
}

void AddIndexes(Database& database, const description::TableSpec& spec, std::string& place) {
  if (spec.indexes.empty()) return;
  TableDefPtr table = database.TableDefs().Item(spec.name);
  for (const description::IndexSpec& index_spec : spec.indexes) {
    place = index_spec.place;
    IndexPtr index = table->CreateIndex(index_spec.name);
    index->SetUnique(index_spec.unique);
    index->SetPrimary(index_spec.primary);
    for (const std::string& field : index_spec.fields) {
      index->Fields().Append(index->CreateField(field));
    }
    table->Indexes().Append(index);
  }
}

void AddRelation(Database& database, const description::RelationSpec& spec, std::string& place) {
  place = spec.place;
  RelationPtr relation =
      database.CreateRelation(spec.name, spec.table, spec.foreign_table, spec.attributes);
  for (const description::RelationFieldSpec& pair : spec.fields) {
    FieldPtr field = relation->CreateField(pair.name);
    field->SetForeignName(pair.foreign_name);
    relation->Fields().Append(field);
  }
  database.Relations().Append(relation);
}

void Fill(Database& database, const DatabaseSpec& spec, std::string& place) {
  for (const auto& table : spec.tables) CreateTable(database, table, place);
  for (const auto& table : spec.tables) AddRows(database, table, place);
  for (const auto& table : spec.tables) AddIndexes(database, table, place);
  for (const auto& relation : spec.relations) AddRelation(database, relation, place);
  for (const auto& query : spec.queries) {
    place = query.place;
    database.CreateQueryDef(query.name, query.sql);
  }
}

}  // namespace

void CreateFromDescription(const std::string& host_path, const nlohmann::json& description,
                           const std::string& name) {
  Session session;
  CreateFromDescription(session, host_path, description, name);
}

void CreateFromDescription(Session& session, const std::string& host_path,
                           const nlohmann::json& description, const std::string& name) {
  const std::string file = name.empty() ? host_path : name;
  DatabaseSpec spec;
  try {
    spec = description::ReadDescription(description);
  } catch (const Error& e) {
    throw Error(e.Number(), e.Text(), file);
  }
  // The database is filled in one transaction, stored when it is closed
  // (not one wait for the disk per row). A schema on a server is also made
  // in that transaction: a create cut short (a killed run, a lost
  // connection) leaves no schema behind.
  GroupChangesUntilClose together(session);
  std::optional<GroupChangesUntilCommit> whole;
  if (IsServerAddress(host_path)) whole.emplace(session);
  // Fails with 3204 when the file exists; that file is not ours to remove.
  DatabasePtr database = CreateDatabase(session, host_path, name);
  std::string place = "description";
  try {
    Fill(*database, spec, place);
    database->Close();
    if (whole) whole->Commit();
  } catch (const Error& e) {
    try {
      database->Close();
    } catch (const Error&) {
      // The file goes in any case; the failure that matters is the first.
    }
    whole.reset();
    RemoveCreatedDatabase(host_path);
    throw Error(e.Number(), place + ": " + e.Text(), e.Context().empty() ? file : e.Context());
  } catch (...) {
    try {
      database->Close();
    } catch (const Error&) {
    }
    whole.reset();
    RemoveCreatedDatabase(host_path);
    throw;
  }
}

}  // namespace actualiz::engine
