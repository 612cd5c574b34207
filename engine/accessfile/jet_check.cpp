#include "engine/accessfile/jet_check.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "base/error.h"
#include "base/names.h"
#include "engine/accessfile/jet_catalog.h"

namespace actualiz::engine::jet {

namespace {

constexpr std::uint8_t kDataPage = 0x01;
constexpr std::uint8_t kIndexNodePage = 0x03;
constexpr std::uint8_t kIndexLeafPage = 0x04;
constexpr std::uint16_t kSlotOffsetMask = 0x1FFF;
constexpr std::uint16_t kSlotMoved = 0x8000;  // with 0x4000 too: deleted
constexpr std::size_t kRowPointerSize = 4;    // 3-byte page, then row, ending each index entry
constexpr std::uint32_t kLongValueOwner = 0x4C41564C;  // "LVAL", where a data page names its owner

std::uint16_t U16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::string PageText(std::uint32_t page) { return "page " + std::to_string(page); }
std::string Hex(unsigned byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

// Where the parts of data and index pages start: Jet 3 keeps shorter headers.
struct Layout {
  std::size_t row_table;    // data page: the row count, then one offset per row
  std::size_t entry_marks;  // index page: a bit for each byte where an entry ends
  std::size_t first_entry;  // index page: where the entries start
};

// A row as an index entry names it: the page and the slot in its row table.
using RowId = std::pair<std::uint32_t, unsigned>;

std::string RowText(RowId row) {
  return PageText(row.first) + " row " + std::to_string(row.second);
}

// One slot of a data page's row table: its flag bits and the bytes it spans
// (a deleted row keeps its bytes until the page is rewritten).
struct Slot {
  std::uint16_t flags = 0;
  std::size_t start = 0;
  std::size_t end = 0;
  bool Live() const { return (flags & kSlotMoved) == 0; }  // in place, or a pointer to the row
};

// One leaf entry of an index, its shared prefix put back.
struct Entry {
  std::uint32_t page = 0;
  std::size_t number = 0;  // on its page
  std::vector<std::uint8_t> bytes;
  RowId Row() const {
    const std::size_t at = bytes.size() - kRowPointerSize;
    return {(std::uint32_t{bytes[at]} << 16) | (std::uint32_t{bytes[at + 1]} << 8) | bytes[at + 2],
            bytes[at + 3]};
  }
};

class Checker {
 public:
  explicit Checker(const JetFile& file)
      : file_(file),
        layout_(file.Jet3() ? Layout{8, 0x16, 0xF8} : Layout{12, 0x1B, 0x1E0}),
        page_size_(file.PageSize()) {}

  std::vector<std::string> Run() {
    std::vector<std::pair<std::string, std::uint32_t>> tables;
    try {
      tables = ListTablePages(file_);
    } catch (const Error& e) {
      Problem("the catalogue (MSysObjects, page 2) cannot be read: " + e.Text());
    }
    for (const auto& [name, page] : tables) owners_[page] = name;
    for (std::uint32_t page = 1; page < file_.PageCount(); ++page) {
      if (file_.Page(page)[0] == kDataPage) CheckFreeSpace(page);
    }
    for (const auto& [name, page] : tables) {
      try {
        JetTableDef table = file_.ReadTableDef(page);
        table.name = name;
        CheckTable(table);
      } catch (const Error& e) {
        Problem("table '" + name + "' (" + PageText(page) + "): " + e.Text());
      }
    }
    CheckUnclaimedPages();
    return problems_;
  }

 private:
  void Problem(std::string text) { problems_.push_back(std::move(text)); }

  // The row table of data page `page`, or nothing (and a problem listed,
  // once) when it does not fit the page or its rows overlap it.
  const std::optional<std::vector<Slot>>& Slots(std::uint32_t page) {
    auto found = slots_.find(page);
    if (found == slots_.end()) found = slots_.emplace(page, ReadSlots(page)).first;
    return found->second;
  }

  std::optional<std::vector<Slot>> ReadSlots(std::uint32_t page) {
    const auto bytes = file_.Page(page);
    const std::size_t count = U16(bytes, layout_.row_table);
    const std::size_t table_end = layout_.row_table + 2 + 2 * count;
    if (table_end > page_size_) {
      Problem(PageText(page) + ": its row table of " + std::to_string(count) +
              " rows runs past the page");
      return std::nullopt;
    }
    std::vector<Slot> slots(count);
    std::size_t end = page_size_;  // each row ends where the one before it starts
    for (std::size_t row = 0; row < count; ++row) {
      const std::uint16_t entry = U16(bytes, layout_.row_table + 2 + 2 * row);
      Slot& slot = slots[row];
      slot.flags = entry & ~kSlotOffsetMask;
      slot.start = entry & kSlotOffsetMask;
      slot.end = end;
      if (slot.start < table_end || slot.start > slot.end) {
        Problem(PageText(page) + ": row " + std::to_string(row) + " is out of place");
        return std::nullopt;
      }
      end = slot.start;
    }
    return slots;
  }

  // The stored free space of a data page is what its row table and the
  // bytes of its rows, deleted ones included, leave of the page.
  void CheckFreeSpace(std::uint32_t page) {
    const auto& slots = Slots(page);
    if (!slots) return;
    std::size_t used = layout_.row_table + 2 + 2 * slots->size();
    for (const Slot& slot : *slots) used += slot.end - slot.start;
    const std::size_t stored = U16(file_.Page(page), 2);
    if (stored != page_size_ - used) {
      Problem(PageText(page) + OwnerText(page) + ": its free space is stored as " +
              std::to_string(stored) + " bytes, but its row table and rows leave " +
              std::to_string(page_size_ - used));
    }
  }

  std::string OwnerText(std::uint32_t page) const {
    const std::uint32_t owner = U32(file_.Page(page), 4);
    const auto table = owners_.find(owner);
    if (table != owners_.end()) return " (table '" + table->second + "')";
    return " (owner " + PageText(owner) + ")";
  }

  // The maps a Memo or OLE field keeps of its long value pages (and of
  // those with free space) claim only long value pages: data pages whose
  // owner field reads "LVAL". A field's two maps may claim the same page.
  void CheckLongValueMaps(const JetTableDef& table, const std::string& who) {
    for (const JetTableDef::LongValueMaps& maps : table.long_value_maps) {
      for (const std::uint32_t map : {maps.pages, maps.free_pages}) {
        if (map == 0) continue;  // Access leaves the free pages' map out at times
        for (std::uint32_t page : file_.UsedPages(map)) {
          const auto bytes = file_.Page(page);
          if (bytes[0] != kDataPage || U32(bytes, 4) != kLongValueOwner) {
            Problem(PageText(page) + ": the long value map of column " +
                    std::to_string(maps.column) + " of " + who +
                    " claims it, but it is not a long value page");
          }
        }
      }
    }
  }

  // Claims `page` for `who`; a page claimed twice is listed.
  void Claim(std::uint32_t page, const std::string& who) {
    const auto [it, inserted] = claimed_by_.emplace(page, who);
    if (!inserted) {
      Problem(PageText(page) + ": claimed by the usage maps of both " + it->second + " and " + who);
    }
  }

  void CheckTable(const JetTableDef& table) {
    const std::string who = "table '" + table.name + "'";
    std::set<RowId> live;
    for (std::uint32_t page : file_.UsedPages(table.usage_map)) {
      Claim(page, who);
      const auto bytes = file_.Page(page);
      if (bytes[0] != kDataPage) {
        Problem(PageText(page) + ": the usage map of " + who + " claims it, but it is not a data " +
                "page (type " + Hex(bytes[0]) + ")");
        continue;
      }
      if (U32(bytes, 4) != table.page) {
        Problem(PageText(page) + ": the usage map of " + who + " claims it, but it belongs to " +
                PageText(U32(bytes, 4)) + ", not to the table's definition at " +
                PageText(table.page));
        continue;
      }
      const auto& slots = Slots(page);
      if (!slots) continue;
      for (unsigned row = 0; row < slots->size(); ++row) {
        if ((*slots)[row].Live()) live.emplace(page, row);
      }
    }
    CheckRowCount(table, live.size());
    CheckLongValueMaps(table, who);
    for (std::size_t i = 0; i < table.real_indexes.size(); ++i) {
      const std::string index = IndexText(table, i);
      try {
        CheckIndex(table, table.real_indexes[i], index, live);
      } catch (const Error& e) {
        Problem(index + ": " + e.Text());
      }
    }
  }

  // Access's own tables keep a count that lags behind their rows; for them
  // only fewer rows than counted is wrong, as when reading them.
  void CheckRowCount(const JetTableDef& table, std::size_t live) {
    const bool exact = !IsSystemName(table.name);
    if (live < table.row_count || (exact && live != table.row_count)) {
      Problem("table '" + table.name + "' (definition " + PageText(table.page) + "): it counts " +
              std::to_string(table.row_count) + " rows, but " + std::to_string(live) +
              " live rows are on its pages");
    }
  }

  static std::string IndexText(const JetTableDef& table, std::size_t real) {
    for (const JetLogicalIndex& index : table.indexes) {
      if (index.real == real) return "index '" + index.name + "' of table '" + table.name + "'";
    }
    return "index " + std::to_string(real) + " of table '" + table.name + "'";
  }

  void CheckIndex(const JetTableDef& table, const JetRealIndex& index, const std::string& who,
                  const std::set<RowId>& live) {
    std::set<std::uint32_t> leaves;
    for (std::uint32_t page : file_.UsedPages(index.page_map)) {
      Claim(page, who);
      const auto bytes = file_.Page(page);
      if (bytes[0] != kIndexLeafPage && bytes[0] != kIndexNodePage) {
        Problem(PageText(page) + ": the usage map of " + who +
                " claims it, but it is not an index page (type " + Hex(bytes[0]) + ")");
      } else if (U32(bytes, 4) != table.page) {
        Problem(PageText(page) + ": a page of " + who + " belongs to " + PageText(U32(bytes, 4)) +
                ", not to the table's definition at " + PageText(table.page));
      } else if (bytes[0] == kIndexLeafPage) {
        leaves.insert(page);
      }
    }
    if (!claimed_by_.contains(index.first_page) || claimed_by_[index.first_page] != who) {
      Problem(PageText(index.first_page) + ": " + who +
              " starts there, but the index's usage map does not claim it");
    }
    std::vector<Entry> entries;
    for (std::uint32_t page : LeafChain(leaves, who)) ReadEntries(page, who, entries);
    CheckEntries(table, who, entries, live);
  }

  // The leaf pages in key order: from the one without a previous page along
  // the next-page links; every leaf of the index's map must be reached.
  std::vector<std::uint32_t> LeafChain(const std::set<std::uint32_t>& leaves,
                                       const std::string& who) {
    std::vector<std::uint32_t> firsts;
    for (std::uint32_t page : leaves) {
      if (U32(file_.Page(page), 8) == 0) firsts.push_back(page);
    }
    if (leaves.empty()) return {};
    if (firsts.size() != 1) {
      Problem(PageText(firsts.empty() ? *leaves.begin() : firsts.back()) + ": " + who + " has " +
              std::to_string(firsts.size()) + " first leaf pages instead of one");
      if (firsts.empty()) return {};
    }
    std::vector<std::uint32_t> chain;
    std::set<std::uint32_t> seen;
    for (std::uint32_t page = firsts.front(), previous = 0; page != 0;) {
      if (!leaves.contains(page) || !seen.insert(page).second) {
        Problem(PageText(previous) + ": the next leaf page of " + who + " is " + PageText(page) +
                ", which is not a leaf of the index or was reached before");
        break;
      }
      const auto bytes = file_.Page(page);
      if (U32(bytes, 8) != previous) {
        Problem(PageText(page) + ": its previous leaf page is " + PageText(U32(bytes, 8)) +
                ", but it follows " + PageText(previous) + " in " + who);
      }
      chain.push_back(page);
      previous = page;
      page = U32(bytes, 12);
    }
    for (std::uint32_t page : leaves) {
      if (!seen.contains(page)) {
        Problem(PageText(page) + ": a leaf page of " + who + " that its chain of leaves misses");
      }
    }
    return chain;
  }

  // The entries of a leaf page. A bit set in the page's entry marks ends an
  // entry at that byte after the first; entries after the first leave out
  // the prefix (its length at 0x14) they share with the page's first entry.
  void ReadEntries(std::uint32_t page, const std::string& who, std::vector<Entry>& entries) {
    const auto bytes = file_.Page(page);
    const std::size_t shared = U16(bytes, 0x14);
    std::size_t start = layout_.first_entry;
    std::vector<std::uint8_t> first;
    std::size_t number = 0;
    for (std::size_t mark = 0; mark < (layout_.first_entry - layout_.entry_marks) * 8; ++mark) {
      if ((bytes[layout_.entry_marks + mark / 8] & (1 << (mark % 8))) == 0) continue;
      const std::size_t end = layout_.first_entry + mark;
      if (end > page_size_) {
        Problem(PageText(page) + ": an entry of " + who + " is marked as ending past the page");
        return;
      }
      const auto stored = bytes.subspan(start, end - start);
      Entry entry{page, number++, {}};
      if (entry.number == 0) {
        first.assign(stored.begin(), stored.end());
      } else if (shared > first.size()) {
        Problem(PageText(page) + ": entries of " + who + " share " + std::to_string(shared) +
                " bytes with the page's first entry, which has only " +
                std::to_string(first.size()));
        return;
      } else {
        entry.bytes.assign(first.begin(), first.begin() + static_cast<std::ptrdiff_t>(shared));
      }
      entry.bytes.insert(entry.bytes.end(), stored.begin(), stored.end());
      if (entry.bytes.size() <= kRowPointerSize) {
        Problem(PageText(page) + ": entry " + std::to_string(entry.number) + " of " + who +
                " is too short to hold a key and a row");
        return;
      }
      entries.push_back(std::move(entry));
      start = end;
    }
    const std::size_t stored_free = U16(bytes, 2);
    if (start > page_size_ || stored_free != page_size_ - start) {
      Problem(PageText(page) + ": the free space of a leaf page of " + who + " is stored as " +
              std::to_string(stored_free) + " bytes, but its entries leave " +
              std::to_string(page_size_ - std::min<std::size_t>(start, page_size_)));
    }
  }

  // Each entry names a live row, each live row has one entry, and the
  // entries ascend by their bytes: the key, then the row.
  void CheckEntries(const JetTableDef& table, const std::string& who,
                    const std::vector<Entry>& entries, const std::set<RowId>& live) {
    std::set<RowId> indexed;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const Entry& entry = entries[i];
      const std::string where =
          PageText(entry.page) + ": entry " + std::to_string(entry.number) + " of " + who;
      const RowId row = entry.Row();
      if (!live.contains(row)) {
        Problem(where + " points at " + RowText(row) + ", which is not a live row of the table");
      } else if (!indexed.insert(row).second) {
        Problem(where + " points at " + RowText(row) + ", as an earlier entry does");
      }
      if (i > 0 && !(entries[i - 1].bytes < entry.bytes)) {
        Problem(where + " is out of key order");
      }
    }
    if (entries.size() != live.size()) {
      Problem(who + " (definition " + PageText(table.page) + ") holds " +
              std::to_string(entries.size()) + " entries for " + std::to_string(live.size()) +
              " live rows");
    }
    for (const RowId& row : live) {
      if (!indexed.contains(row))
        Problem(RowText(row) + " of table '" + table.name + "' has no entry in " + who);
    }
  }

  // A user table's data pages are all in its usage map. Access's own tables
  // leave some out in real files, and pages of dropped tables stay behind
  // naming a definition that no longer is one: neither is checked.
  void CheckUnclaimedPages() {
    for (std::uint32_t page = 1; page < file_.PageCount(); ++page) {
      const auto bytes = file_.Page(page);
      if (bytes[0] != kDataPage || claimed_by_.contains(page)) continue;
      const auto owner = owners_.find(U32(bytes, 4));
      if (owner == owners_.end() || IsSystemName(owner->second)) continue;
      Problem(PageText(page) + ": a data page of table '" + owner->second +
              "' that its usage map does not claim");
    }
  }

  const JetFile& file_;
  const Layout layout_;
  const std::size_t page_size_;
  std::map<std::uint32_t, std::string> claimed_by_;  // page -> whose usage map claims it
  std::map<std::uint32_t, std::string> owners_;      // definition page -> table name
  std::map<std::uint32_t, std::optional<std::vector<Slot>>> slots_;  // data page -> its rows
  std::vector<std::string> problems_;
};

}  // namespace

std::vector<std::string> CheckJetPages(const JetFile& file) { return Checker(file).Run(); }

std::vector<std::string> CheckJetPages(const std::string& host_path) {
  return CheckJetPages(*JetFile::Open(host_path, host_path));
}

}  // namespace actualiz::engine::jet
