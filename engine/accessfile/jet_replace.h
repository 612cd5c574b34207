// A change to an Access file made safely: on a copy beside the file, kept
// only when the copy passes every check, then moved over the original in
// one rename. Otherwise the original is left as it was and the failure
// names the check that failed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/storage.h"

namespace actualiz::engine::jet {

// Called with the path of the changed copy before it is checked; tests use
// it to damage the copy.
using CopyHook = std::function<void(const std::string& copy_path)>;

// What the changes did to one table, for the checks: the fields added to
// it, in order, and whether they made the table.
struct TableChange {
  std::string table;
  std::vector<ColumnInfo> added;
  bool created = false;
};

// Puts `changed` in place of the Jet 4 or ACE file at `host_path` (named
// `name` in errors): `original` is the file as read before the changes,
// `changed` the same bytes with `changes` made to them. The copy is written
// beside the file under a copy leftover's name (platform/file_system.h), so
// a killed run's copy is swept, and it is checked before the rename:
//   our reader   every table and row reads back; each changed table has its
//                old columns and the added ones, every old row unchanged and
//                the added fields Null (false for a Boolean); a created
//                table has exactly its columns and no rows; the rest of the
//                catalogue (tables, relations, queries) is unchanged;
//   mdbtools     mdb-schema reads the schema and lists the new fields and
//                tables; mdb-export reads every table, the same rows as from
//                the original, the changed tables' with the new fields empty;
//   page checks  CheckJetPages lists nothing.
// Fails with 3027 naming the file, the change and the check that failed, or
// naming what to install when mdbtools is missing, or when the file on disk
// is no longer `original` (another program wrote it meanwhile); then the
// file is untouched and the copy removed.
void ReplaceChecked(const std::string& host_path, const std::string& name,
                    const std::vector<std::uint8_t>& original,
                    const std::vector<std::uint8_t>& changed,
                    const std::vector<TableChange>& changes, const CopyHook& before_checks = {});

// Adds `columns`, in order, to table `table` of the file at `host_path`, as
// AddColumn (jet_writer.h) does, and puts the result in place checked as
// ReplaceChecked does. Fails as AddColumn does before any copy is made.
void AddColumnsChecked(const std::string& host_path, const std::string& name,
                       const std::string& table, const std::vector<ColumnInfo>& columns,
                       const CopyHook& before_checks = {});

// Creates table `table` (its name and columns, no indexes) in the file at
// `host_path`, as CreateTable (jet_create.h) does, and puts the result in
// place checked as ReplaceChecked does: the new table is listed by our
// reader and by mdb-tables and mdb-schema with exactly its fields and no
// rows, MSysObjects and MSysACEs keep every row and gain the new table's.
// Fails as CreateTable does before any copy is made.
void CreateTableChecked(const std::string& host_path, const std::string& name,
                        const TableInfo& table, const CopyHook& before_checks = {});

// The file's bytes; 3049 naming `name` when it cannot be read.
std::vector<std::uint8_t> ReadFileBytes(const std::string& host_path, const std::string& name);

// The lock file Access keeps beside an open database ("NAME.ldb" for a
// ".mdb", "NAME.laccdb" for a ".accdb"), when there is one: the file is
// open in Access, or was when Access stopped.
std::string AccessLockFileOf(const std::string& host_path);

}  // namespace actualiz::engine::jet
