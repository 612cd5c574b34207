#include "engine/accessfile/jet_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "base/error.h"
#include "base/names.h"
#include "engine/accessfile/jet_catalog.h"
#include "engine/accessfile/jet_check.h"
#include "engine/accessfile/jet_create.h"
#include "engine/accessfile/jet_file.h"
#include "engine/accessfile/jet_writer.h"
#include "engine/accessfile/mdb_tools.h"
#include "engine/engine.h"

namespace actualiz::engine::jet {

namespace fs = std::filesystem;

namespace {

// A failed check: which one, and what it found.
struct CheckFailed {
  std::string check;
  std::string what;
};

// The changed copy beside the original; removed unless kept.
class Copy {
 public:
  Copy(const std::string& original, const std::vector<std::uint8_t>& bytes,
       const std::string& name) {
    const fs::path at(original);
    std::string pattern =
        (at.parent_path() / ("." + at.filename().string() + ".actualiz-XXXXXX")).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) Fail(name, "cannot make a copy beside it: " + std::string(std::strerror(errno)));
    path_ = pattern;
    struct stat st {};
    bool ok = ::stat(original.c_str(), &st) == 0 && ::fchmod(fd, st.st_mode & 07777) == 0;
    for (std::size_t done = 0; ok && done < bytes.size();) {
      const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0;
      if (ok) done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    const std::string why = std::strerror(errno);
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
      ::unlink(path_.c_str());  // the destructor does not run for a copy never made
      Fail(name, "cannot write the copy beside it: " + why);
    }
  }
  ~Copy() {
    if (!kept_) ::unlink(path_.c_str());
  }
  const std::string& Path() const { return path_; }
  void Keep() { kept_ = true; }

  [[noreturn]] static void Fail(const std::string& name, const std::string& why) {
    throw Error(err::kReadOnly,
                ErrorText(err::kReadOnly) + " '" + name + "' was not changed: " + why + ".",
                "'" + name + "'");
  }

 private:
  std::string path_;
  bool kept_ = false;
};

std::vector<std::uint8_t> ReadAll(const std::string& path, const std::string& name) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw MakeError(err::kCannotOpen, {name}, "'" + name + "'");
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const JetTable* Find(const JetCatalog& catalog, const std::string& table) {
  for (const JetTable& t : catalog.tables) {
    if (SameNameIgnoringCase(t.info.name, table)) return &t;
  }
  return nullptr;
}

// What the changed table's rows must read as: each old row with the new
// fields empty (a Boolean's bit clear).
std::vector<JetRow> Widened(std::vector<JetRow> rows, const std::vector<ColumnInfo>& columns) {
  for (JetRow& row : rows) {
    for (const ColumnInfo& column : columns) {
      if (column.type == dbBoolean) {
        row.emplace_back(false);
      } else {
        row.emplace_back();
      }
    }
  }
  return rows;
}

// Every Memo and OLE column of the changed table has the maps of its long
// values; the new ones read, and are empty.
void CheckLongValueMaps(const JetFile& after, const JetTableDef& before,
                        const JetTableDef& changed) {
  for (const JetColumn& column : changed.columns) {
    if (column.type != kMemo && column.type != kOle) continue;
    const bool is_new = std::none_of(before.columns.begin(), before.columns.end(),
                                     [&](const JetColumn& c) { return c.number == column.number; });
    const auto maps = std::find_if(
        changed.long_value_maps.begin(), changed.long_value_maps.end(),
        [&](const JetTableDef::LongValueMaps& m) { return m.column == column.number; });
    if (maps == changed.long_value_maps.end()) {
      if (!is_new) continue;  // as Access left it
      throw CheckFailed{"our reader", "field '" + column.name + "' has no maps of its long values"};
    }
    if (is_new &&
        (!after.UsedPages(maps->pages).empty() || !after.UsedPages(maps->free_pages).empty())) {
      throw CheckFailed{"our reader", "the maps of field '" + column.name + "' are not empty"};
    }
  }
}

// Our reader: every table MSysObjects lists reads in both files, with the
// same rows, but for the new fields of the changed table.
void CheckOurReader(const JetFile& before, const JetFile& after, const std::string& table,
                    const std::vector<ColumnInfo>& columns) {
  const JetCatalog old_catalog = ReadCatalog(before);
  const JetCatalog new_catalog = ReadCatalog(after);
  if (old_catalog.relations != new_catalog.relations)
    throw CheckFailed{"our reader", "the relations changed"};
  if (old_catalog.queries != new_catalog.queries)
    throw CheckFailed{"our reader", "the queries changed"};
  if (old_catalog.tables.size() != new_catalog.tables.size())
    throw CheckFailed{"our reader", "the list of tables changed"};
  for (const JetTable& old_table : old_catalog.tables) {
    const JetTable* new_table = Find(new_catalog, old_table.info.name);
    if (!new_table) throw CheckFailed{"our reader", "table '" + old_table.info.name + "' is gone"};
    TableInfo expected = old_table.info;
    const bool changed = SameNameIgnoringCase(old_table.info.name, table);
    if (changed) {
      for (const ColumnInfo& column : columns) expected.columns.push_back(DescribedColumn(column));
    }
    if (new_table->info != expected) {
      throw CheckFailed{"our reader", "table '" + old_table.info.name + "' is not described as " +
                                          (changed ? "the change makes it" : "it was")};
    }
  }
  const auto old_pages = ListTablePages(before);
  const auto new_pages = ListTablePages(after);
  if (old_pages != new_pages) throw CheckFailed{"our reader", "the list of tables changed"};
  for (const auto& [name, page] : old_pages) {
    JetTableDef old_def = before.ReadTableDef(page);
    JetTableDef new_def = after.ReadTableDef(page);
    old_def.name = new_def.name = name;
    std::vector<JetRow> expected = before.ReadRows(old_def);
    if (SameNameIgnoringCase(name, table)) {
      expected = Widened(std::move(expected), columns);
      CheckLongValueMaps(after, old_def, new_def);
    }
    if (after.ReadRows(new_def) != expected) {
      throw CheckFailed{"our reader", "the rows of table '" + name + "' changed"};
    }
  }
}

// mdbtools: the schema reads and names the new fields; every table exports
// as it did, the changed one with the new fields added and empty.
void CheckMdbTools(const std::string& before, const std::string& after, const JetCatalog& catalog,
                   const std::string& table, const std::vector<ColumnInfo>& columns) {
  const auto schema = MdbSchema(after);
  if (!schema) throw CheckFailed{"mdbtools", "mdb-schema cannot read the changed file"};
  for (const ColumnInfo& column : columns) {
    if (schema->find("[" + column.name + "]") == std::string::npos) {
      throw CheckFailed{"mdbtools", "mdb-schema does not list field '" + column.name + "'"};
    }
  }
  for (const JetTable& t : catalog.tables) {
    const auto old_rows = MdbExport(before, t.info.name);
    const auto new_rows = MdbExport(after, t.info.name);
    if (!old_rows) continue;  // a table it could not read before the change either
    if (!new_rows) {
      throw CheckFailed{"mdbtools", "mdb-export cannot read table '" + t.info.name + "'"};
    }
    auto expected = *old_rows;
    if (SameNameIgnoringCase(t.info.name, table)) {
      for (std::size_t i = 0; i < expected.size(); ++i) {
        for (const ColumnInfo& column : columns) {
          expected[i].push_back(i == 0 ? column.name : column.type == dbBoolean ? "0" : "");
        }
      }
    }
    if (*new_rows != expected) {
      throw CheckFailed{"mdbtools",
                        "mdb-export reads table '" + t.info.name + "' otherwise than expected"};
    }
  }
}

void CheckPages(const JetFile& after) {
  const std::vector<std::string> problems = CheckJetPages(after);
  if (!problems.empty()) throw CheckFailed{"page checks", problems.front()};
}

std::string FieldNames(const std::vector<ColumnInfo>& columns) {
  std::string out = columns.size() == 1 ? "field " : "fields ";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    out += (i == 0 ? "'" : ", '") + columns[i].name + "'";
  }
  return out;
}

void SyncFolder(const std::string& path, const std::string& name) {
  const std::string folder = fs::path(path).parent_path().string();
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0 || ::fsync(fd) != 0) {
    const std::string why = std::strerror(errno);
    if (fd >= 0) ::close(fd);
    throw Error(err::kReadOnly,
                ErrorText(err::kReadOnly) + " '" + name +
                    "' was changed, but its folder could not be synced to disk: " + why + ".",
                "'" + name + "'");
  }
  ::close(fd);
}

// Our reader, after a table was created: the old tables and rows as they
// were, the new table with exactly its columns and no rows.
void CheckCreatedByOurReader(const JetFile& before, const JetFile& after, const TableInfo& table) {
  const JetCatalog old_catalog = ReadCatalog(before);
  const JetCatalog new_catalog = ReadCatalog(after);
  if (old_catalog.relations != new_catalog.relations)
    throw CheckFailed{"our reader", "the relations changed"};
  if (old_catalog.queries != new_catalog.queries)
    throw CheckFailed{"our reader", "the queries changed"};
  if (new_catalog.tables.size() != old_catalog.tables.size() + 1)
    throw CheckFailed{"our reader", "the list of tables is not the old one and the new table"};
  const JetTable* created = Find(new_catalog, table.name);
  if (!created) throw CheckFailed{"our reader", "the new table is not listed"};
  TableInfo expected{table.name, {}, {}};
  for (const ColumnInfo& column : table.columns)
    expected.columns.push_back(DescribedColumn(column));
  if (created->info != expected) {
    throw CheckFailed{"our reader", "the new table is not described with exactly its fields"};
  }
  if (!after.ReadRows(created->def).empty()) {
    throw CheckFailed{"our reader", "the new table holds rows"};
  }
  for (const JetTable& old_table : old_catalog.tables) {
    const JetTable* new_table = Find(new_catalog, old_table.info.name);
    if (!new_table || new_table->info != old_table.info) {
      throw CheckFailed{"our reader",
                        "table '" + old_table.info.name + "' is not described as it was"};
    }
  }
  const auto old_pages = ListTablePages(before);
  for (const auto& [listed, page] : old_pages) {
    JetTableDef old_def = before.ReadTableDef(page);
    JetTableDef new_def = after.ReadTableDef(page);
    old_def.name = new_def.name = listed;
    // The catalogue and the permissions hold the new table's rows; every
    // other table holds what it held.
    if (SameNameIgnoringCase(listed, "MSysObjects") || SameNameIgnoringCase(listed, "MSysACEs")) {
      continue;
    }
    if (after.ReadRows(new_def) != before.ReadRows(old_def)) {
      throw CheckFailed{"our reader", "the rows of table '" + listed + "' changed"};
    }
  }
}

// mdbtools, after a table was created: it lists the table and its fields,
// exports it as a header line alone, and every other table as before.
void CheckCreatedByMdbTools(const std::string& before, const std::string& after,
                            const JetCatalog& catalog, const TableInfo& table) {
  const auto listed = MdbTables(after);
  if (!listed || std::find(listed->begin(), listed->end(), table.name) == listed->end()) {
    throw CheckFailed{"mdbtools", "mdb-tables does not list the new table"};
  }
  const auto schema = MdbSchema(after);
  if (!schema || schema->find("[" + table.name + "]") == std::string::npos) {
    throw CheckFailed{"mdbtools", "mdb-schema does not list the new table"};
  }
  for (const ColumnInfo& column : table.columns) {
    if (schema->find("[" + column.name + "]") == std::string::npos) {
      throw CheckFailed{"mdbtools", "mdb-schema does not list field '" + column.name + "'"};
    }
  }
  std::vector<std::string> header;
  for (const ColumnInfo& column : table.columns) header.push_back(column.name);
  const auto exported = MdbExport(after, table.name);
  if (!exported || *exported != std::vector<std::vector<std::string>>{header}) {
    throw CheckFailed{"mdbtools", "mdb-export of the new table is not its header line alone"};
  }
  for (const JetTable& t : catalog.tables) {
    if (SameNameIgnoringCase(t.info.name, table.name)) continue;
    const auto old_rows = MdbExport(before, t.info.name);
    if (!old_rows) continue;  // a table it could not read before the change either
    const auto new_rows = MdbExport(after, t.info.name);
    if (!new_rows) {
      throw CheckFailed{"mdbtools", "mdb-export cannot read table '" + t.info.name + "'"};
    }
    if (*new_rows == *old_rows) continue;
    // The catalogue and the permissions gain the new table's rows and keep
    // every row they had.
    const bool gains = SameNameIgnoringCase(t.info.name, "MSysObjects") ||
                       SameNameIgnoringCase(t.info.name, "MSysACEs");
    const bool kept = std::all_of(old_rows->begin(), old_rows->end(), [&](const auto& row) {
      return std::find(new_rows->begin(), new_rows->end(), row) != new_rows->end();
    });
    if (!gains || !kept || new_rows->size() <= old_rows->size()) {
      throw CheckFailed{"mdbtools",
                        "mdb-export reads table '" + t.info.name + "' otherwise than before"};
    }
  }
}

// Writes `bytes` to a copy beside `host_path`, runs `check` on it and, when
// it passes, renames the copy over the file; `change` says what was done,
// in the failure.
void KeepCheckedCopy(const std::string& host_path, const std::string& name,
                     const std::vector<std::uint8_t>& bytes, const CopyHook& before_checks,
                     const std::string& change,
                     const std::function<void(const std::string& copy_path)>& check) {
  const std::vector<std::string> missing = MissingMdbTools();
  if (!missing.empty()) {
    Copy::Fail(name, "the change is checked with mdbtools, and " + missing.front() +
                         " is not installed; install Debian's package mdbtools");
  }
  Copy copy(host_path, bytes, name);
  if (before_checks) before_checks(copy.Path());
  try {
    check(copy.Path());
  } catch (const CheckFailed& failed) {
    Copy::Fail(name, change + " failed the check by " + failed.check + " (" + failed.what +
                         "); the file is unchanged");
  }
  if (::rename(copy.Path().c_str(), host_path.c_str()) != 0) {
    Copy::Fail(name, "the checked copy could not replace it: " + std::string(std::strerror(errno)));
  }
  copy.Keep();
  SyncFolder(host_path, name);
}

}  // namespace

void AddColumnsChecked(const std::string& host_path, const std::string& name,
                       const std::string& table, const std::vector<ColumnInfo>& columns,
                       const CopyHook& before_checks) {
  std::vector<std::uint8_t> bytes = ReadAll(host_path, name);
  const std::unique_ptr<JetFile> before = JetFile::FromBytes(bytes, name);
  for (const ColumnInfo& column : columns) AddColumn(bytes, name, table, column);
  const std::vector<std::string> missing = MissingMdbTools();
  if (!missing.empty()) {
    Copy::Fail(name, "the change is checked with mdbtools, and " + missing.front() +
                         " is not installed; install Debian's package mdbtools");
  }
  Copy copy(host_path, bytes, name);
  if (before_checks) before_checks(copy.Path());
  try {
    std::unique_ptr<JetFile> after;
    JetCatalog catalog;
    try {
      after = JetFile::Open(copy.Path(), name);
      CheckOurReader(*before, *after, table, columns);
      catalog = ReadCatalog(*after);
    } catch (const Error& e) {
      throw CheckFailed{"our reader", e.Text()};
    }
    CheckMdbTools(host_path, copy.Path(), catalog, table, columns);
    CheckPages(*after);
  } catch (const CheckFailed& failed) {
    Copy::Fail(name, "adding " + FieldNames(columns) + " to table '" + table +
                         "' failed the check by " + failed.check + " (" + failed.what +
                         "); the file is unchanged");
  }
  if (::rename(copy.Path().c_str(), host_path.c_str()) != 0) {
    Copy::Fail(name, "the checked copy could not replace it: " + std::string(std::strerror(errno)));
  }
  copy.Keep();
  SyncFolder(host_path, name);
}

void CreateTableChecked(const std::string& host_path, const std::string& name,
                        const TableInfo& table, const CopyHook& before_checks) {
  std::vector<std::uint8_t> bytes = ReadAll(host_path, name);
  const std::unique_ptr<JetFile> before = JetFile::FromBytes(bytes, name);
  CreateTable(bytes, name, table);
  KeepCheckedCopy(host_path, name, bytes, before_checks, "creating table '" + table.name + "'",
                  [&](const std::string& copy_path) {
                    std::unique_ptr<JetFile> after;
                    JetCatalog catalog;
                    try {
                      after = JetFile::Open(copy_path, name);
                      CheckCreatedByOurReader(*before, *after, table);
                      catalog = ReadCatalog(*after);
                    } catch (const Error& e) {
                      throw CheckFailed{"our reader", e.Text()};
                    }
                    CheckCreatedByMdbTools(host_path, copy_path, catalog, table);
                    CheckPages(*after);
                  });
}

}  // namespace actualiz::engine::jet
