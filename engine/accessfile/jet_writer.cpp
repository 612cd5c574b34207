#include "engine/accessfile/jet_writer.h"

#include <algorithm>
#include <array>
#include <optional>

#include "base/error.h"
#include "base/names.h"
#include "engine/accessfile/jet_bytes.h"
#include "engine/accessfile/jet_catalog.h"
#include "engine/accessfile/jet_file.h"
#include "engine/accessfile/jet_properties.h"
#include "engine/engine.h"
#include "engine/jet_errors.h"

namespace actualiz::engine::jet {

namespace {

// Where a Jet 4 / ACE table definition keeps what a new column changes.
constexpr std::size_t kFreeSpace = 0x02;  // of each page of the definition
constexpr std::size_t kNextPage = 0x04;
constexpr std::size_t kLength = 0x08;   // bytes of the whole definition
constexpr std::size_t kVersion = 0x0C;  // repeated at the start of each column entry
constexpr std::size_t kColumnsEver = 0x29;
constexpr std::size_t kVariableColumns = 0x2B;
constexpr std::size_t kColumnCount = 0x2D;
constexpr std::size_t kRealIndexCount = 0x33;
constexpr std::size_t kRealIndexHeads = 0x3F;  // 12 bytes each, then the column entries
constexpr std::size_t kRealIndexHead = 12;
constexpr std::size_t kColumnEntry = 25;
constexpr std::size_t kLogicalIndexCount = 0x2F;
constexpr std::size_t kUsageMap = 0x37;
constexpr std::size_t kRealIndexEntry = 52;
constexpr std::size_t kLogicalIndexEntry = 28;
constexpr std::size_t kLongValueMapEntry = 10;  // column, its pages' map, its free pages' map
constexpr std::uint16_t kEndOfList = 0xFFFF;
// A data page's row count and row table, and an empty usage map row: kind
// 0, first page 0, a bitmap of 512 pages, as Access writes them.
constexpr std::size_t kRowCount = 0x0C;
constexpr std::size_t kRowTable = 0x0E;
constexpr std::size_t kMapRow = 69;
constexpr std::uint16_t kRowOffsetMask = 0x1FFF;
constexpr std::size_t kContinuationHeader = 8;
// Every definition page in the files Access wrote keeps its free space as
// the page size less its used bytes less 8 (never below 0).
constexpr std::size_t kFreeSpaceReserve = 8;

constexpr std::uint8_t kFlagFixed = 0x01;
constexpr std::uint8_t kFlagNullable = 0x02;    // set on every column Access writes
constexpr std::uint8_t kFlagCompressed = 0x01;  // of the extra flags: Unicode compression
constexpr std::uint8_t kDecimalPrecision = 18;  // Access's default for a new Decimal
constexpr std::size_t kMostFields = 255;        // Access's limit for a table

// How a field of an engine type is stored.
struct Shape {
  std::uint8_t type;
  bool fixed;
  std::uint16_t length;  // fixed width; 0 for Text and Binary (from the size) and long values
};

std::optional<Shape> ShapeOf(std::int16_t engine_type) {
  switch (engine_type) {
    case dbBoolean:
      return Shape{kBool, true, 1};
    case dbByte:
      return Shape{kByte, true, 1};
    case dbInteger:
      return Shape{kInt, true, 2};
    case dbLong:
      return Shape{kLong, true, 4};
    case dbCurrency:
      return Shape{kMoney, true, 8};
    case dbSingle:
      return Shape{kFloat, true, 4};
    case dbDouble:
      return Shape{kDouble, true, 8};
    case dbDate:
      return Shape{kDateTime, true, 8};
    case 9:  // Binary
      return Shape{kBinary, false, 0};
    case dbText:
      return Shape{kText, false, 0};
    case dbLongBinary:
      return Shape{kOle, false, 0};
    case dbMemo:
      return Shape{kMemo, false, 0};
    case dbGUID:
      return Shape{kGuid, true, 16};
    case 20:  // Decimal
      return Shape{kNumeric, true, 17};
    default:
      return std::nullopt;
  }
}

}  // namespace

std::vector<std::uint8_t> Utf16Bytes(const std::string& text) {
  std::vector<std::uint8_t> out;
  auto put = [&](char32_t unit) { Append16(out, static_cast<std::uint16_t>(unit)); };
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    char32_t code = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < text.size(); ++k)
      code = (code << 6) | (text[i + k] & 0x3F);
    i += 1 + extra;
    if (code >= 0x10000) {
      code -= 0x10000;
      put(0xD800 + (code >> 10));
      put(0xDC00 + (code & 0x3FF));
    } else {
      put(code);
    }
  }
  return out;
}

namespace {

class ColumnAdder {
 public:
  ColumnAdder(std::vector<std::uint8_t>& bytes, const std::string& name, const std::string& table)
      : bytes_(bytes), name_(name), table_(table) {}

  void Add(const ColumnInfo& column) {
    const std::unique_ptr<JetFile> file = JetFile::FromBytes(bytes_, name_);
    if (file->Jet3()) {
      Refuse("changing an Access 97 file is not supported; convert it with `import`");
    }
    const JetTableDef def = FindTable(*file);
    CheckColumn(column, def);
    page_size_ = file->PageSize();
    ReadDefinition(def.page);
    const std::uint16_t number = Get16(definition_, kColumnsEver);
    Insert(column, def);
    const std::uint8_t type = ShapeOf(column.type)->type;
    if (type == kMemo || type == kOle) AddLongValueMaps(number);
    WriteDefinition();
  }

 private:
  [[noreturn]] void Refuse(const std::string& why) const {
    RefuseAccessChange(name_,
                       "Cannot add a field to table '" + table_ + "' of '" + name_ + "': " + why);
  }

  JetTableDef FindTable(const JetFile& file) const {
    for (const auto& [listed, page] : ListTablePages(file)) {
      if (!SameNameIgnoringCase(listed, table_)) continue;
      if (IsSystemName(listed)) Refuse("it is one of Access's own tables");
      JetTableDef def = file.ReadTableDef(page);
      def.name = listed;
      return def;
    }
    throw MakeError(err::kTableNotFound, {table_}, "'" + name_ + "'");
  }

  void CheckColumn(const ColumnInfo& column, const JetTableDef& def) const {
    const std::string context = "'" + name_ + "', table '" + table_ + "'";
    CheckObjectName(column.name, context);
    if (column.name.find_first_of(".!`[]") != std::string::npos) {
      throw MakeError(err::kInvalidName, {column.name}, context);
    }
    for (const JetColumn& existing : def.columns) {
      if (SameNameIgnoringCase(existing.name, column.name)) {
        throw MakeError(err::kFieldDefinedTwice, context + ", field '" + column.name + "'");
      }
    }
    const auto shape = ShapeOf(column.type);
    if (!shape) throw MakeError(err::kInvalidFieldType, context + ", field '" + column.name + "'");
    if ((shape->type == kText || shape->type == kBinary) &&
        (column.size < 1 || column.size > 255)) {
      throw MakeError(err::kInvalidArgument, context + ", field '" + column.name + "'");
    }
    if (def.columns.size() >= kMostFields) {
      Refuse("a table holds at most " + std::to_string(kMostFields) + " fields");
    }
  }

  // The definition's pages and their bytes as one run, cut to its length.
  void ReadDefinition(std::uint32_t first) {
    for (std::uint32_t page = first; page != 0; page = Get32(bytes_, Offset(page) + kNextPage)) {
      pages_.push_back(page);
      const std::size_t from = Offset(page) + (pages_.size() == 1 ? 0 : kContinuationHeader);
      definition_.insert(definition_.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(from),
                         bytes_.begin() + static_cast<std::ptrdiff_t>(Offset(page) + page_size_));
    }
    const std::uint32_t length = Get32(definition_, kLength);
    if (length < kRealIndexHeads || length > definition_.size()) Damaged();
    definition_.resize(length);
  }

  std::size_t Offset(std::uint32_t page) const { return std::size_t{page} * page_size_; }

  [[noreturn]] void Damaged() const {
    throw Error(err::kUnrecognizedFormat,
                ErrorText(err::kUnrecognizedFormat, {name_}) +
                    " The Access file is damaged: the definition of table '" + table_ +
                    "' is inconsistent.",
                "'" + name_ + "'");
  }

  void Insert(const ColumnInfo& column, const JetTableDef& def) {
    std::vector<std::uint8_t>& d = definition_;
    const std::uint16_t columns_ever = Get16(d, kColumnsEver);
    const std::uint16_t variable_count = Get16(d, kVariableColumns);
    const std::uint16_t column_count = Get16(d, kColumnCount);
    const std::size_t entries = kRealIndexHeads + Get32(d, kRealIndexCount) * kRealIndexHead;
    const std::size_t entries_end = entries + std::size_t{column_count} * kColumnEntry;
    std::size_t names_end = entries_end;
    for (std::uint16_t i = 0; i < column_count; ++i) {
      if (names_end + 2 > d.size()) Damaged();
      names_end += 2 + Get16(d, names_end);
    }
    if (names_end > d.size() || column_count != def.columns.size()) Damaged();

    const std::vector<std::uint8_t> entry =
        Entry(column, def, entries, columns_ever, variable_count, NextOrder(entries, column_count));
    std::vector<std::uint8_t> name = Utf16Bytes(column.name);
    const auto name_length = static_cast<std::uint16_t>(name.size());
    name.insert(name.begin(), {static_cast<std::uint8_t>(name_length),
                               static_cast<std::uint8_t>(name_length >> 8)});
    d.insert(d.begin() + static_cast<std::ptrdiff_t>(names_end), name.begin(), name.end());
    d.insert(d.begin() + static_cast<std::ptrdiff_t>(entries_end), entry.begin(), entry.end());

    Put32(&d[kLength], static_cast<std::uint32_t>(d.size()));
    Put16(&d[kColumnsEver], static_cast<std::uint16_t>(columns_ever + 1));
    if (!ShapeOf(column.type)->fixed) {
      Put16(&d[kVariableColumns], static_cast<std::uint16_t>(variable_count + 1));
    }
    Put16(&d[kColumnCount], static_cast<std::uint16_t>(column_count + 1));
  }

  // A Memo or OLE column has, after the index names, an entry naming two
  // usage maps of its own (the pages of its long values and their free
  // pages), each a row beside the table's own maps; Access writes one for
  // every such column. Both start empty.
  void AddLongValueMaps(std::uint16_t number) {
    const std::uint32_t table_map = Get32(definition_, kUsageMap);
    const std::uint32_t page = table_map >> 8;
    if (page == 0 || Offset(page) + page_size_ > bytes_.size()) Damaged();
    std::uint8_t* p = &bytes_[Offset(page)];
    const std::uint16_t rows = Get16(bytes_, Offset(page) + kRowCount);
    const std::uint16_t free = Get16(bytes_, Offset(page) + kFreeSpace);
    const std::size_t end =
        rows == 0 ? page_size_
                  : Get16(bytes_, Offset(page) + kRowTable + 2 * (rows - 1)) & kRowOffsetMask;
    if (p[0] != 0x01 || rows + 2 > 0xFF || free < 2 * (kMapRow + 2) ||
        end < kRowTable + 2 * (rows + 2) + 2 * kMapRow) {
      Refuse("the page that holds its usage maps (" + std::to_string(page) +
             ") has no room for the maps of a Memo or OLE field");
    }
    std::fill(p + end - 2 * kMapRow, p + end, std::uint8_t{0});
    Put16(p + kRowTable + 2 * rows, static_cast<std::uint16_t>(end - kMapRow));
    Put16(p + kRowTable + 2 * (rows + 1), static_cast<std::uint16_t>(end - 2 * kMapRow));
    Put16(p + kRowCount, static_cast<std::uint16_t>(rows + 2));
    Put16(p + kFreeSpace, static_cast<std::uint16_t>(free - 2 * (kMapRow + 2)));

    std::vector<std::uint8_t> entry(kLongValueMapEntry);
    Put16(&entry[0], number);
    Put32(&entry[2], (page << 8) | rows);
    Put32(&entry[6], (page << 8) | (rows + 1));
    const std::size_t at = LongValueMapsEnd();
    definition_.insert(definition_.begin() + static_cast<std::ptrdiff_t>(at), entry.begin(),
                       entry.end());
    Put32(&definition_[kLength], static_cast<std::uint32_t>(definition_.size()));
  }

  // Where the list of long value maps ends (at its 0xFFFF), past the column
  // entries and names, the real and logical index entries and index names.
  std::size_t LongValueMapsEnd() const {
    const std::vector<std::uint8_t>& d = definition_;
    const std::uint32_t real = Get32(d, kRealIndexCount);
    const std::uint32_t logical = Get32(d, kLogicalIndexCount);
    const std::uint16_t columns = Get16(d, kColumnCount);
    std::size_t at = kRealIndexHeads + real * kRealIndexHead + std::size_t{columns} * kColumnEntry;
    auto skip_names = [&](std::size_t count) {
      for (std::size_t i = 0; i < count; ++i) {
        if (at + 2 > d.size()) Damaged();
        at += 2 + Get16(d, at);
      }
    };
    skip_names(columns);
    at += real * kRealIndexEntry + logical * kLogicalIndexEntry;
    skip_names(logical);
    while (at + 2 <= d.size() && Get16(d, at) != kEndOfList) at += kLongValueMapEntry;
    if (at + 2 > d.size()) Damaged();
    return at;
  }

  // The new column's entry: numbered after every column the table ever had,
  // its variable slot after the existing variable columns, its fixed data
  // after the existing fixed data; the rest as the table's columns have it.
  std::vector<std::uint8_t> Entry(const ColumnInfo& column, const JetTableDef& def,
                                  std::size_t entries, std::uint16_t number,
                                  std::uint16_t variable_index, std::uint16_t order) const {
    const Shape shape = *ShapeOf(column.type);
    std::vector<std::uint8_t> e(kColumnEntry, 0);
    e[0] = shape.type;
    std::copy_n(&definition_[kVersion], 4, &e[1]);
    Put16(&e[5], number);
    Put16(&e[7], variable_index);
    Put16(&e[9], order);
    if (shape.type == kNumeric) {
      e[11] = kDecimalPrecision;
    } else {
      std::copy_n(SortOrder(entries, def.columns.size()).begin(), 4, &e[11]);
    }
    e[15] = static_cast<std::uint8_t>(kFlagNullable | (shape.fixed ? kFlagFixed : 0));
    if (shape.type == kText || shape.type == kMemo) e[16] = kFlagCompressed;
    std::uint16_t length = shape.length;
    if (shape.type == kText) length = static_cast<std::uint16_t>(2 * column.size);
    if (shape.type == kBinary) length = static_cast<std::uint16_t>(column.size);
    // A Boolean's value is its bit in the null mask: it takes no fixed data.
    if (shape.fixed && shape.type != kBool) Put16(&e[21], FixedDataEnd(def));
    Put16(&e[23], length);
    return e;
  }

  // The sort order the table's columns keep at bytes 11-14 of their entries
  // (0x0409 general, 0x041D in a Swedish file), as its first Text column
  // has it, else its first column other than a Decimal, else general.
  std::array<std::uint8_t, 4> SortOrder(std::size_t entries, std::size_t column_count) const {
    std::optional<std::array<std::uint8_t, 4>> any;
    for (std::size_t i = 0; i < column_count; ++i) {
      const std::size_t at = entries + i * kColumnEntry;
      std::array<std::uint8_t, 4> order{};
      std::copy_n(&definition_[at + 11], 4, order.begin());
      if (definition_[at] == kText) return order;
      if (definition_[at] != kNumeric && !any) any = order;
    }
    return any.value_or(std::array<std::uint8_t, 4>{0x09, 0x04, 0, 0});
  }

  // The order field of the column entries: Access numbers it from 1 in
  // tables made in its designer and leaves it 0 in others; the new column
  // follows the highest.
  std::uint16_t NextOrder(std::size_t entries, std::uint16_t column_count) const {
    std::uint16_t highest = 0;
    for (std::uint16_t i = 0; i < column_count; ++i) {
      highest = std::max(highest, Get16(definition_, entries + i * kColumnEntry + 9));
    }
    return highest == 0 ? 0 : static_cast<std::uint16_t>(highest + 1);
  }

  static std::uint16_t FixedDataEnd(const JetTableDef& def) {
    std::uint16_t end = 0;
    for (const JetColumn& c : def.columns) {
      if (c.Fixed() && c.type != kBool)
        end = std::max<std::uint16_t>(end, c.fixed_offset + c.length);
    }
    return end;
  }

  // Splits the grown definition over the pages it had, as Access does: the
  // first page filled to its end, each further page after its 8-byte
  // header. Refuses when it no longer fits them.
  void WriteDefinition() {
    const std::size_t capacity =
        page_size_ + (pages_.size() - 1) * (page_size_ - kContinuationHeader);
    if (definition_.size() + kFreeSpaceReserve > capacity) {
      Refuse("its definition would no longer fit the pages it has");
    }
    std::size_t taken = 0;
    for (std::size_t i = 0; i < pages_.size(); ++i) {
      const std::size_t header = i == 0 ? 0 : kContinuationHeader;
      const std::size_t n = std::min(page_size_ - header, definition_.size() - taken);
      std::uint8_t* page = &bytes_[Offset(pages_[i])];
      std::copy_n(&definition_[taken], n, page + header);
      taken += n;
      const std::size_t used = header + n;
      const std::size_t free =
          used + kFreeSpaceReserve >= page_size_ ? 0 : page_size_ - used - kFreeSpaceReserve;
      Put16(page + kFreeSpace, static_cast<std::uint16_t>(free));
    }
  }

  std::vector<std::uint8_t>& bytes_;
  const std::string& name_;
  const std::string& table_;
  std::size_t page_size_ = 4096;
  std::vector<std::uint32_t> pages_;
  std::vector<std::uint8_t> definition_;
};

}  // namespace

void AddColumn(std::vector<std::uint8_t>& bytes, const std::string& name, const std::string& table,
               const ColumnInfo& column) {
  std::vector<std::uint8_t> changed = bytes;
  ColumnAdder(changed, name, table).Add(column);
  WriteFieldFlags(changed, name, table, column);
  bytes = std::move(changed);
}

void RefuseAccessChange(const std::string& name, const std::string& what) {
  constexpr std::string_view kAdvice = "convert it with `import`";
  const bool advised = what.find(kAdvice) != std::string::npos;
  throw Error(
      err::kReadOnly,
      ErrorText(err::kReadOnly) + " " + what + (advised ? "" : "; " + std::string(kAdvice)) + ".",
      "'" + name + "'");
}

ColumnInfo DescribedColumn(const ColumnInfo& column) {
  ColumnInfo out = column;
  const auto shape = ShapeOf(column.type);
  if (!shape) return out;
  if (shape->type == kMemo || shape->type == kOle) out.size = 0;
  if (shape->fixed) out.size = shape->type == kNumeric ? 16 : shape->length;
  return out;
}

}  // namespace actualiz::engine::jet
