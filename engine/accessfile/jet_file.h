// Pages, table definitions and rows of an Access database file.
//
// Access files come in three layouts that differ only in widths and
// offsets: Jet 3 (Access 97, 2 KB pages, one byte per text character in the
// file's code page), Jet 4 (Access 2000-2003, 4 KB pages, UCS-2 text that
// may be compressed) and ACE (.accdb, Access 2007 and later, laid out as
// Jet 4). A JetFile reads the whole file once and never writes it; every
// read is bounds-checked, so a damaged file fails with 3343 naming the file
// and what is wrong instead of reading past a page.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/value.h"

namespace actualiz::engine::jet {

// Column type codes as the file stores them.
enum ColumnType : std::uint8_t {
  kBool = 0x01,
  kByte = 0x02,
  kInt = 0x03,
  kLong = 0x04,
  kMoney = 0x05,
  kFloat = 0x06,
  kDouble = 0x07,
  kDateTime = 0x08,
  kBinary = 0x09,
  kText = 0x0A,
  kOle = 0x0B,
  kMemo = 0x0C,
  kGuid = 0x0F,
  kNumeric = 0x10,
  kComplex = 0x12,
  kBigInt = 0x13,
};

struct JetColumn {
  std::string name;
  std::uint8_t type = 0;
  std::uint16_t number = 0;     // bit in the null mask; what indexes name
  std::uint16_t var_index = 0;  // position among the variable columns
  std::uint16_t fixed_offset = 0;
  std::uint16_t length = 0;  // bytes
  std::uint8_t flags = 0;
  std::uint8_t precision = 0;
  std::uint8_t scale = 0;
  bool Fixed() const { return (flags & 0x01) != 0; }
};

struct JetRealIndex {
  std::vector<std::uint16_t> columns;  // column numbers, key order
  std::uint8_t flags = 0;              // 0x01 unique
  std::uint32_t page_map = 0;          // row pointer of the map of the index's pages
  std::uint32_t first_page = 0;        // the page the index starts at
};

struct JetLogicalIndex {
  std::string name;
  std::uint32_t real = 0;  // which real index holds the keys
  std::uint8_t kind = 0;   // 1 primary key, 2 foreign key of a relation
};

struct JetTableDef {
  std::string name;  // as MSysObjects names it; set by whoever reads the catalogue
  std::uint32_t page = 0;
  std::uint32_t row_count = 0;     // rows the definition says the table holds
  std::vector<JetColumn> columns;  // in the table's order
  std::vector<JetRealIndex> real_indexes;
  std::vector<JetLogicalIndex> indexes;
  std::uint32_t usage_map = 0;  // row pointer of the map of the table's data pages
  // Jet 4 and ACE: for each Memo and OLE column that has them, the row
  // pointers of the maps of its long value pages and of their free pages.
  struct LongValueMaps {
    std::uint16_t column = 0;
    std::uint32_t pages = 0;
    std::uint32_t free_pages = 0;
  };
  std::vector<LongValueMaps> long_value_maps;
};

using JetRow = std::vector<Value>;  // one value per column of the table definition

class JetFile {
 public:
  // Reads `host_path`. Fails naming `name` with 3031 when the file has a
  // database password (an ACE file: is encrypted with one), and with 3343
  // when it is not an Access database this reader knows, is truncated or
  // encrypted.
  static std::unique_ptr<JetFile> Open(const std::string& host_path, const std::string& name);
  // Reads a file already in memory, as Open does; for a changed copy that
  // is checked before it is written anywhere.
  static std::unique_ptr<JetFile> FromBytes(std::vector<std::uint8_t> bytes,
                                            const std::string& name);

  const std::string& Name() const { return name_; }
  bool Jet3() const { return jet3_; }

  // The table definition whose first page is `page`.
  JetTableDef ReadTableDef(std::uint32_t page) const;
  // Every live row of the table, in page and row order; a row moved to
  // another page is read where its slot is. Fails with 3343 naming the file
  // and the table when the rows read are not as many as the definition says
  // (for Access's own MSys tables, whose stored count lags behind their
  // rows: fewer than it says).
  std::vector<JetRow> ReadRows(const JetTableDef& table) const;

  // Fails with 3343: the file is damaged at `what`.
  [[noreturn]] void Damaged(const std::string& what) const;

  // Text stored by the file (names, text and memo values) as UTF-8.
  std::string DecodeText(std::span<const std::uint8_t> bytes) const;

  std::uint32_t PageSize() const { return page_size_; }
  std::uint32_t PageCount() const { return static_cast<std::uint32_t>(bytes_.size() / page_size_); }
  // The bytes of page `number` (1 and above; page 0 is the header). Fails
  // with 3343 when the page is outside the file.
  std::span<const std::uint8_t> Page(std::uint32_t number) const;
  // The pages a usage map lists, given the row pointer a table definition
  // keeps for it. Fails with 3343 when the map is missing or damaged.
  std::vector<std::uint32_t> UsedPages(std::uint32_t map_pointer) const;

 private:
  JetFile(std::string name, std::vector<std::uint8_t> bytes, bool jet3);
  // The bytes of row `row` of data page `page`; nothing when the row is
  // deleted. With `follow`, a row moved to another page is read through the
  // pointer left in its slot, and the moved row's own slot (read only
  // through that pointer) reads as nothing.
  std::optional<std::span<const std::uint8_t>> RowBytes(std::uint32_t page, unsigned row,
                                                        bool follow) const;
  // One slot of a data page: its flags and, unless it is deleted, its bytes.
  struct Slot {
    bool pointer = false;
    bool moved = false;
    std::span<const std::uint8_t> bytes;
  };
  Slot ReadSlot(std::uint32_t page, unsigned row) const;
  JetRow DecodeRow(const JetTableDef& table, std::span<const std::uint8_t> row) const;
  Value FixedValue(const JetColumn& column, std::span<const std::uint8_t> data) const;
  Value VariableValue(const JetColumn& column, std::span<const std::uint8_t> data) const;
  std::vector<std::uint8_t> LongValue(std::span<const std::uint8_t> data) const;

  std::string name_;
  std::vector<std::uint8_t> bytes_;
  bool jet3_ = false;
  std::uint32_t page_size_ = 4096;
};

}  // namespace actualiz::engine::jet
