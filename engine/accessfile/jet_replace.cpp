#include "engine/accessfile/jet_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "base/error.h"
#include "base/names.h"
#include "engine/accessfile/jet_catalog.h"
#include "engine/accessfile/jet_check.h"
#include "engine/accessfile/jet_create.h"
#include "engine/accessfile/jet_file.h"
#include "engine/accessfile/jet_writer.h"
#include "engine/accessfile/mdb_tools.h"
#include "engine/engine.h"
#include "platform/file_system.h"

namespace actualiz::engine::jet {

namespace fs = std::filesystem;

namespace {

// A failed check: which one, and what it found.
struct CheckFailed {
  std::string check;
  std::string what;
};

[[noreturn]] void Fail(const std::string& name, const std::string& why) {
  throw Error(err::kReadOnly,
              ErrorText(err::kReadOnly) + " '" + name + "' was not changed: " + why + ".",
              "'" + name + "'");
}

// The changed copy, written beside the original under a copy leftover's
// name and locked, so that a sweep takes it only once a kill left it.
void WriteCopy(platform::FileBuiltBeside& copy, const std::string& original,
               const std::vector<std::uint8_t>& bytes, const std::string& name) {
  struct stat st {};
  const mode_t mode = ::stat(original.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  const int fd = ::open(copy.Path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) Fail(name, "cannot make a copy beside it: " + std::string(std::strerror(errno)));
  bool ok = ::fchmod(fd, mode) == 0;
  for (std::size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  const std::string why = std::strerror(errno);
  ok = ::close(fd) == 0 && ok;
  if (!ok) Fail(name, "cannot write the copy beside it: " + why);
  copy.Lock();
}

const JetTable* Find(const JetCatalog& catalog, const std::string& table) {
  for (const JetTable& t : catalog.tables) {
    if (SameNameIgnoringCase(t.info.name, table)) return &t;
  }
  return nullptr;
}

const TableChange* ChangeOf(const std::vector<TableChange>& changes, const std::string& table) {
  for (const TableChange& change : changes) {
    if (SameNameIgnoringCase(change.table, table)) return &change;
  }
  return nullptr;
}

// Creating a table adds its rows to the catalogue (MSysObjects) and to the
// permissions (MSysACEs): there every old row must stay, and rows be added.
bool GainsRowsOfCreatedTables(const std::string& table, const std::vector<TableChange>& changes) {
  const bool creates =
      std::any_of(changes.begin(), changes.end(), [](const TableChange& c) { return c.created; });
  return creates &&
         (SameNameIgnoringCase(table, "MSysObjects") || SameNameIgnoringCase(table, "MSysACEs"));
}

template <class Rows>
bool KeepsEveryRowAndGains(const Rows& before, const Rows& after) {
  return after.size() > before.size() &&
         std::all_of(before.begin(), before.end(), [&](const auto& row) {
           return std::find(after.begin(), after.end(), row) != after.end();
         });
}

// Whether `table` is one the changes add fields to (a field's Required and
// AllowZeroLength are written to its catalogue row's property value).
bool GainsFields(const std::vector<TableChange>& changes, std::string_view table) {
  return std::any_of(changes.begin(), changes.end(), [&](const TableChange& c) {
    return !c.added.empty() && SameNameIgnoringCase(c.table, table);
  });
}

// Position of column `name` in `names`; `names.size()` when it is not there.
template <class Names, class NameOf>
std::size_t Position(const Names& names, std::string_view name, NameOf name_of) {
  std::size_t at = 0;
  while (at < names.size() && name_of(names[at]) != name) ++at;
  return at;
}

// The catalogue's rows with the property value (LvProp) of each changed
// table blanked: that value changes with the fields' properties, which the
// catalogue check proves; every other byte of the row must stay.
std::vector<JetRow> WithoutChangedProperties(std::vector<JetRow> rows, const JetTableDef& def,
                                             const std::vector<TableChange>& changes) {
  const auto name_of = [](const JetColumn& c) -> const std::string& { return c.name; };
  const std::size_t name = Position(def.columns, "Name", name_of);
  const std::size_t properties = Position(def.columns, "LvProp", name_of);
  for (JetRow& row : rows) {
    if (name >= row.size() || properties >= row.size()) continue;
    const auto* text = std::get_if<std::string>(&row[name].variant());
    if (text && GainsFields(changes, *text)) row[properties] = Value();
  }
  return rows;
}

// The same for what mdb-export reads of the catalogue (its first record
// names the columns).
std::vector<std::vector<std::string>> WithoutChangedProperties(
    std::vector<std::vector<std::string>> rows, const std::vector<TableChange>& changes) {
  if (rows.empty()) return rows;
  const auto same = [](const std::string& c) -> const std::string& { return c; };
  const std::size_t name = Position(rows[0], "Name", same);
  const std::size_t properties = Position(rows[0], "LvProp", same);
  for (std::size_t i = 1; i < rows.size(); ++i) {
    if (name >= rows[i].size() || properties >= rows[i].size()) continue;
    if (GainsFields(changes, rows[i][name])) rows[i][properties].clear();
  }
  return rows;
}

bool IsCatalogue(std::string_view table) { return SameNameIgnoringCase(table, "MSysObjects"); }

std::size_t CreatedCount(const std::vector<TableChange>& changes) {
  return static_cast<std::size_t>(std::count_if(changes.begin(), changes.end(),
                                                [](const TableChange& c) { return c.created; }));
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
void CheckLongValueMaps(const JetFile& after, const JetTableDef* before,
                        const JetTableDef& changed) {
  for (const JetColumn& column : changed.columns) {
    if (column.type != kMemo && column.type != kOle) continue;
    const bool is_new =
        !before || std::none_of(before->columns.begin(), before->columns.end(),
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

// The table as the changes must leave it described.
TableInfo Expected(const JetTable* old_table, const TableChange& change) {
  TableInfo expected;
  if (old_table) expected = old_table->info;
  if (change.created) {
    expected = TableInfo{};
    expected.name = change.table;
  }
  for (const ColumnInfo& column : change.added) expected.columns.push_back(DescribedColumn(column));
  return expected;
}

// Our reader, the catalogue: every old table as it was or as the changes
// make it, the created ones as made, relations and queries unchanged.
void CheckCatalog(const JetFile& before, const JetFile& after,
                  const std::vector<TableChange>& changes) {
  const JetCatalog old_catalog = ReadCatalog(before);
  const JetCatalog new_catalog = ReadCatalog(after);
  if (old_catalog.relations != new_catalog.relations)
    throw CheckFailed{"our reader", "the relations changed"};
  if (old_catalog.queries != new_catalog.queries)
    throw CheckFailed{"our reader", "the queries changed"};
  if (old_catalog.tables.size() + CreatedCount(changes) != new_catalog.tables.size())
    throw CheckFailed{"our reader", "the list of tables is not as the changes make it"};
  for (const JetTable& old_table : old_catalog.tables) {
    const JetTable* new_table = Find(new_catalog, old_table.info.name);
    if (!new_table) throw CheckFailed{"our reader", "table '" + old_table.info.name + "' is gone"};
    const TableChange* change = ChangeOf(changes, old_table.info.name);
    const TableInfo expected = change ? Expected(&old_table, *change) : old_table.info;
    if (new_table->info != expected) {
      throw CheckFailed{"our reader", "table '" + old_table.info.name + "' is not described as " +
                                          (change ? "the change makes it" : "it was")};
    }
  }
  for (const TableChange& change : changes) {
    if (!change.created) continue;
    const JetTable* made = Find(new_catalog, change.table);
    if (!made || made->info != Expected(nullptr, change)) {
      throw CheckFailed{"our reader", "table '" + change.table + "' is not described as made"};
    }
  }
}

// Our reader, the rows: every table MSysObjects lists reads in both files,
// with the same rows, but for the new fields of the changed tables; a
// created table reads with none.
void CheckOurReader(const JetFile& before, const JetFile& after,
                    const std::vector<TableChange>& changes) {
  CheckCatalog(before, after, changes);
  const auto old_pages = ListTablePages(before);
  const auto new_pages = ListTablePages(after);
  const std::map<std::string, std::uint32_t> old_by_name(old_pages.begin(), old_pages.end());
  std::size_t kept = 0;
  for (const auto& [name, page] : new_pages) {
    const auto old = old_by_name.find(name);
    const TableChange* change = ChangeOf(changes, name);
    if (old == old_by_name.end() ? !(change && change->created) : old->second != page) {
      throw CheckFailed{"our reader", "the list of tables is not as the changes make it"};
    }
    std::optional<JetTableDef> old_def;
    if (old != old_by_name.end()) {
      ++kept;
      old_def = before.ReadTableDef(page);
      old_def->name = name;
    }
    JetTableDef new_def = after.ReadTableDef(page);
    new_def.name = name;
    std::vector<JetRow> expected = old_def ? before.ReadRows(*old_def) : std::vector<JetRow>{};
    if (change) {
      expected = Widened(std::move(expected), change->added);
      CheckLongValueMaps(after, old_def ? &*old_def : nullptr, new_def);
    }
    std::vector<JetRow> rows = after.ReadRows(new_def);
    if (IsCatalogue(name)) {
      rows = WithoutChangedProperties(std::move(rows), new_def, changes);
      expected = WithoutChangedProperties(std::move(expected), new_def, changes);
    }
    const bool as_expected = GainsRowsOfCreatedTables(name, changes)
                                 ? KeepsEveryRowAndGains(expected, rows)
                                 : rows == expected;
    if (!as_expected) throw CheckFailed{"our reader", "the rows of table '" + name + "' changed"};
  }
  if (kept != old_pages.size()) {
    throw CheckFailed{"our reader", "the list of tables is not as the changes make it"};
  }
}

// mdbtools: the schema reads and names the new tables and fields; every
// table exports as it did, the changed ones with the new fields added and
// empty, a created one with its field names only.
void CheckMdbTools(const std::string& before, const std::string& after, const JetCatalog& catalog,
                   const std::vector<TableChange>& changes) {
  const auto schema = MdbSchema(after);
  if (!schema) throw CheckFailed{"mdbtools", "mdb-schema cannot read the changed file"};
  const auto listed = MdbTables(after);
  if (!listed) throw CheckFailed{"mdbtools", "mdb-tables cannot read the changed file"};
  for (const TableChange& change : changes) {
    if (change.created && schema->find("[" + change.table + "]") == std::string::npos) {
      throw CheckFailed{"mdbtools", "mdb-schema does not list table '" + change.table + "'"};
    }
    if (change.created &&
        std::find(listed->begin(), listed->end(), change.table) == listed->end()) {
      throw CheckFailed{"mdbtools", "mdb-tables does not list table '" + change.table + "'"};
    }
    for (const ColumnInfo& column : change.added) {
      if (schema->find("[" + column.name + "]") == std::string::npos) {
        throw CheckFailed{"mdbtools", "mdb-schema does not list field '" + column.name + "'"};
      }
    }
  }
  for (const JetTable& t : catalog.tables) {
    const TableChange* change = ChangeOf(changes, t.info.name);
    const bool created = change && change->created;
    const auto old_rows = created ? std::optional<std::vector<std::vector<std::string>>>(
                                        std::vector<std::vector<std::string>>{{}})
                                  : MdbExport(before, t.info.name);
    auto new_rows = MdbExport(after, t.info.name);
    if (!old_rows) continue;  // a table it could not read before the change either
    if (!new_rows) {
      throw CheckFailed{"mdbtools", "mdb-export cannot read table '" + t.info.name + "'"};
    }
    auto expected = *old_rows;
    if (IsCatalogue(t.info.name)) {
      expected = WithoutChangedProperties(std::move(expected), changes);
      *new_rows = WithoutChangedProperties(std::move(*new_rows), changes);
    }
    for (std::size_t i = 0; change && i < expected.size(); ++i) {
      for (const ColumnInfo& column : change->added) {
        expected[i].push_back(i == 0 ? column.name : column.type == dbBoolean ? "0" : "");
      }
    }
    const bool as_expected = GainsRowsOfCreatedTables(t.info.name, changes)
                                 ? KeepsEveryRowAndGains(expected, *new_rows)
                                 : *new_rows == expected;
    if (!as_expected) {
      throw CheckFailed{"mdbtools",
                        "mdb-export reads table '" + t.info.name + "' otherwise than expected"};
    }
  }
}

void CheckPages(const JetFile& after) {
  const std::vector<std::string> problems = CheckJetPages(after);
  if (!problems.empty()) throw CheckFailed{"page checks", problems.front()};
}

std::string Quoted(const std::vector<ColumnInfo>& columns) {
  std::string out;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    out += (i == 0 ? "'" : ", '") + columns[i].name + "'";
  }
  return out;
}

// "adding field 'X' to table 'T'", "creating table 'T' with fields 'A', 'B'".
std::string Described(const TableChange& change) {
  const std::string fields =
      (change.added.size() == 1 ? "field " : "fields ") + Quoted(change.added);
  if (change.created) {
    return "creating table '" + change.table + "'" +
           (change.added.empty() ? "" : " with " + fields);
  }
  return "adding " + fields + " to table '" + change.table + "'";
}

std::string Described(const std::vector<TableChange>& changes) {
  std::string out;
  for (const TableChange& change : changes) out += (out.empty() ? "" : "; ") + Described(change);
  return out;
}

// The checks, each failure a CheckFailed.
void CheckCopy(const std::string& host_path, const std::string& copy_path,
               const std::vector<std::uint8_t>& original, const std::string& name,
               const std::vector<TableChange>& changes) {
  std::unique_ptr<JetFile> after;
  JetCatalog catalog;
  try {
    const std::unique_ptr<JetFile> before = JetFile::FromBytes(original, name);
    after = JetFile::Open(copy_path, name);
    CheckOurReader(*before, *after, changes);
    catalog = ReadCatalog(*after);
  } catch (const Error& e) {
    throw CheckFailed{"our reader", e.Text()};
  }
  CheckMdbTools(host_path, copy_path, catalog, changes);
  CheckPages(*after);
}

}  // namespace

std::vector<std::uint8_t> ReadFileBytes(const std::string& host_path, const std::string& name) {
  std::ifstream in(host_path, std::ios::binary);
  if (!in) throw MakeError(err::kCannotOpen, {name}, "'" + name + "'");
  std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
  if (in.bad()) throw MakeError(err::kCannotOpen, {name}, "'" + name + "'");
  return bytes;
}

std::string AccessLockFileOf(const std::string& host_path) {
  const fs::path path(host_path);
  const bool accdb = SameNameIgnoringCase(path.extension().string(), ".accdb");
  for (const char* lock : {".ldb", ".LDB", ".laccdb", ".LACCDB"}) {
    if (accdb != SameNameIgnoringCase(lock, ".laccdb")) continue;
    fs::path candidate = path;
    candidate.replace_extension(lock);
    std::error_code ec;
    if (fs::exists(fs::symlink_status(candidate, ec))) return candidate.string();
  }
  return {};
}

void ReplaceChecked(const std::string& host_path, const std::string& name,
                    const std::vector<std::uint8_t>& original,
                    const std::vector<std::uint8_t>& changed,
                    const std::vector<TableChange>& changes, const CopyHook& before_checks) {
  const std::vector<std::string> missing = MissingMdbTools();
  if (!missing.empty()) {
    Fail(name, "the change is checked with mdbtools, and " + missing.front() +
                   " is not installed; install Debian's package mdbtools");
  }
  if (const std::string lock = AccessLockFileOf(host_path); !lock.empty()) {
    Fail(name, "it is open in Access (its lock file " + fs::path(lock).filename().string() +
                   " is beside it); close it there, or remove the lock file if Access is not "
                   "running");
  }
  platform::FileBuiltBeside copy(host_path);
  WriteCopy(copy, host_path, changed, name);
  if (before_checks) before_checks(copy.Path());
  try {
    CheckCopy(host_path, copy.Path(), original, name, changes);
  } catch (const CheckFailed& failed) {
    Fail(name, Described(changes) + " failed the check by " + failed.check + " (" + failed.what +
                   "); the file is unchanged");
  }
  // Read last, just before the rename: a file another program wrote since
  // the changes were made on what it held then must not be replaced.
  if (ReadFileBytes(host_path, name) != original) {
    Fail(name, "another program changed it while the update ran; the changes were not made");
  }
  try {
    copy.PlaceOver();
  } catch (const Error& e) {
    Fail(name, "the checked copy could not replace it: " + e.Text());
  }
}

void AddColumnsChecked(const std::string& host_path, const std::string& name,
                       const std::string& table, const std::vector<ColumnInfo>& columns,
                       const CopyHook& before_checks) {
  const std::vector<std::uint8_t> original = ReadFileBytes(host_path, name);
  std::vector<std::uint8_t> bytes = original;
  for (const ColumnInfo& column : columns) AddColumn(bytes, name, table, column);
  TableChange change;
  change.table = table;
  change.added = columns;
  ReplaceChecked(host_path, name, original, bytes, {change}, before_checks);
}

void CreateTableChecked(const std::string& host_path, const std::string& name,
                        const TableInfo& table, const CopyHook& before_checks) {
  const std::vector<std::uint8_t> original = ReadFileBytes(host_path, name);
  std::vector<std::uint8_t> bytes = original;
  CreateTable(bytes, name, table);
  TableChange change;
  change.table = table.name;
  change.added = table.columns;
  change.created = true;
  ReplaceChecked(host_path, name, original, bytes, {change}, before_checks);
}

}  // namespace actualiz::engine::jet
