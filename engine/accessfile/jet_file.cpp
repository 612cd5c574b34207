#include "engine/accessfile/jet_file.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <unordered_set>

#include "base/error.h"
#include "base/names.h"
#include "engine/accessfile/jet_header.h"
#include "engine/jet_errors.h"

namespace actualiz::engine::jet {

namespace {

constexpr std::uint8_t kDataPage = 0x01;
constexpr std::uint8_t kTableDefPage = 0x02;
constexpr std::uint8_t kUsageBitmapPage = 0x05;
constexpr std::uint16_t kRowMoved = 0x8000;  // with kRowPointer: deleted
constexpr std::uint16_t kRowPointer = 0x4000;
constexpr std::uint16_t kRowOffsetMask = 0x1FFF;

// Characters 0x80-0x9F of Windows code page 1252, the code page of the
// Western files Jet 3 writes; the rest of the page is Latin-1.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// UTF-16 code units to UTF-8, pairing surrogates; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::vector<char16_t>& units) {
  std::string out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::uint16_t U16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t U24(std::span<const std::uint8_t> b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (static_cast<std::uint32_t>(b[at + 2]) << 16);
}
std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint64_t U64(std::span<const std::uint8_t> b, std::size_t at) {
  return U32(b, at) | (static_cast<std::uint64_t>(U32(b, at + 4)) << 32);
}

// A bounds-checked reader over a table definition's bytes.
class Cursor {
 public:
  Cursor(const JetFile& file, std::span<const std::uint8_t> bytes) : file_(file), bytes_(bytes) {}
  void Need(std::size_t n) const {
    if (at_ + n > bytes_.size()) file_.Damaged("a table definition ends early");
  }
  std::uint8_t U8() {
    Need(1);
    return bytes_[at_++];
  }
  std::uint16_t Word() {
    Need(2);
    at_ += 2;
    return U16(bytes_, at_ - 2);
  }
  std::uint32_t Long() {
    Need(4);
    at_ += 4;
    return U32(bytes_, at_ - 4);
  }
  std::span<const std::uint8_t> Take(std::size_t n) {
    Need(n);
    at_ += n;
    return bytes_.subspan(at_ - n, n);
  }
  void Skip(std::size_t n) { Take(n); }
  std::size_t At() const { return at_; }
  void Seek(std::size_t at) {
    at_ = at;
    Need(0);
  }

 private:
  const JetFile& file_;
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

double DoubleOf(std::uint64_t bits) { return std::bit_cast<double>(bits); }

std::string GuidText(std::span<const std::uint8_t> g) {
  static constexpr const char* hex = "0123456789ABCDEF";
  std::string out = "{";
  auto put = [&](std::uint8_t b) {
    out += hex[b >> 4];
    out += hex[b & 15];
  };
  for (int i = 3; i >= 0; --i) put(g[i]);
  out += '-';
  for (int i = 5; i >= 4; --i) put(g[i]);
  out += '-';
  for (int i = 7; i >= 6; --i) put(g[i]);
  out += '-';
  for (int i = 8; i < 10; ++i) put(g[i]);
  out += '-';
  for (int i = 10; i < 16; ++i) put(g[i]);
  return out + "}";
}

// A decimal's 96-bit magnitude (three 32-bit words, most significant first
// after the sign byte) scaled by 10^scale, as the nearest double.
double NumericValue(std::span<const std::uint8_t> d, int scale) {
  double magnitude = 0;
  for (int word = 0; word < 4; ++word) magnitude = magnitude * 4294967296.0 + U32(d, 1 + 4 * word);
  const double value = magnitude / std::pow(10.0, scale);
  return (d[0] & 0x80) ? -value : value;
}

// Fails when the header says the file has a password or encrypted pages:
// nothing after page 0 could be read as it stands.
void RefuseProtected(std::span<const std::uint8_t> bytes, std::uint8_t version,
                     const std::string& name) {
  const std::size_t page0 = std::min<std::size_t>(bytes.size(), version == 0 ? 2048 : 4096);
  const std::string where = "'" + name + "'";
  switch (ReadProtection(bytes.first(page0), version)) {
    case Protection::kNone:
      return;
    case Protection::kPassword:
      throw MakeError(err::kNotValidPassword, {name, "is protected by a database password"}, where);
    case Protection::kEncryptedWithPassword:
      throw MakeError(err::kNotValidPassword, {name, "is encrypted with a password"}, where);
    case Protection::kEncrypted:
      throw Error(err::kUnrecognizedFormat,
                  ErrorText(err::kUnrecognizedFormat, {name}) +
                      " The Access file is encrypted; decrypt it in Access, then open it again.",
                  where);
  }
}

}  // namespace

JetFile::JetFile(std::string name, std::vector<std::uint8_t> bytes, bool jet3)
    : name_(std::move(name)),
      bytes_(std::move(bytes)),
      jet3_(jet3),
      page_size_(jet3 ? 2048 : 4096) {}

void JetFile::Damaged(const std::string& what) const {
  throw Error(
      err::kUnrecognizedFormat,
      ErrorText(err::kUnrecognizedFormat, {name_}) + " The Access file is damaged: " + what + ".",
      "'" + name_ + "'");
}

std::unique_ptr<JetFile> JetFile::Open(const std::string& host_path, const std::string& name) {
  std::ifstream in(host_path, std::ios::binary);
  if (!in) throw MakeError(err::kCannotOpen, {name}, "'" + name + "'");
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  return FromBytes(std::move(bytes), name);
}

std::unique_ptr<JetFile> JetFile::FromBytes(std::vector<std::uint8_t> bytes,
                                            const std::string& name) {
  auto refuse = [&](const std::string& what) -> void {
    throw Error(err::kUnrecognizedFormat, ErrorText(err::kUnrecognizedFormat, {name}) + " " + what,
                "'" + name + "'");
  };
  if (bytes.size() < 0x100) refuse("The Access file is truncated.");
  const std::uint32_t version = bytes[0x14];
  if (version > 5) {
    refuse("The Access file's format version (" + std::to_string(version) +
           ") is not one this "
           "program reads.");
  }
  RefuseProtected(bytes, static_cast<std::uint8_t>(version), name);
  const bool jet3 = version == 0;
  std::unique_ptr<JetFile> file(new JetFile(name, std::move(bytes), jet3));
  const std::size_t size = file->bytes_.size();
  if (size < 3 * file->page_size_ || size % file->page_size_ != 0) {
    refuse("The Access file is truncated.");
  }
  // The catalogue's definition is always on page 2; an encrypted file
  // scrambles every page after the first, so it is unreadable there.
  auto catalogue = file->Page(2);
  if (catalogue[0] != kTableDefPage || catalogue[1] != 0x01) {
    refuse("The Access file is encrypted or damaged.");
  }
  return file;
}

std::span<const std::uint8_t> JetFile::Page(std::uint32_t number) const {
  const std::uint64_t start = std::uint64_t{number} * page_size_;
  if (number == 0 || start + page_size_ > bytes_.size()) {
    Damaged("page " + std::to_string(number) + " is outside the file");
  }
  return std::span<const std::uint8_t>(bytes_).subspan(start, page_size_);
}

std::string JetFile::DecodeText(std::span<const std::uint8_t> b) const {
  std::string out;
  if (jet3_) {
    for (std::uint8_t c : b) AppendUtf8(out, c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c);
    return out;
  }
  std::vector<char16_t> units;
  if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    // Compressed text: one byte per character, a zero byte switches between
    // one-byte and two-byte characters.
    bool compressed = true;
    for (std::size_t i = 2; i < b.size();) {
      if (b[i] == 0) {
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        units.push_back(b[i++]);
      } else if (i + 1 < b.size()) {
        units.push_back(static_cast<char16_t>(U16(b, i)));
        i += 2;
      } else {
        break;
      }
    }
  } else {
    for (std::size_t i = 0; i + 1 < b.size(); i += 2)
      units.push_back(static_cast<char16_t>(U16(b, i)));
  }
  return Utf16ToUtf8(units);
}

JetTableDef JetFile::ReadTableDef(std::uint32_t first) const {
  // A definition may continue on further pages; each continuation page's
  // header (8 bytes) is dropped.
  std::vector<std::uint8_t> all;
  std::unordered_set<std::uint32_t> seen;
  for (std::uint32_t page = first; page != 0;) {
    if (!seen.insert(page).second) Damaged("table definition pages form a loop");
    auto p = Page(page);
    if (p[0] != kTableDefPage)
      Damaged("page " + std::to_string(page) + " is not a table definition");
    const auto body = all.empty() ? p : p.subspan(8);
    all.insert(all.end(), body.begin(), body.end());
    page = U32(p, 4);
  }
  const bool j3 = jet3_;
  Cursor c(*this, all);
  JetTableDef table;
  table.page = first;
  c.Seek(j3 ? 0x0C : 0x10);
  table.row_count = c.Long();
  c.Seek(j3 ? 0x15 : 0x29);
  c.Word();  // columns ever made
  c.Word();  // variable columns
  const std::uint16_t column_count = c.Word();
  const std::uint32_t index_count = c.Long();
  const std::uint32_t real_index_count = c.Long();
  table.usage_map = c.Long();
  c.Long();  // free pages map
  if (index_count > 1000 || real_index_count > 1000) Damaged("a table definition is inconsistent");
  c.Skip(real_index_count * (j3 ? 8 : 12));

  struct Raw {
    JetColumn column;
    std::uint16_t order;
  };
  std::vector<Raw> raw(column_count);
  for (Raw& r : raw) {
    auto e = c.Take(j3 ? 18 : 25);
    JetColumn& col = r.column;
    col.type = e[0];
    col.number = U16(e, j3 ? 1 : 5);
    col.var_index = U16(e, j3 ? 3 : 7);
    r.order = U16(e, j3 ? 5 : 9);
    col.precision = e[11];
    col.scale = e[12];
    col.flags = e[j3 ? 13 : 15];
    col.fixed_offset = U16(e, j3 ? 14 : 21);
    col.length = U16(e, j3 ? 16 : 23);
  }
  auto read_name = [&]() {
    const std::size_t n = j3 ? c.U8() : c.Word();
    return DecodeText(c.Take(n));
  };
  for (Raw& r : raw) r.column.name = read_name();
  std::stable_sort(raw.begin(), raw.end(),
                   [](const Raw& a, const Raw& b) { return a.column.number < b.column.number; });
  for (Raw& r : raw) table.columns.push_back(std::move(r.column));

  for (std::uint32_t i = 0; i < real_index_count; ++i) {
    if (!j3) c.Skip(4);
    JetRealIndex index;
    for (int k = 0; k < 10; ++k) {
      const std::uint16_t column = c.Word();
      c.U8();  // ascending or descending
      if (column != 0xFFFF) index.columns.push_back(column);
    }
    index.page_map = c.Long();
    index.first_page = c.Long();
    index.flags = c.U8();
    if (!j3) c.Skip(9);
    table.real_indexes.push_back(std::move(index));
  }
  for (std::uint32_t i = 0; i < index_count; ++i) {
    if (!j3) c.Skip(4);
    JetLogicalIndex index;
    c.Long();  // its own number
    index.real = c.Long();
    c.Skip(1 + 4 + 4 + 1 + 1);  // the related table and the cascades
    index.kind = c.U8();
    if (!j3) c.Skip(4);
    if (index.real >= real_index_count) Damaged("an index names a key that does not exist");
    table.indexes.push_back(std::move(index));
  }
  for (JetLogicalIndex& index : table.indexes) index.name = read_name();
  // A list ended by 0xFFFF; a definition that stops before it has none.
  while (!j3 && c.At() + 2 <= all.size() && U16(all, c.At()) != 0xFFFF) {
    JetTableDef::LongValueMaps maps;
    maps.column = c.Word();
    maps.pages = c.Long();
    maps.free_pages = c.Long();
    table.long_value_maps.push_back(maps);
  }
  return table;
}

JetFile::Slot JetFile::ReadSlot(std::uint32_t page_number, unsigned row) const {
  auto page = Page(page_number);
  if (page[0] != kDataPage) Damaged("page " + std::to_string(page_number) + " is not a data page");
  const std::size_t table_at = jet3_ ? 8 : 12;
  const unsigned count = U16(page, table_at);
  if (row >= count || table_at + 2 + 2 * count > page_size_) {
    Damaged("row " + std::to_string(row) + " of page " + std::to_string(page_number) +
            " is missing");
  }
  const std::uint16_t entry = U16(page, table_at + 2 + 2 * row);
  Slot slot;
  slot.pointer = (entry & kRowPointer) != 0;
  slot.moved = (entry & kRowMoved) != 0;
  if (slot.pointer && slot.moved) return slot;  // deleted: its bytes mean nothing
  const std::size_t start = entry & kRowOffsetMask;
  const std::size_t end = row == 0 ? page_size_ : (U16(page, table_at + 2 * row) & kRowOffsetMask);
  if (start >= end || end > page_size_) {
    Damaged("row " + std::to_string(row) + " of page " + std::to_string(page_number) +
            " is out of place");
  }
  slot.bytes = page.subspan(start, end - start);
  return slot;
}

std::optional<std::span<const std::uint8_t>> JetFile::RowBytes(std::uint32_t page_number,
                                                               unsigned row, bool follow) const {
  // A slot's two high bits: neither, a row in place; 0x4000 alone, a
  // pointer to where the row was moved; 0x8000 alone, a row moved here from
  // another page's slot; both, a deleted row.
  const Slot slot = ReadSlot(page_number, row);
  if (slot.moved) return std::nullopt;  // deleted, or read through its pointer
  if (!slot.pointer || !follow) return slot.bytes;
  if (slot.bytes.size() < 4) Damaged("a row pointer is cut short");
  const unsigned target_row = slot.bytes[0];
  const std::uint32_t target_page = U24(slot.bytes, 1);
  const Slot target = ReadSlot(target_page, target_row);
  if (!target.moved || target.pointer) {
    Damaged("the row pointer in row " + std::to_string(row) + " of page " +
            std::to_string(page_number) + " leads to a row that was not moved there");
  }
  return target.bytes;
}

std::vector<std::uint32_t> JetFile::UsedPages(std::uint32_t map_pointer) const {
  auto map = RowBytes(map_pointer >> 8, map_pointer & 0xFF, true);
  if (!map || map->empty()) Damaged("a table's page map is missing");
  std::vector<std::uint32_t> pages;
  auto collect = [&](std::span<const std::uint8_t> bits, std::uint64_t first) {
    for (std::size_t i = 0; i < bits.size(); ++i) {
      for (int b = 0; b < 8; ++b) {
        if (bits[i] & (1 << b)) {
          const std::uint64_t page = first + i * 8 + b;
          if (page * page_size_ >= bytes_.size())
            Damaged("a table's page map names pages beyond the file");
          pages.push_back(static_cast<std::uint32_t>(page));
        }
      }
    }
  };
  const auto m = *map;
  if (m[0] == 0) {
    if (m.size() < 5) Damaged("a table's page map is cut short");
    collect(m.subspan(5), U32(m, 1));
  } else if (m[0] == 1) {
    const std::uint64_t per_page = (page_size_ - 4) * 8;
    for (std::size_t k = 0; 1 + 4 * k + 4 <= m.size(); ++k) {
      const std::uint32_t map_page = U32(m, 1 + 4 * k);
      if (map_page == 0) continue;
      auto bitmap = Page(map_page);
      if (bitmap[0] != kUsageBitmapPage)
        Damaged("page " + std::to_string(map_page) + " of a table's page map is not a bitmap");
      collect(bitmap.subspan(4), k * per_page);
    }
  } else {
    Damaged("a table's page map has an unknown kind");
  }
  return pages;
}

std::vector<JetRow> JetFile::ReadRows(const JetTableDef& table) const {
  std::vector<JetRow> rows;
  for (std::uint32_t page_number : UsedPages(table.usage_map)) {
    auto page = Page(page_number);
    if (page[0] != kDataPage || U32(page, 4) != table.page) continue;
    const unsigned count = U16(page, jet3_ ? 8 : 12);
    for (unsigned row = 0; row < count; ++row) {
      auto bytes = RowBytes(page_number, row, true);
      if (bytes) rows.push_back(DecodeRow(table, *bytes));
    }
  }
  // Access keeps the count of a table's rows in its definition. Its own
  // system tables hold more rows than their count says in files it wrote
  // (MSysQueries, MSysACEs), so there only a shortfall is a loss.
  const bool exact = !IsSystemName(table.name);
  if (rows.size() < table.row_count || (exact && rows.size() != table.row_count)) {
    auto rows_text = [](std::size_t n) { return std::to_string(n) + (n == 1 ? " row" : " rows"); };
    Damaged("table '" + table.name + "' holds " + rows_text(table.row_count) +
            " by its definition, but " + rows_text(rows.size()) + " were read");
  }
  return rows;
}

JetRow JetFile::DecodeRow(const JetTableDef& table, std::span<const std::uint8_t> row) const {
  const std::size_t width = jet3_ ? 1 : 2;  // of counts and offsets in the row
  if (row.size() < 2 * width) Damaged("a row is cut short");
  const std::size_t columns = jet3_ ? row[0] : U16(row, 0);
  const std::size_t mask_size = (columns + 7) / 8;
  const std::size_t end = row.size();
  if (end < width + mask_size + width) Damaged("a row is cut short");
  auto mask = row.subspan(end - mask_size);
  auto present = [&](std::size_t number) {
    return number < columns && (mask[number / 8] & (1 << (number % 8))) != 0;
  };
  // Offsets of the variable columns, stored backwards before the mask.
  const std::size_t var_count = jet3_ ? row[end - mask_size - 1] : U16(row, end - mask_size - 2);
  std::vector<std::size_t> offsets(var_count + 1);
  if (jet3_) {
    // Jet 3 keeps one byte per offset and, for rows longer than 256 bytes, a
    // table of the variable columns at which the offsets pass each 256.
    std::size_t jumps = (end - 1) / 256;
    const std::size_t offsets_at = end - mask_size - jumps - 2;
    if (offsets_at < var_count || (offsets_at - var_count) / 256 < jumps) --jumps;
    const std::ptrdiff_t first = static_cast<std::ptrdiff_t>(end - mask_size - jumps - 2);
    if (first - static_cast<std::ptrdiff_t>(var_count) < 1) Damaged("a row's offsets do not fit");
    std::size_t used = 0;
    for (std::size_t i = 0; i <= var_count; ++i) {
      while (used < jumps && i == row[end - mask_size - 2 - used]) ++used;
      offsets[i] = row[first - i] + used * 256;
    }
  } else {
    const std::ptrdiff_t first = static_cast<std::ptrdiff_t>(end - mask_size - 4);
    if (first - 2 * static_cast<std::ptrdiff_t>(var_count) < 2)
      Damaged("a row's offsets do not fit");
    for (std::size_t i = 0; i <= var_count; ++i) offsets[i] = U16(row, first - 2 * i);
  }
  JetRow values;
  values.reserve(table.columns.size());
  for (const JetColumn& column : table.columns) {
    const bool is_present = present(column.number);
    if (column.type == kBool) {
      values.emplace_back(is_present);
      continue;
    }
    if (!is_present) {
      values.emplace_back();
      continue;
    }
    if (column.Fixed()) {
      const std::size_t at = width + column.fixed_offset;
      if (at + column.length > end) Damaged("a fixed value lies outside its row");
      values.push_back(FixedValue(column, row.subspan(at, column.length)));
    } else {
      if (column.var_index >= var_count) {
        values.emplace_back();
        continue;
      }
      const std::size_t from = offsets[column.var_index];
      const std::size_t to = offsets[column.var_index + 1];
      if (from > to || to > end) Damaged("a variable value lies outside its row");
      values.push_back(VariableValue(column, row.subspan(from, to - from)));
    }
  }
  return values;
}

Value JetFile::FixedValue(const JetColumn& column, std::span<const std::uint8_t> d) const {
  auto need = [&](std::size_t n) {
    if (d.size() < n) Damaged("a value is shorter than its type");
  };
  switch (column.type) {
    case kByte:
      need(1);
      return Value(static_cast<std::int64_t>(d[0]));
    case kInt:
      need(2);
      return Value(static_cast<std::int64_t>(static_cast<std::int16_t>(U16(d, 0))));
    case kLong:
      need(4);
      return Value(static_cast<std::int64_t>(static_cast<std::int32_t>(U32(d, 0))));
    case kBigInt:
      need(8);
      return Value(static_cast<std::int64_t>(U64(d, 0)));
    case kMoney:
      need(8);
      return Value(static_cast<double>(static_cast<std::int64_t>(U64(d, 0))) / 10000.0);
    case kFloat:
      need(4);
      return Value(static_cast<double>(std::bit_cast<float>(U32(d, 0))));
    case kDouble:
    case kDateTime:
      need(8);
      return Value(DoubleOf(U64(d, 0)));
    case kGuid:
      need(16);
      return Value(GuidText(d));
    case kNumeric:
      need(17);
      return Value(NumericValue(d, column.scale));
    default:
      return Value(Bytes(d.begin(), d.end()));
  }
}

Value JetFile::VariableValue(const JetColumn& column, std::span<const std::uint8_t> d) const {
  switch (column.type) {
    case kText:
      return Value(DecodeText(d));
    case kMemo: {
      const std::vector<std::uint8_t> bytes = LongValue(d);
      return Value(DecodeText(bytes));
    }
    case kOle:
      return Value(Bytes(LongValue(d)));
    case kNumeric:
      if (d.size() >= 17) return Value(NumericValue(d, column.scale));
      return Value();
    default:
      return Value(Bytes(d.begin(), d.end()));
  }
}

std::vector<std::uint8_t> JetFile::LongValue(std::span<const std::uint8_t> d) const {
  if (d.size() < 12) Damaged("a memo or binary value's header is cut short");
  const std::uint32_t head = U32(d, 0);
  const std::size_t length = head & 0x3FFFFFFF;
  const std::uint32_t pointer = U32(d, 4);
  if (head & 0x80000000) {  // kept in the row itself
    if (12 + length > d.size()) Damaged("a memo or binary value is cut short");
    return {d.begin() + 12, d.begin() + 12 + static_cast<std::ptrdiff_t>(length)};
  }
  if (length > bytes_.size()) Damaged("a memo or binary value is longer than the file");
  if (head & 0x40000000) {  // in one row of a page of long values
    auto row = RowBytes(pointer >> 8, pointer & 0xFF, false);
    if (!row || row->size() < length) Damaged("a memo or binary value is missing");
    return {row->begin(), row->begin() + static_cast<std::ptrdiff_t>(length)};
  }
  // A chain of rows, each starting with the pointer to the next.
  std::vector<std::uint8_t> out;
  std::uint32_t next = pointer;
  while (out.size() < length) {
    if (next == 0) Damaged("a memo or binary value's chain ends early");
    auto row = RowBytes(next >> 8, next & 0xFF, false);
    if (!row || row->size() < 4) Damaged("a memo or binary value's chain is broken");
    next = U32(*row, 0);
    const std::size_t take = std::min(row->size() - 4, length - out.size());
    if (take == 0) Damaged("a memo or binary value's chain is broken");
    out.insert(out.end(), row->begin() + 4, row->begin() + 4 + static_cast<std::ptrdiff_t>(take));
  }
  return out;
}

}  // namespace actualiz::engine::jet
