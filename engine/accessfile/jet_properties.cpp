#include "engine/accessfile/jet_properties.h"

#include <algorithm>
#include <optional>

#include "base/error.h"
#include "base/names.h"
#include "engine/accessfile/jet_bytes.h"
#include "engine/accessfile/jet_file.h"
#include "engine/accessfile/jet_writer.h"
#include "engine/jet_errors.h"

namespace actualiz::engine::jet {

namespace {

constexpr std::uint32_t kCatalogPage = 2;
constexpr int kObjectTable = 1;

// A data page: its type, owner, free space and row table.
constexpr std::uint8_t kDataPage = 0x01;
constexpr std::size_t kFreeSpace = 0x02;
constexpr std::size_t kOwner = 0x04;
constexpr std::size_t kRowCount = 0x0C;
constexpr std::size_t kRowTable = 0x0E;
constexpr std::uint16_t kRowOffsetMask = 0x1FFF;
constexpr std::uint16_t kRowPointer = 0x4000;
constexpr std::uint16_t kRowMoved = 0x8000;
constexpr std::uint16_t kRowDeleted = kRowPointer | kRowMoved;
// A row is named by one byte on its page.
constexpr std::uint16_t kMostRows = 0x100;

// The 12-byte reference to a long value: its length with two flags, a row
// pointer, then 4 bytes left as they are.
constexpr std::size_t kLongValueHeader = 12;
constexpr std::uint32_t kInRow = 0x80000000;
constexpr std::uint32_t kOneRow = 0x40000000;
constexpr std::uint32_t kLengthMask = 0x3FFFFFFF;

// The property value of a table, as every Jet 4 and ACE sample writes it:
// "MR2\0", then chunks of a 4-byte length (the chunk's, header included)
// and a 2-byte kind. The first lists the property names (kind 0x80), each
// a 2-byte length and UTF-16; then the table's own block (kind 0) and a
// block per field (kind 1): a 4-byte length of the block's head, the
// field's name (2-byte length, UTF-16), then the properties.
constexpr std::uint8_t kSignature[4] = {'M', 'R', '2', 0};
constexpr std::size_t kChunkHeader = 6;
constexpr std::uint16_t kNamesChunk = 0x80;
constexpr std::uint16_t kTableChunk = 0x00;
constexpr std::uint16_t kFieldChunk = 0x01;
// A property: its size, a flag (1 on the Required and AllowZeroLength
// Access writes), its type (1 Boolean), its name's index, its value's size
// and the value (1 for true).
constexpr std::uint8_t kPropertyFlag = 0x01;
constexpr std::uint8_t kBooleanType = 0x01;
constexpr std::uint8_t kTrue = 0x01;
constexpr std::uint16_t kBooleanSize = 9;

// The property value with a block for `field` setting the Boolean
// properties `set` to true; nothing when the value is not laid out as
// above. Every byte of the old value is kept: the block is appended and a
// missing name is added at the end of the list.
std::optional<std::vector<std::uint8_t>> WithFieldBlock(const std::vector<std::uint8_t>& value,
                                                        const std::string& field,
                                                        const std::vector<std::string>& set) {
  if (value.size() < sizeof kSignature + kChunkHeader ||
      !std::equal(kSignature, kSignature + sizeof kSignature, value.begin())) {
    return std::nullopt;
  }
  std::vector<std::size_t> chunks;  // where each starts
  std::size_t at = sizeof kSignature;
  while (at < value.size()) {
    if (at + kChunkHeader > value.size()) return std::nullopt;
    const std::uint32_t length = Get32(&value[at]);
    if (length < kChunkHeader || length > value.size() - at) return std::nullopt;
    chunks.push_back(at);
    at += length;
  }
  const std::size_t names_at = chunks.front();
  const std::size_t names_end = names_at + Get32(&value[names_at]);
  if (Get16(&value[names_at + 4]) != kNamesChunk) return std::nullopt;

  std::vector<std::vector<std::uint8_t>> names;
  for (std::size_t p = names_at + kChunkHeader; p < names_end;) {
    if (p + 2 > names_end || p + 2 + Get16(&value[p]) > names_end) return std::nullopt;
    names.emplace_back(value.begin() + static_cast<std::ptrdiff_t>(p + 2),
                       value.begin() + static_cast<std::ptrdiff_t>(p + 2 + Get16(&value[p])));
    p += 2 + Get16(&value[p]);
  }
  std::vector<std::uint8_t> added_names;
  std::vector<std::uint16_t> indexes;
  for (const std::string& property : set) {
    const std::vector<std::uint8_t> wanted = Utf16Bytes(property);
    auto found = std::find(names.begin(), names.end(), wanted);
    if (found == names.end()) {
      Append16(added_names, static_cast<std::uint16_t>(wanted.size()));
      added_names.insert(added_names.end(), wanted.begin(), wanted.end());
      found = names.insert(names.end(), wanted);
    }
    indexes.push_back(static_cast<std::uint16_t>(found - names.begin()));
  }

  std::vector<std::uint8_t> block;
  const std::vector<std::uint8_t> field_name = Utf16Bytes(field);
  const auto head = static_cast<std::uint32_t>(4 + 2 + field_name.size());
  const auto block_length =
      static_cast<std::uint32_t>(kChunkHeader + head + kBooleanSize * indexes.size());
  Append32(block, block_length);
  Append16(block, kFieldChunk);
  Append32(block, head);
  Append16(block, static_cast<std::uint16_t>(field_name.size()));
  block.insert(block.end(), field_name.begin(), field_name.end());
  for (std::uint16_t index : indexes) {
    Append16(block, kBooleanSize);
    block.push_back(kPropertyFlag);
    block.push_back(kBooleanType);
    Append16(block, index);
    Append16(block, 1);
    block.push_back(kTrue);
  }

  std::vector<std::uint8_t> out(value.begin(),
                                value.begin() + static_cast<std::ptrdiff_t>(names_end));
  Put32(&out[names_at], static_cast<std::uint32_t>(names_end - names_at + added_names.size()));
  out.insert(out.end(), added_names.begin(), added_names.end());
  out.insert(out.end(), value.begin() + static_cast<std::ptrdiff_t>(names_end), value.end());
  out.insert(out.end(), block.begin(), block.end());
  return out;
}

class FlagWriter {
 public:
  FlagWriter(std::vector<std::uint8_t>& bytes, const std::string& name, const std::string& table,
             const std::string& field)
      : bytes_(bytes),
        file_(JetFile::FromBytes(bytes, name)),
        page_size_(file_->PageSize()),
        name_(name),
        table_(table),
        field_(field) {}

  // Stores `value` as a new long value of the catalogue's property values;
  // the 12-byte reference to it.
  std::vector<std::uint8_t> StoreNew(const std::vector<std::uint8_t>& value) {
    JetTableDef objects = file_->ReadTableDef(kCatalogPage);
    const JetColumn* properties = Column(objects, "LvProp");
    if (!properties || properties->type != kOle) file_->Damaged("the catalogue lacks LvProp");
    const std::uint32_t pointer = Store(objects, properties->number, value);
    std::vector<std::uint8_t> reference(kLongValueHeader, 0);
    Put32(&reference[0], static_cast<std::uint32_t>(value.size()) | kOneRow);
    Put32(&reference[4], pointer);
    return reference;
  }

  void Write(const std::vector<std::string>& set) {
    JetTableDef objects = file_->ReadTableDef(kCatalogPage);
    const JetColumn* type = Column(objects, "Type");
    const JetColumn* object_name = Column(objects, "Name");
    const JetColumn* properties = Column(objects, "LvProp");
    if (!type || !object_name || !properties || properties->type != kOle) {
      file_->Damaged("the catalogue lacks the columns Type, Name and LvProp");
    }
    const std::size_t reference = ReferenceAt(objects, *type, *object_name, *properties);
    const std::uint32_t head = Get32(&bytes_[reference]);
    if (head & kInRow) NotSupported("they are kept in its catalogue row");

    std::vector<RowPlace> old_rows;
    const std::vector<std::uint8_t> old_value =
        ReadLongValue(head, Get32(&bytes_[reference + 4]), old_rows);
    const auto value = WithFieldBlock(old_value, field_, set);
    if (!value) NotSupported("they are not laid out as this program writes them");
    if (value->size() + kRowTable + 2 > page_size_) {
      Refuse("the field properties of table '" + table_ + "' would take " +
             std::to_string(value->size()) + " bytes, more than one page holds");
    }
    reference_page_ = static_cast<std::uint32_t>(reference / page_size_);
    const std::uint32_t pointer = Store(objects, properties->number, *value);
    Put32(&bytes_[reference], static_cast<std::uint32_t>(value->size()) | kOneRow);
    Put32(&bytes_[reference + 4], pointer);
    for (const RowPlace& row : old_rows) {
      std::uint8_t* slot = Slot(row.page, row.row);
      Put16(slot, static_cast<std::uint16_t>(Get16(slot) | kRowDeleted));
    }
  }

 private:
  struct RowPlace {
    std::uint32_t page = 0;
    unsigned row = 0;
    std::size_t at = 0;  // in the file
    std::size_t size = 0;
  };

  [[noreturn]] void Refuse(const std::string& why) const {
    RefuseAccessChange(name_, "Cannot add field '" + field_ + "' to table '" + table_ + "' of '" +
                                  name_ + "': " + why);
  }
  [[noreturn]] void NotSupported(const std::string& why) const {
    Refuse("writing the field properties of table '" + table_ + "' is not supported yet (" + why +
           "); convert it with `import`");
  }

  static const JetColumn* Column(const JetTableDef& def, const std::string& name) {
    for (const JetColumn& c : def.columns) {
      if (SameNameIgnoringCase(c.name, name)) return &c;
    }
    return nullptr;
  }

  std::size_t Offset(std::uint32_t page) const { return std::size_t{page} * page_size_; }

  std::uint8_t* Slot(std::uint32_t page, unsigned row) {
    return &bytes_[Offset(page) + kRowTable + 2 * row];
  }

  // Row `row` of data page `page` with the flags of its slot; nothing when
  // the row is deleted.
  std::optional<RowPlace> ReadRow(std::uint32_t page, unsigned row, std::uint16_t* flags) const {
    file_->Page(page);                                  // checks the page is in the file
    const std::uint8_t* bytes = &bytes_[Offset(page)];  // as changed so far
    if (bytes[0] != kDataPage)
      file_->Damaged("page " + std::to_string(page) + " is not a data page");
    const std::uint16_t count = Get16(&bytes[kRowCount]);
    if (row >= count || kRowTable + 2 * std::size_t{count} > page_size_) {
      file_->Damaged("row " + std::to_string(row) + " of page " + std::to_string(page) +
                     " is missing");
    }
    const std::uint16_t entry = Get16(&bytes[kRowTable + 2 * row]);
    *flags = entry & kRowDeleted;
    if (*flags == kRowDeleted) return std::nullopt;
    const std::size_t start = entry & kRowOffsetMask;
    const std::size_t end =
        row == 0 ? page_size_ : Get16(&bytes[kRowTable + 2 * (row - 1)]) & kRowOffsetMask;
    if (start >= end || end > page_size_) {
      file_->Damaged("row " + std::to_string(row) + " of page " + std::to_string(page) +
                     " is out of place");
    }
    return RowPlace{page, row, Offset(page) + start, end - start};
  }

  // Where, in the file, the table's catalogue row keeps the 12-byte
  // reference to its property value. Refuses when the row has none.
  std::size_t ReferenceAt(const JetTableDef& objects, const JetColumn& type,
                          const JetColumn& object_name, const JetColumn& properties) const {
    for (std::uint32_t page : file_->UsedPages(objects.usage_map)) {
      const auto bytes = file_->Page(page);
      if (bytes[0] != kDataPage || Get32(&bytes[kOwner]) != kCatalogPage) continue;
      for (unsigned row = 0; row < Get16(&bytes[kRowCount]); ++row) {
        std::uint16_t flags = 0;
        auto place = ReadRow(page, row, &flags);
        if (!place || flags == kRowMoved) continue;  // deleted, or read through its pointer
        if (flags == kRowPointer) {
          if (place->size < 4) file_->Damaged("a row pointer is cut short");
          const std::uint8_t* p = &bytes_[place->at];
          const std::uint32_t target = p[1] | (p[2] << 8) | (std::uint32_t{p[3]} << 16);
          place = ReadRow(target, p[0], &flags);
          if (!place || flags != kRowMoved) file_->Damaged("a row pointer leads nowhere");
        }
        const std::uint8_t* r = &bytes_[place->at];
        const auto kind = Fixed(r, place->size, type);
        const auto text = Variable(r, place->size, object_name);
        if (!kind || kind->second < 2 || (Get16(r + kind->first) & 0x7FFF) != kObjectTable ||
            !text) {
          continue;
        }
        const std::string listed = file_->DecodeText({r + text->first, text->second});
        if (!SameNameIgnoringCase(listed, table_)) continue;
        const auto reference = Variable(r, place->size, properties);
        if (!reference) NotSupported("its catalogue row has none");
        if (reference->second < kLongValueHeader)
          file_->Damaged("a long value's header is cut short");
        return place->at + reference->first;
      }
    }
    throw MakeError(err::kTableNotFound, {table_}, "'" + name_ + "'");
  }

  // Where a column's value lies in a row (offset, size); nothing when Null.
  using Span = std::optional<std::pair<std::size_t, std::size_t>>;

  static bool Present(const std::uint8_t* row, std::size_t size, std::uint16_t number) {
    const std::size_t columns = Get16(row);
    const std::size_t mask = (columns + 7) / 8;
    return number < columns && size >= 2 + mask &&
           (row[size - mask + number / 8] & (1 << (number % 8))) != 0;
  }

  Span Fixed(const std::uint8_t* row, std::size_t size, const JetColumn& column) const {
    if (!Present(row, size, column.number)) return std::nullopt;
    const std::size_t at = 2 + std::size_t{column.fixed_offset};
    if (at + column.length > size) file_->Damaged("a fixed value lies outside its row");
    return std::make_pair(at, std::size_t{column.length});
  }

  Span Variable(const std::uint8_t* row, std::size_t size, const JetColumn& column) const {
    if (!Present(row, size, column.number)) return std::nullopt;
    const std::size_t mask = (Get16(row) + 7) / 8;
    if (size < 2 + mask + 2) file_->Damaged("a row is cut short");
    const std::size_t count = Get16(row + size - mask - 2);
    if (column.var_index >= count) return std::nullopt;
    const std::size_t offsets = size - mask - 4;  // the first, then backwards
    if (offsets < 2 * (std::size_t{column.var_index} + 1))
      file_->Damaged("a row's offsets do not fit");
    const std::size_t from = Get16(row + offsets - 2 * column.var_index);
    const std::size_t to = Get16(row + offsets - 2 * (column.var_index + 1));
    if (from > to || to > size) file_->Damaged("a variable value lies outside its row");
    return std::make_pair(from, to - from);
  }

  // The long value at `pointer`, in one row or a chain of rows (each
  // starting with the pointer to the next); `rows` gets the rows it takes.
  std::vector<std::uint8_t> ReadLongValue(std::uint32_t head, std::uint32_t pointer,
                                          std::vector<RowPlace>& rows) const {
    const std::size_t length = head & kLengthMask;
    std::vector<std::uint8_t> out;
    for (std::uint32_t next = pointer; out.size() < length || rows.empty();) {
      if (next == 0 || rows.size() > bytes_.size() / page_size_) {
        file_->Damaged("the property value of table '" + table_ + "' is broken");
      }
      std::uint16_t flags = 0;
      const auto row = ReadRow(next >> 8, next & 0xFF, &flags);
      if (!row) file_->Damaged("the property value of table '" + table_ + "' is missing");
      rows.push_back(*row);
      const std::uint8_t* b = &bytes_[row->at];
      if (head & kOneRow) {
        if (row->size < length) file_->Damaged("a long value is cut short");
        return {b, b + length};
      }
      if (row->size <= 4) file_->Damaged("a long value's chain is broken");
      next = Get32(b);
      const std::size_t take = std::min(row->size - 4, length - out.size());
      out.insert(out.end(), b + 4, b + 4 + take);
    }
    return out;
  }

  // Puts `value` in a new row of an LvProp long value page with room,
  // as its maps list them (those with free space first); its row pointer.
  std::uint32_t Store(const JetTableDef& objects, std::uint16_t column,
                      const std::vector<std::uint8_t>& value) {
    std::vector<std::uint32_t> candidates;
    for (const auto& maps : objects.long_value_maps) {
      if (maps.column != column) continue;
      for (std::uint32_t map : {maps.free_pages, maps.pages}) {
        for (std::uint32_t page : file_->UsedPages(map)) candidates.push_back(page);
      }
    }
    for (std::uint32_t page : candidates) {
      if (auto row = AppendRow(page, value)) return (page << 8) | *row;
    }
    return NewPage(objects, column, value) << 8;
  }

  // Adds a long value page holding `value` as its only row at the end of
  // the file, listed in both maps of the column's long values (its pages,
  // and those with free space); its number.
  std::uint32_t NewPage(const JetTableDef& objects, std::uint16_t column,
                        const std::vector<std::uint8_t>& value) {
    const auto page = static_cast<std::uint32_t>(bytes_.size() / page_size_);
    const auto maps =
        std::find_if(objects.long_value_maps.begin(), objects.long_value_maps.end(),
                     [&](const JetTableDef::LongValueMaps& m) { return m.column == column; });
    if (maps == objects.long_value_maps.end() || page > 0xFFFFFF) {
      Refuse("no page of the catalogue's long values has room for the field properties of table '" +
             table_ + "', and a new page cannot be listed");
    }
    for (std::uint32_t map : {maps->pages, maps->free_pages}) ListPage(map, page);
    bytes_.resize(bytes_.size() + page_size_, 0);
    std::uint8_t* p = &bytes_[Offset(page)];
    p[0] = kDataPage;
    p[1] = kDataPage;
    std::copy_n("LVAL", 4, p + kOwner);
    const std::size_t start = page_size_ - value.size();
    std::copy(value.begin(), value.end(), p + start);
    Put16(p + kRowCount, 1);
    Put16(p + kRowTable, static_cast<std::uint16_t>(start));
    Put16(p + kFreeSpace, static_cast<std::uint16_t>(start - kRowTable - 2));
    return page;
  }

  // Sets the bit of `page` in the usage map at `map`, a bitmap kept in the
  // map's row (the kind every sample has). A bitmap that does not reach the
  // page is lengthened, as Access lengthens them (rows of 69, 97 and 105
  // bytes in the samples); refuses when its page has no room for that.
  void ListPage(std::uint32_t map, std::uint32_t page) {
    std::uint16_t flags = 0;
    auto row = ReadRow(map >> 8, map & 0xFF, &flags);
    if (!row || flags != 0 || row->size < 5) file_->Damaged("a long value map is missing");
    const std::uint32_t first = Get32(&bytes_[row->at + 1]);
    if (bytes_[row->at] != 0 || page < first) CannotList();
    const std::uint64_t bit = std::uint64_t{page} - first;
    if (5 + bit / 8 >= row->size) row = GrowRow(*row, static_cast<std::size_t>(5 + bit / 8 + 1));
    std::uint8_t& byte = bytes_[row->at + 5 + bit / 8];
    byte = static_cast<std::uint8_t>(byte | (1 << (bit % 8)));
  }

  [[noreturn]] void CannotList() const {
    Refuse("no page of the catalogue's long values has room for the field properties of table '" +
           table_ + "', and its map of long value pages cannot list a new page");
  }

  // Row `row` lengthened to `size` bytes with zeros after its old bytes:
  // it and the rows laid below it move down the page.
  RowPlace GrowRow(const RowPlace& row, std::size_t size) {
    std::uint8_t* p = &bytes_[Offset(row.page)];
    const std::uint16_t count = Get16(p + kRowCount);
    const std::uint16_t free = Get16(p + kFreeSpace);
    const std::size_t more = size - row.size;
    // Rows move on the page: never the one holding the catalogue row, whose
    // reference is written after.
    if (row.page == reference_page_) CannotList();
    std::size_t lowest = page_size_;
    for (unsigned r = 0; r < count; ++r) {
      const std::size_t start = Get16(p + kRowTable + 2 * r) & kRowOffsetMask;
      if (start > lowest) CannotList();  // not laid out in order
      lowest = start;
    }
    if (free < more || lowest < kRowTable + 2 * std::size_t{count} + more) CannotList();
    const std::size_t end = row.at - Offset(row.page) + row.size;
    std::copy(p + lowest, p + end, p + lowest - more);
    std::fill(p + end - more, p + end, std::uint8_t{0});
    for (unsigned r = row.row; r < count; ++r) {
      std::uint8_t* slot = p + kRowTable + 2 * r;
      Put16(slot, static_cast<std::uint16_t>(Get16(slot) - more));
    }
    Put16(p + kFreeSpace, static_cast<std::uint16_t>(free - more));
    return RowPlace{row.page, row.row, row.at - more, size};
  }

  // Appends `value` as the next row of long value page `page` when it has
  // room; the row's number.
  std::optional<unsigned> AppendRow(std::uint32_t page, const std::vector<std::uint8_t>& value) {
    file_->Page(page);  // checks the page is in the file
    std::uint8_t* p = &bytes_[Offset(page)];
    if (p[0] != kDataPage || !std::equal(p + kOwner, p + kOwner + 4, "LVAL")) return std::nullopt;
    const std::uint16_t count = Get16(p + kRowCount);
    const std::uint16_t free = Get16(p + kFreeSpace);
    if (count + 1 >= kMostRows) return std::nullopt;
    // Rows are laid from the page's end down, each slot's row ending where
    // the one before starts: the new row must go below the last one.
    std::size_t lowest = page_size_;
    for (unsigned row = 0; row < count; ++row) {
      const std::size_t start = Get16(p + kRowTable + 2 * row) & kRowOffsetMask;
      if (start > lowest) return std::nullopt;
      lowest = start;
    }
    const std::size_t need = value.size() + 2;
    if (free < need || lowest < kRowTable + 2 * (std::size_t{count} + 1) + value.size()) {
      return std::nullopt;
    }
    const std::size_t start = lowest - value.size();
    std::copy(value.begin(), value.end(), p + start);
    Put16(p + kRowTable + 2 * count, static_cast<std::uint16_t>(start));
    Put16(p + kRowCount, static_cast<std::uint16_t>(count + 1));
    Put16(p + kFreeSpace, static_cast<std::uint16_t>(free - need));
    return count;
  }

  std::vector<std::uint8_t>& bytes_;
  std::unique_ptr<JetFile> file_;
  std::size_t page_size_;
  const std::string& name_;
  const std::string& table_;
  const std::string& field_;
  std::uint32_t reference_page_ = 0;
};

}  // namespace

std::vector<std::uint8_t> StoreEmptyProperties(std::vector<std::uint8_t>& bytes,
                                               const std::string& name, const std::string& table) {
  // "MR2\0", the names chunk with no names, the table's own block: its head
  // (4-byte length 6, an empty name) and no properties.
  std::vector<std::uint8_t> value(kSignature, kSignature + sizeof kSignature);
  Append32(value, kChunkHeader);
  Append16(value, kNamesChunk);
  Append32(value, kChunkHeader + 6);
  Append16(value, kTableChunk);
  Append32(value, 6);
  Append16(value, 0);
  std::vector<std::uint8_t> changed = bytes;
  const std::string no_field;
  std::vector<std::uint8_t> reference = FlagWriter(changed, name, table, no_field).StoreNew(value);
  bytes = std::move(changed);
  return reference;
}

void WriteFieldFlags(std::vector<std::uint8_t>& bytes, const std::string& name,
                     const std::string& table, const ColumnInfo& column) {
  std::vector<std::string> set;
  if (column.required) set.emplace_back("Required");
  if (column.allow_zero_length) set.emplace_back("AllowZeroLength");
  if (set.empty()) return;
  std::vector<std::uint8_t> changed = bytes;
  FlagWriter(changed, name, table, column.name).Write(set);
  bytes = std::move(changed);
}

}  // namespace actualiz::engine::jet
