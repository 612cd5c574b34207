// The fixed-table migration: adds one new, empty table with a fixed list of
// fields and single-field indexes to "clientes.mdb" of the data directory.
// "pomerd" and "histoprod" each run it with their own table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/actualiz.h"

namespace actualiz::app {

struct MigrationField {
  std::string name;
  std::int16_t type;  // an engine::FieldType code
  int size = 0;       // Text fields only
  bool allow_zero_length = false;
};

// An index of one field, in ascending order, not unique, not primary.
struct MigrationIndex {
  std::string name;
  std::string field;
};

struct FixedTable {
  std::string name;                     // compared exactly with the existing tables
  std::vector<MigrationField> fields;   // in creation order
  std::vector<MigrationIndex> indexes;  // in creation order
  std::string exists_message;           // shown when the table is already there
};

// Runs the migration in `window`:
//  1. Text4 becomes Dir1's path followed by "\clientes.mdb" (joined as text,
//     so a drive root gives two separators in a row);
//  2. when the database already has a table named exactly `table.name`, shows
//     `table.exists_message` as a critical message and returns, changing
//     nothing; except a table an interrupted run left (exactly these fields,
//     no rows, only some of these indexes), which goes on at step 4 with
//     the indexes it lacks;
//  3. creates the table with its fields and closes the database; a failure
//     up to here travels to the caller, with the database's path in its
//     text, and leaves the database as it was before the failing step;
//  4. reopens it and creates each index, passing over failures, so every
//     index is tried;
//  5. shows "Terminado" (information) when every index was created, or else
//     a warning naming each missing index with the engine's reason, and ends
//     the program (the window's End() unwinds with ProgramEnded).
void RunFixedTableMigration(Actualiz& window, const FixedTable& table);

}  // namespace actualiz::app
