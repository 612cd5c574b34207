// A change to an Access file made safely: on a copy beside the file, kept
// only when the copy passes every check, then moved over the original in
// one rename. Otherwise the original is left as it was and the failure
// names the check that failed.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/storage.h"

namespace actualiz::engine::jet {

// Called with the path of the changed copy before it is checked; tests use
// it to damage the copy.
using CopyHook = std::function<void(const std::string& copy_path)>;

// Adds `columns`, in order, to table `table` of the Jet 4 or ACE file at
// `host_path` (named `name` in errors), as AddColumn (jet_writer.h) does,
// then checks the copy:
//   our reader   every table and row reads back; the changed table has its
//                old columns and the new ones, every old row unchanged and
//                the new fields Null (false for a Boolean); the rest of the
//                catalogue (tables, relations, queries) is unchanged;
//   mdbtools     mdb-schema reads the schema and lists the new fields;
//                mdb-export reads every table, the same rows as from the
//                original, the changed table's with the new fields empty;
//   page checks  CheckJetPages lists nothing.
// Fails with 3027 naming the file, the table and the check that failed, or
// naming what to install when mdbtools is missing; then the original is
// untouched and the copy removed. Fails as AddColumn does before any copy
// is made.
void AddColumnsChecked(const std::string& host_path, const std::string& name,
                       const std::string& table, const std::vector<ColumnInfo>& columns,
                       const CopyHook& before_checks = {});

// Creates table `table` (its name and columns, no indexes) in the Jet 4 or
// ACE file at `host_path` (named `name` in errors), as CreateTable
// (jet_create.h) does, then checks the copy:
//   our reader   every table reads; the new one is listed with exactly its
//                columns and no rows; every other table, its rows, the
//                relations and queries are as before;
//   mdbtools     mdb-tables and mdb-schema list the new table, mdb-schema
//                each of its fields; mdb-export of it gives the header line
//                only, and of every other table what it gave before;
//   page checks  CheckJetPages lists nothing.
// Fails as AddColumnsChecked does, naming the table and the check.
void CreateTableChecked(const std::string& host_path, const std::string& name,
                        const TableInfo& table, const CopyHook& before_checks = {});

}  // namespace actualiz::engine::jet
