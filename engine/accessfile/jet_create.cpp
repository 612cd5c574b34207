#include "engine/accessfile/jet_create.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>

#include "base/error.h"
#include "base/names.h"
#include "engine/accessfile/jet_catalog.h"
#include "engine/accessfile/jet_file.h"
#include "engine/accessfile/jet_properties.h"
#include "engine/accessfile/jet_writer.h"
#include "engine/jet_errors.h"

namespace actualiz::engine::jet {

namespace {

constexpr std::uint32_t kCatalogPage = 2;  // MSysObjects' definition
constexpr std::uint32_t kGlobalMapPage = 1;
constexpr std::uint8_t kDataPage = 0x01;
constexpr std::uint8_t kTableDefPage = 0x02;
constexpr std::uint8_t kIndexLeafPage = 0x04;
constexpr std::uint8_t kUserTable = 0x4E;  // the table kind byte (0x28) of every user table
constexpr std::size_t kMostFields = 255;

// A Jet 4 / ACE data page: free space, owner, row count and row table.
constexpr std::size_t kFreeSpace = 0x02;
constexpr std::size_t kOwner = 0x04;
constexpr std::size_t kRowCount = 0x0C;
constexpr std::size_t kRowTable = 0x0E;
constexpr std::uint16_t kRowOffsetMask = 0x1FFF;
constexpr std::size_t kMaxRowsOnPage = 255;  // an index entry keeps the row in one byte
constexpr std::size_t kMapRow = 69;          // kind, first page, a bitmap of 512 pages

// A table definition's header.
constexpr std::size_t kDefLength = 0x08;
constexpr std::size_t kDefVersion = 0x0C;  // as MSysObjects' definition has it
constexpr std::size_t kDefRowCount = 0x10;
constexpr std::size_t kDefAutoIncrement = 0x18;
constexpr std::size_t kDefKind = 0x28;
constexpr std::size_t kDefUsageMap = 0x37;
constexpr std::size_t kDefFreeMap = 0x3B;
constexpr std::size_t kDefEnd = 0x3F;  // real index heads, then columns; none here
constexpr std::size_t kFreeSpaceReserve = 8;

// An index leaf page: free space, previous and next leaf, shared prefix,
// the marks of where entries end, the entries.
constexpr std::size_t kLeafPrevious = 0x08;
constexpr std::size_t kLeafNext = 0x0C;
constexpr std::size_t kLeafPrefix = 0x14;
constexpr std::size_t kEntryMarks = 0x1B;
constexpr std::size_t kFirstEntry = 0x1E0;
constexpr std::uint8_t kKeyPresent = 0x7F;  // first byte of each ascending key column

// The Tables container's row in MSysObjects.
constexpr const char* kTablesContainer = "Tables";
constexpr std::int64_t kContainerType = 3;
constexpr std::int64_t kTableType = 1;
// The access mask of the one inheritable permission of the Tables container
// that the samples' user tables never have.
constexpr std::int64_t kCreatorMask = 983294;

using Values = std::map<std::uint16_t, std::vector<std::uint8_t>>;

std::uint16_t Get16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t Get32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return Get16(b, at) | (static_cast<std::uint32_t>(Get16(b, at + 2)) << 16);
}
void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, static_cast<std::uint16_t>(v));
  Put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

// The bytes a character adds to a text key in the catalogue's index, in
// the two orders its Name column is kept in: the general order of Jet 4 and
// Access 2007 files (sort order 0x0409, version 0) and the general order of
// Access 2010 files (version 1). Only the characters the sample files'
// indexes show are known; case does not count in either.
std::optional<std::vector<std::uint8_t>> LegacyGeneralKey(char c) {
  static constexpr std::uint8_t kLetters[26] = {
      0x4A, 0x4C, 0x4D, 0x4F, 0x51, 0x53, 0x55, 0x57, 0x59, 0x5B, 0x5C, 0x5E, 0x60,
      0x62, 0x64, 0x66, 0x68, 0x69, 0x6B, 0x6D, 0x6F, 0x71, 0x73, 0x75, 0x76, 0x78};
  if (c >= '0' && c <= '9') return std::vector<std::uint8_t>{std::uint8_t(0x36 + 2 * (c - '0'))};
  if (c >= 'a' && c <= 'z') return std::vector<std::uint8_t>{kLetters[c - 'a']};
  if (c >= 'A' && c <= 'Z') return std::vector<std::uint8_t>{kLetters[c - 'A']};
  if (c == ' ') return std::vector<std::uint8_t>{0x07};
  if (c == '_') return std::vector<std::uint8_t>{0x2B, 0x03};
  return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> General2010Key(char c) {
  // 0 for the letters no sample shows (w and z).
  static constexpr std::uint8_t kLetters[26] = {
      0x02, 0x09, 0x0A, 0x1A, 0x21, 0x23, 0x25, 0x2C, 0x32, 0x35, 0x36, 0x48, 0x51,
      0x70, 0x7C, 0x7E, 0x89, 0x8A, 0x91, 0x99, 0x9F, 0xA2, 0x00, 0xA6, 0xA7, 0x00};
  if (c == '0') return std::vector<std::uint8_t>{0x0D, 0x17};
  if (c >= '1' && c <= '9') return std::vector<std::uint8_t>{0x0D, std::uint8_t(0x18 + (c - '0'))};
  const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  if (lower >= 'a' && lower <= 'z' && kLetters[lower - 'a'] != 0) {
    return std::vector<std::uint8_t>{0x0E, kLetters[lower - 'a']};
  }
  if (c == '_') return std::vector<std::uint8_t>{0x07, 0x44};
  return std::nullopt;
}

// A date as Access stores it: days since 30 December 1899, local time.
double NowAsAccessDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  namespace chrono = std::chrono;
  const chrono::sys_days today = chrono::year_month_day{
      chrono::year{local.tm_year + 1900}, chrono::month{static_cast<unsigned>(local.tm_mon + 1)},
      chrono::day{static_cast<unsigned>(local.tm_mday)}};
  const chrono::sys_days epoch =
      chrono::year_month_day{chrono::year{1899}, chrono::December, chrono::day{30}};
  const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
  return static_cast<double>((today - epoch).count()) + seconds / 86400.0;
}

std::vector<std::uint8_t> LittleEndian(std::uint64_t v, std::size_t n) {
  std::vector<std::uint8_t> out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(v >> (8 * i));
  return out;
}

std::vector<std::uint8_t> Utf16(const std::string& ascii) {
  std::vector<std::uint8_t> out;
  for (char c : ascii) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(0);
  }
  return out;
}

// One row of a Jet 4 table as its data pages hold it: the column count,
// the fixed data, the variable data, their offsets last first, the
// variable count and the null mask (a bit set for each value present).
// `values` holds the bytes of each present column by column number.
std::vector<std::uint8_t> EncodeRow(const JetTableDef& def, const Values& values) {
  std::size_t fixed_size = 0;
  std::size_t variable_count = 0;
  for (const JetColumn& c : def.columns) {
    if (c.Fixed()) {
      fixed_size = std::max<std::size_t>(fixed_size, c.fixed_offset + c.length);
    } else {
      variable_count = std::max<std::size_t>(variable_count, c.var_index + 1u);
    }
  }
  std::vector<std::uint8_t> row(2 + fixed_size, 0);
  Put16(row, 0, static_cast<std::uint16_t>(def.columns.size()));
  std::vector<std::vector<std::uint8_t>> variable(variable_count);
  std::vector<std::uint8_t> mask((def.columns.size() + 7) / 8, 0);
  for (const JetColumn& c : def.columns) {
    const auto value = values.find(c.number);
    if (value == values.end()) continue;
    mask[c.number / 8] |= static_cast<std::uint8_t>(1 << (c.number % 8));
    if (c.Fixed()) {
      std::copy_n(value->second.begin(), std::min<std::size_t>(c.length, value->second.size()),
                  row.begin() + 2 + c.fixed_offset);
    } else {
      variable[c.var_index] = value->second;
    }
  }
  std::vector<std::uint16_t> offsets;
  for (const auto& v : variable) {
    offsets.push_back(static_cast<std::uint16_t>(row.size()));
    row.insert(row.end(), v.begin(), v.end());
  }
  offsets.push_back(static_cast<std::uint16_t>(row.size()));  // where the variable data ends
  for (auto it = offsets.rbegin(); it != offsets.rend(); ++it) {
    row.push_back(static_cast<std::uint8_t>(*it));
    row.push_back(static_cast<std::uint8_t>(*it >> 8));
  }
  row.push_back(static_cast<std::uint8_t>(variable_count));
  row.push_back(static_cast<std::uint8_t>(variable_count >> 8));
  row.insert(row.end(), mask.begin(), mask.end());
  return row;
}

const Value* Column(const JetTableDef& def, const JetRow& row, std::string_view name) {
  for (std::size_t i = 0; i < def.columns.size() && i < row.size(); ++i) {
    if (SameNameIgnoringCase(def.columns[i].name, name)) return &row[i];
  }
  return nullptr;
}
std::int64_t Number(const JetTableDef& def, const JetRow& row, std::string_view name) {
  const Value* v = Column(def, row, name);
  if (!v) return 0;
  if (const auto* b = std::get_if<bool>(&v->variant())) return *b ? 1 : 0;
  const auto* n = std::get_if<std::int64_t>(&v->variant());
  return n ? *n : 0;
}
std::string Text(const JetTableDef& def, const JetRow& row, std::string_view name) {
  const Value* v = Column(def, row, name);
  const auto* s = v ? std::get_if<std::string>(&v->variant()) : nullptr;
  return s ? *s : std::string();
}
std::optional<Bytes> Binary(const JetTableDef& def, const JetRow& row, std::string_view name) {
  const Value* v = Column(def, row, name);
  const auto* b = v ? std::get_if<Bytes>(&v->variant()) : nullptr;
  if (!b) return std::nullopt;
  return *b;
}

class TableCreator {
 public:
  TableCreator(std::vector<std::uint8_t>& bytes, const std::string& name, const TableInfo& table)
      : bytes_(bytes), name_(name), table_(table) {}

  void Create() {
    std::unique_ptr<JetFile> file = JetFile::FromBytes(bytes_, name_);
    if (file->Jet3()) {
      Refuse("changing an Access 97 file is not supported; convert it with `import`");
    }
    page_size_ = file->PageSize();
    CheckRequest();
    // A field's Required and AllowZeroLength live in the table's property
    // value, which its catalogue row references from the start, so that
    // its fields (also those added later) can be given them.
    properties_ = StoreEmptyProperties(bytes_, name_, table_.name);
    file = JetFile::FromBytes(bytes_, name_);
    catalog_ = file->ReadTableDef(kCatalogPage);
    catalog_.name = "MSysObjects";
    ReadCatalogRows(*file);
    MakeNameKey();

    const std::uint32_t definition_page = AppendPage();
    const std::uint32_t map_page = AppendPage();
    WriteMapPage(map_page);
    WriteDefinition(definition_page, map_page);
    AddCatalogRow(*file, definition_page);
    AddPermissions(*file, definition_page);
    for (const ColumnInfo& column : table_.columns) AddColumn(bytes_, name_, table_.name, column);
  }

 private:
  [[noreturn]] void Refuse(const std::string& why) const {
    RefuseAccessChange(
        name_, "'" + name_ + "': creating table '" + table_.name + "' in an Access file: " + why);
  }
  [[noreturn]] void Damaged(const std::string& what) const {
    throw Error(
        err::kUnrecognizedFormat,
        ErrorText(err::kUnrecognizedFormat, {name_}) + " The Access file is damaged: " + what + ".",
        "'" + name_ + "'");
  }
  std::size_t Offset(std::uint32_t page) const { return std::size_t{page} * page_size_; }

  // What can be refused before the file's catalogue is read.
  void CheckRequest() const {
    CheckObjectName(table_.name, "'" + name_ + "'");
    if (table_.name.find_first_of(".!`[]") != std::string::npos) {
      throw MakeError(err::kInvalidName, {table_.name}, "'" + name_ + "'");
    }
    if (IsSystemName(table_.name))
      Refuse("names beginning with MSys are kept for Access's own tables");
    if (!table_.indexes.empty()) Refuse("writing indexes is not supported");
    if (table_.columns.size() > kMostFields) {
      Refuse("a table holds at most " + std::to_string(kMostFields) + " fields");
    }
  }

  // The Tables container's Id, the names already under it, and the owner
  // the file's user tables are given.
  void ReadCatalogRows(const JetFile& file) {
    const std::vector<JetRow> rows = file.ReadRows(catalog_);
    std::optional<std::int64_t> container;
    for (const JetRow& row : rows) {
      if (Number(catalog_, row, "Type") == kContainerType &&
          Text(catalog_, row, "Name") == kTablesContainer) {
        container = Number(catalog_, row, "Id");
      }
    }
    if (!container) Damaged("MSysObjects has no Tables container");
    tables_container_ = static_cast<std::uint32_t>(*container);
    std::optional<Bytes> container_owner;
    for (const JetRow& row : rows) {
      const std::string listed = Text(catalog_, row, "Name");
      const bool in_tables = Number(catalog_, row, "ParentId") == *container;
      if (in_tables && SameNameIgnoringCase(listed, table_.name)) {
        throw MakeError(err::kTableExists, {table_.name}, "'" + name_ + "'");
      }
      const bool plain = Number(catalog_, row, "Flags") == 0;
      if (!owner_ && in_tables && plain && Number(catalog_, row, "Type") == kTableType &&
          !IsSystemName(listed)) {
        owner_ = Binary(catalog_, row, "Owner");
      }
      if (!container_owner && plain && Number(catalog_, row, "Type") == kContainerType) {
        container_owner = Binary(catalog_, row, "Owner");
      }
    }
    // A file without user tables: the owner its own containers (Forms,
    // Reports, ...) have, as the first table Access makes there gets it.
    if (!owner_) owner_ = container_owner;
  }

  // The key of the new name in the catalogue's index of names; refuses a name with a character
  // whose place in the index order is not known.
  void MakeNameKey() {
    const JetColumn& column = ColumnOf(catalog_, "Name");
    const std::array<std::uint8_t, 4> order = CatalogSortOrder(column.number);
    const bool legacy = order == std::array<std::uint8_t, 4>{0x09, 0x04, 0x00, 0x00};
    const bool general_2010 = order == std::array<std::uint8_t, 4>{0x09, 0x04, 0x00, 0x01};
    if (!legacy && !general_2010)
      Refuse("the catalogue's index of names is in an order not known yet");
    name_key_.push_back(kKeyPresent);
    for (char c : table_.name) {
      const auto key = legacy ? LegacyGeneralKey(c) : General2010Key(c);
      if (!key) Refuse("the name has characters whose index order is not known yet");
      name_key_.insert(name_key_.end(), key->begin(), key->end());
    }
    name_key_.push_back(0x01);
    name_key_.push_back(0x00);
  }

  // Bytes 11-14 of the catalogue's column entry numbered `number`.
  std::array<std::uint8_t, 4> CatalogSortOrder(std::uint16_t number) const {
    const std::size_t page = Offset(kCatalogPage);
    const std::size_t entries = page + kDefEnd + 12 * catalog_.real_indexes.size();
    for (std::size_t i = 0; i < catalog_.columns.size(); ++i) {
      const std::size_t at = entries + 25 * i;
      if (at + 25 > page + page_size_) break;
      if (Get16(bytes_, at + 5) != number) continue;
      std::array<std::uint8_t, 4> order{};
      std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at + 11), 4, order.begin());
      return order;
    }
    Damaged("the definition of MSysObjects does not fit its first page");
  }

  // A page appended at the end of the file, taken off the file's map of
  // free pages (the first row of page 1, whose bits are set for each free
  // page, those past the end included).
  std::uint32_t AppendPage() {
    const auto number = static_cast<std::uint32_t>(bytes_.size() / page_size_);
    bytes_.resize(bytes_.size() + page_size_, 0);
    SetMapBit(kGlobalMapPage << 8, number, false, "the file's map of free pages");
    return number;
  }

  // Sets or clears the bit of `page` in the usage map whose row pointer is
  // `map`: a row of kind 0 (its first page, then a bitmap to the row's end).
  void SetMapBit(std::uint32_t map, std::uint32_t page, bool set, const std::string& what) {
    const std::uint32_t map_page = map >> 8;
    const unsigned row = map & 0xFF;
    const std::size_t p = Offset(map_page);
    if (map_page == 0 || p + page_size_ > bytes_.size() || bytes_[p] != kDataPage ||
        row >= Get16(bytes_, p + kRowCount)) {
      Damaged(what + " is not where its pointer says");
    }
    const std::size_t start = Get16(bytes_, p + kRowTable + 2 * row) & kRowOffsetMask;
    const std::size_t end =
        row == 0 ? page_size_ : Get16(bytes_, p + kRowTable + 2 * (row - 1)) & kRowOffsetMask;
    if (start + 5 > end || end > page_size_ || bytes_[p + start] != 0) {
      Refuse(what + " is of a kind not written yet");
    }
    const std::uint32_t first = Get32(bytes_, p + start + 1);
    if (page < first || page - first >= (end - start - 5) * 8) {
      Refuse(what + " does not reach page " + std::to_string(page));
    }
    std::uint8_t& byte = bytes_[p + start + 5 + (page - first) / 8];
    const auto bit = static_cast<std::uint8_t>(1u << ((page - first) % 8));
    byte = set ? (byte | bit) : static_cast<std::uint8_t>(byte & ~bit);
  }

  // The page of the new table's two usage maps (its data pages and those
  // with free space), both empty, as Access puts them after a definition.
  void WriteMapPage(std::uint32_t number) {
    const std::size_t p = Offset(number);
    bytes_[p] = kDataPage;
    bytes_[p + 1] = 0x01;
    Put16(bytes_, p + kRowCount, 2);
    Put16(bytes_, p + kRowTable, static_cast<std::uint16_t>(page_size_ - kMapRow));
    Put16(bytes_, p + kRowTable + 2, static_cast<std::uint16_t>(page_size_ - 2 * kMapRow));
    Put16(bytes_, p + kFreeSpace,
          static_cast<std::uint16_t>(page_size_ - (kRowTable + 4) - 2 * kMapRow));
  }

  // A definition with no columns and no indexes: its header as the user
  // tables of the samples have it, then the empty list of long value maps.
  void WriteDefinition(std::uint32_t number, std::uint32_t map_page) {
    const std::size_t p = Offset(number);
    bytes_[p] = kTableDefPage;
    bytes_[p + 1] = 0x01;
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(Offset(kCatalogPage) + kDefVersion), 4,
                bytes_.begin() + static_cast<std::ptrdiff_t>(p + kDefVersion));
    Put32(bytes_, p + kDefAutoIncrement, 1);
    bytes_[p + kDefKind] = kUserTable;
    Put32(bytes_, p + kDefUsageMap, map_page << 8);
    Put32(bytes_, p + kDefFreeMap, (map_page << 8) | 1);
    Put16(bytes_, p + kDefEnd, 0xFFFF);
    const std::size_t length = kDefEnd + 2;
    Put32(bytes_, p + kDefLength, static_cast<std::uint32_t>(length));
    Put16(bytes_, p + kFreeSpace,
          static_cast<std::uint16_t>(page_size_ - length - kFreeSpaceReserve));
  }

  // The table's row in MSysObjects: Id (its definition's page), ParentId
  // (the Tables container), Name, Type, the dates, Flags 0 and the owner.
  void AddCatalogRow(const JetFile& file, std::uint32_t id) {
    const double now = NowAsAccessDate();
    std::uint64_t date_bits = 0;
    std::memcpy(&date_bits, &now, sizeof date_bits);
    Values values = {
        {ColumnOf(catalog_, "Id").number, LittleEndian(id, 4)},
        {ColumnOf(catalog_, "ParentId").number, LittleEndian(tables_container_, 4)},
        {ColumnOf(catalog_, "Name").number, Utf16(table_.name)},
        {ColumnOf(catalog_, "Type").number, LittleEndian(kTableType, 2)},
        {ColumnOf(catalog_, "DateCreate").number, LittleEndian(date_bits, 8)},
        {ColumnOf(catalog_, "DateUpdate").number, LittleEndian(date_bits, 8)},
        {ColumnOf(catalog_, "Flags").number, LittleEndian(0, 4)},
    };
    if (owner_) values[ColumnOf(catalog_, "Owner").number] = *owner_;
    if (properties_) values[ColumnOf(catalog_, "LvProp").number] = *properties_;
    const Values keys = {
        {ColumnOf(catalog_, "Id").number, LongKey(id)},
        {ColumnOf(catalog_, "ParentId").number, LongKey(tables_container_)},
        {ColumnOf(catalog_, "Name").number, name_key_},
    };
    AddRow(file, catalog_, values, keys);
  }

  // The table's permissions in MSysACEs. Every user table of the samples
  // has exactly the Tables container's inheritable entries but the one of
  // access mask 983294, each with the same SID and mask, not inheritable.
  void AddPermissions(const JetFile& file, std::uint32_t id) {
    JetTableDef aces;
    for (const auto& [listed, page] : ListTablePages(file)) {
      if (SameNameIgnoringCase(listed, "MSysACEs")) {
        aces = file.ReadTableDef(page);
        aces.name = listed;
      }
    }
    if (aces.page == 0) Damaged("MSysObjects lists no MSysACEs");
    for (const JetRow& row : file.ReadRows(aces)) {
      if (Number(aces, row, "ObjectId") != tables_container_ ||
          Number(aces, row, "FInheritable") == 0 || Number(aces, row, "ACM") == kCreatorMask) {
        continue;
      }
      // FInheritable is a Boolean: false is its null-mask bit left clear.
      Values values = {
          {ColumnOf(aces, "ObjectId").number, LittleEndian(id, 4)},
          {ColumnOf(aces, "ACM").number,
           LittleEndian(static_cast<std::uint32_t>(Number(aces, row, "ACM")), 4)},
      };
      if (auto sid = Binary(aces, row, "SID")) values[ColumnOf(aces, "SID").number] = *sid;
      AddRow(file, aces, values, {{ColumnOf(aces, "ObjectId").number, LongKey(id)}});
    }
  }

  const JetColumn& ColumnOf(const JetTableDef& def, std::string_view name) const {
    for (const JetColumn& c : def.columns) {
      if (SameNameIgnoringCase(c.name, name)) return c;
    }
    Damaged(def.name + " has no column " + std::string(name));
  }

  // A Long's part of an index key: present (0x7F), then big-endian with
  // its sign bit flipped.
  static std::vector<std::uint8_t> LongKey(std::uint32_t value) {
    const std::uint32_t v = value ^ 0x80000000u;
    return {kKeyPresent, std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8),
            std::uint8_t(v)};
  }

  // A row added to the system table `def`: on the first of its data pages
  // with room, an entry in each of its indexes (`keys` holds each key
  // column's part by column number), its stored row count one higher.
  void AddRow(const JetFile& file, const JetTableDef& def, const Values& values,
              const Values& keys) {
    const auto [page, slot] = PlaceRow(file, def, EncodeRow(def, values));
    for (const JetRealIndex& index : def.real_indexes) {
      std::vector<std::uint8_t> entry;
      for (std::uint16_t number : index.columns) {
        const auto part = keys.find(number);
        if (part == keys.end()) {
          Refuse("an index of " + def.name + " holds a column whose keys are not written yet");
        }
        entry.insert(entry.end(), part->second.begin(), part->second.end());
      }
      entry.insert(entry.end(), {std::uint8_t(page >> 16), std::uint8_t(page >> 8),
                                 std::uint8_t(page), static_cast<std::uint8_t>(slot)});
      InsertIndexEntry(def, index, entry);
    }
    const std::size_t count = Offset(def.page) + kDefRowCount;
    Put32(bytes_, count, Get32(bytes_, count) + 1);
  }

  // Puts `row` on the first data page of `def` with room, else on a data
  // page added to the table's usage maps; the page and slot it went to.
  std::pair<std::uint32_t, unsigned> PlaceRow(const JetFile& file, const JetTableDef& def,
                                              const std::vector<std::uint8_t>& row) {
    std::vector<std::uint32_t> pages = file.UsedPages(def.usage_map);
    pages.insert(pages.end(), added_pages_[def.page].begin(), added_pages_[def.page].end());
    for (std::uint32_t page : pages) {
      if (bytes_[Offset(page)] != kDataPage || Get32(bytes_, Offset(page) + kOwner) != def.page) {
        continue;
      }
      if (const auto slot = PutRow(page, row)) return {page, *slot};
    }
    const std::uint32_t page = AppendPage();
    added_pages_[def.page].push_back(page);
    const std::size_t p = Offset(page);
    bytes_[p] = kDataPage;
    bytes_[p + 1] = 0x01;
    Put16(bytes_, p + kFreeSpace, static_cast<std::uint16_t>(page_size_ - kRowTable));
    Put32(bytes_, p + kOwner, def.page);
    SetMapBit(def.usage_map, page, true, "the usage map of " + def.name);
    // The map of its pages with free space, which a new page is one of.
    const std::uint32_t free_map = Get32(bytes_, Offset(def.page) + kDefFreeMap);
    if (free_map != 0) SetMapBit(free_map, page, true, "the free page map of " + def.name);
    const auto slot = PutRow(page, row);
    if (!slot) Refuse("a row of " + def.name + " does not fit a page");
    return {page, *slot};
  }

  // Puts `row` below the lowest row of data page `page`, when it has room.
  std::optional<unsigned> PutRow(std::uint32_t page, const std::vector<std::uint8_t>& row) {
    const std::size_t p = Offset(page);
    const std::uint16_t rows = Get16(bytes_, p + kRowCount);
    const std::uint16_t free = Get16(bytes_, p + kFreeSpace);
    std::size_t lowest = page_size_;
    for (std::uint16_t i = 0; i < rows; ++i) {
      lowest = std::min<std::size_t>(lowest, Get16(bytes_, p + kRowTable + 2 * i) & kRowOffsetMask);
    }
    if (rows >= kMaxRowsOnPage || free < row.size() + 2 ||
        lowest < kRowTable + 2 * (rows + 1) + row.size()) {
      return std::nullopt;
    }
    const std::size_t at = lowest - row.size();
    std::copy(row.begin(), row.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(p + at));
    Put16(bytes_, p + kRowTable + 2 * rows, static_cast<std::uint16_t>(at));
    Put16(bytes_, p + kRowCount, static_cast<std::uint16_t>(rows + 1));
    Put16(bytes_, p + kFreeSpace, static_cast<std::uint16_t>(free - row.size() - 2));
    return rows;
  }

  // Puts `entry` into the index's only leaf page, in key order. The
  // entries are read back whole, the new one inserted, and the page
  // written again with the shared prefix it had when the entries still
  // share it, else none.
  void InsertIndexEntry(const JetTableDef& def, const JetRealIndex& index,
                        const std::vector<std::uint8_t>& entry) {
    const std::size_t p = Offset(index.first_page);
    if (index.first_page == 0 || p + page_size_ > bytes_.size()) {
      Damaged("an index of " + def.name + " starts outside the file");
    }
    if (bytes_[p] != kIndexLeafPage || Get32(bytes_, p + kLeafPrevious) != 0 ||
        Get32(bytes_, p + kLeafNext) != 0) {
      Refuse("an index of " + def.name +
             " spans more than one page, and adding to such an index is not supported");
    }
    std::vector<std::vector<std::uint8_t>> entries = ReadLeaf(p);
    const auto at = std::lower_bound(entries.begin(), entries.end(), entry);
    if (at != entries.end() && *at == entry)
      Damaged("an index of " + def.name + " repeats an entry");
    entries.insert(at, entry);
    WriteLeaf(p, def, entries);
  }

  std::vector<std::vector<std::uint8_t>> ReadLeaf(std::size_t p) const {
    const std::size_t shared = Get16(bytes_, p + kLeafPrefix);
    std::vector<std::vector<std::uint8_t>> entries;
    std::size_t start = kFirstEntry;
    for (std::size_t mark = 0; mark < (kFirstEntry - kEntryMarks) * 8; ++mark) {
      if ((bytes_[p + kEntryMarks + mark / 8] & (1 << (mark % 8))) == 0) continue;
      const std::size_t end = kFirstEntry + mark;
      if (end > page_size_ || end <= start) Damaged("an index page of MSysObjects is out of order");
      std::vector<std::uint8_t> entry;
      if (!entries.empty()) {
        if (shared > entries.front().size()) Damaged("an index page of MSysObjects is damaged");
        entry.assign(entries.front().begin(),
                     entries.front().begin() + static_cast<std::ptrdiff_t>(shared));
      }
      entry.insert(entry.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(p + start),
                   bytes_.begin() + static_cast<std::ptrdiff_t>(p + end));
      entries.push_back(std::move(entry));
      start = end;
    }
    return entries;
  }

  void WriteLeaf(std::size_t p, const JetTableDef& def,
                 const std::vector<std::vector<std::uint8_t>>& entries) {
    std::size_t shared = Get16(bytes_, p + kLeafPrefix);
    for (const auto& e : entries) {
      if (e.size() <= shared ||
          !std::equal(e.begin(), e.begin() + static_cast<std::ptrdiff_t>(shared),
                      entries.front().begin())) {
        shared = 0;
      }
    }
    std::vector<std::uint8_t> body;
    std::vector<std::size_t> ends;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const std::size_t skip = i == 0 ? 0 : shared;
      body.insert(body.end(), entries[i].begin() + static_cast<std::ptrdiff_t>(skip),
                  entries[i].end());
      ends.push_back(body.size());
    }
    if (kFirstEntry + body.size() > page_size_ || body.size() >= (kFirstEntry - kEntryMarks) * 8) {
      Refuse("the index page of " + def.name +
             " is full, and splitting index pages is not supported");
    }
    std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(p + kEntryMarks),
              bytes_.begin() + static_cast<std::ptrdiff_t>(p + page_size_), std::uint8_t{0});
    for (std::size_t end : ends) {
      const std::size_t mark = end;  // counted from the first entry's start
      bytes_[p + kEntryMarks + mark / 8] |= static_cast<std::uint8_t>(1 << (mark % 8));
    }
    std::copy(body.begin(), body.end(),
              bytes_.begin() + static_cast<std::ptrdiff_t>(p + kFirstEntry));
    Put16(bytes_, p + kLeafPrefix, static_cast<std::uint16_t>(shared));
    Put16(bytes_, p + kFreeSpace,
          static_cast<std::uint16_t>(page_size_ - kFirstEntry - body.size()));
  }

  std::vector<std::uint8_t>& bytes_;
  const std::string& name_;
  const TableInfo& table_;
  std::size_t page_size_ = 4096;
  JetTableDef catalog_;
  std::uint32_t tables_container_ = 0;
  std::optional<Bytes> owner_;
  std::optional<std::vector<std::uint8_t>> properties_;  // the reference to its property value
  std::vector<std::uint8_t> name_key_;
  std::map<std::uint32_t, std::vector<std::uint32_t>> added_pages_;  // by definition page
};

}  // namespace

void CreateTable(std::vector<std::uint8_t>& bytes, const std::string& name,
                 const TableInfo& table) {
  std::vector<std::uint8_t> changed = bytes;
  TableCreator(changed, name, table).Create();
  bytes = std::move(changed);
}

}  // namespace actualiz::engine::jet
