// Page-level checks of real Access files: every sample passes, and copies
// damaged on purpose are caught with a problem naming the page.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "base/error.h"
#include "engine/accessfile/jet_check.h"
#include "tests/support/jet_copy.h"
#include "tests/support/temp_dir.h"

namespace actualiz::engine::jet {
namespace {

namespace fs = std::filesystem;
using testing::JetCopy;

#define REQUIRE_SAMPLES()                          \
  if (!fs::is_directory(testing::JetSamplesDir())) \
  GTEST_SKIP() << "no Access samples at " << testing::JetSamplesDir()

std::string Joined(const std::vector<std::string>& problems) {
  std::string out;
  for (const std::string& p : problems) out += p + "\n";
  return out;
}

TEST(JetPageChecks, EverySamplePasses) {
  REQUIRE_SAMPLES();
  for (const auto& entry : fs::directory_iterator(testing::JetSamplesDir())) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".mdb" && ext != ".accdb") continue;
    SCOPED_TRACE(entry.path().filename().string());
    EXPECT_EQ(Joined(CheckJetPages(entry.path().string())), "");
  }
}

// Where the parts the damage touches are, in one sample.
struct Layout {
  const char* sample;
  std::size_t row_count_at;  // in a table definition
  std::size_t usage_map_at;  // in a table definition
  std::size_t row_table_at;  // in a data page
  std::size_t first_entry;   // in an index page
};
constexpr Layout kLayouts[] = {{"indexTestV1997.mdb", 0x0C, 0x23, 8, 0xF8},
                               {"indexTestV2003.mdb", 0x10, 0x37, 12, 0x1E0},
                               {"indexTestV2010.accdb", 0x10, 0x37, 12, 0x1E0}};

// The parts of Table1 (primary key on its Long `id`) and Table2 in the copy.
struct Places {
  JetTableDef table1, table2;
  std::uint32_t data_page = 0;  // Table1's first data page
  std::uint32_t leaf = 0;       // where Table1's primary key starts
};

Places Locate(const JetCopy& copy) {
  Places places{copy.Table("Table1"), copy.Table("Table2"), 0, 0};
  places.data_page = copy.MapPages(places.table1.usage_map).at(0);
  places.leaf = copy.IndexPage(places.table1, "PrimaryKey");
  return places;
}

// A damage made to the copy; returns the start and a later part of the
// problem that must be listed.
using Damage =
    std::function<std::pair<std::string, std::string>(JetCopy&, const Layout&, const Places&)>;

std::string Page(std::uint32_t n) { return "page " + std::to_string(n); }

// An OLE field's map of its long values, moved so that its one page is a
// data page of the table's rows.
TEST(JetPageChecks, ALongValueMapClaimingRowsIsCaught) {
  REQUIRE_SAMPLES();
  JetCopy copy("testV2003.mdb");
  const JetTableDef table = copy.Table("MSysAccessStorage");
  const std::uint32_t map = table.long_value_maps.at(0).pages;
  const std::uint32_t lval = copy.MapPages(map).at(0);
  const std::uint32_t rows = copy.MapPages(table.usage_map).at(0);
  const std::size_t row_at = copy.Word(map >> 8, 0x0E + 2 * (map & 0xFF)) & 0x1FFF;
  copy.PutLong(map >> 8, row_at + 1, copy.Long(map >> 8, row_at + 1) + rows - lval);
  testing::TempDir dir;
  copy.Save(dir.File("lv.mdb"));
  EXPECT_NE(Joined(CheckJetPages(dir.File("lv.mdb")))
                .find(Page(rows) +
                      ": the long value map of column 6 of table 'MSysAccessStorage' claims it"),
            std::string::npos);
}

TEST(JetPageChecks, DamagedCopiesAreCaughtNamingThePage) {
  REQUIRE_SAMPLES();
  const std::pair<const char*, Damage> damages[] = {
      {"a page claimed twice",
       [](JetCopy& copy, const Layout& l, const Places& p) {
         copy.PutLong(p.table2.page, l.usage_map_at, p.table1.usage_map);
         return std::pair{Page(p.data_page) + ": ", "claimed by the usage maps of both"};
       }},
      {"a free-space figure off by one",
       [](JetCopy& copy, const Layout&, const Places& p) {
         const std::uint16_t free = copy.Word(p.data_page, 2);
         copy.PutWord(p.data_page, 2, free + 1);
         return std::pair{Page(p.data_page) + " (table 'Table1'): ",
                          "stored as " + std::to_string(free + 1) +
                              " bytes, but its row table and rows leave " + std::to_string(free)};
       }},
      {"a row count off",
       [](JetCopy& copy, const Layout& l, const Places& p) {
         copy.PutLong(p.table1.page, l.row_count_at, p.table1.row_count + 1);
         return std::pair{"table 'Table1' (definition " + Page(p.table1.page) + "): ",
                          "counts " + std::to_string(p.table1.row_count + 1) + " rows, but " +
                              std::to_string(p.table1.row_count) + " live rows"};
       }},
      {"an index entry pointing at a deleted row",
       [](JetCopy& copy, const Layout& l, const Places& p) {
         const std::size_t slot = l.row_table_at + 2;
         copy.PutWord(p.data_page, slot, copy.Word(p.data_page, slot) | 0xC000);
         return std::pair{Page(p.leaf) + ": entry ",
                          "of index 'PrimaryKey' of table 'Table1' points at " + Page(p.data_page) +
                              " row 0, which is not a live row"};
       }},
      {"two index entries swapped",
       [](JetCopy& copy, const Layout& l, const Places& p) {
         EXPECT_EQ(copy.Word(p.leaf, 0x14), 0);  // no shared prefix: entries of 9 bytes each
         copy.Swap(p.leaf, l.first_entry, l.first_entry + 9, 9);
         return std::pair{Page(p.leaf) + ": entry 1 ",
                          "of index 'PrimaryKey' of table 'Table1' is out of key order"};
       }},
  };
  testing::TempDir dir;
  for (const Layout& layout : kLayouts) {
    for (const auto& [what, damage] : damages) {
      SCOPED_TRACE(std::string(layout.sample) + ": " + what);
      JetCopy copy(layout.sample);
      const Places places = Locate(copy);
      const auto [start, part] = damage(copy, layout, places);
      const std::string path = dir.File("damaged.mdb");
      copy.Save(path);
      const std::vector<std::string> problems = CheckJetPages(path);
      const bool found = std::any_of(problems.begin(), problems.end(), [&](const std::string& p) {
        return p.starts_with(start) && p.find(part) != std::string::npos;
      });
      EXPECT_TRUE(found) << "wanted " << start << "..." << part << "; got:\n" << Joined(problems);
    }
  }
}

// Nonsense where the checks read counts, offsets and links is listed as a
// problem; it never reads outside the file or stops the check with an error.
TEST(JetPageChecks, NonsenseInPagesIsListedNotFollowed) {
  REQUIRE_SAMPLES();
  const std::pair<const char*, std::function<void(JetCopy&, const Layout&, const Places&)>>
      changes[] = {
          {"a row table longer than the page",
           [](JetCopy& c, const Layout& l, const Places& p) {
             c.PutWord(p.data_page, l.row_table_at, 0xFFFF);
           }},
          {"every byte of an index page marked as an entry's end",
           [](JetCopy& c, const Layout& l, const Places& p) {
             for (std::size_t at = 0x16; at + 2 <= l.first_entry; at += 2)
               c.PutWord(p.leaf, at, 0xFFFF);
           }},
          {"a shared prefix longer than the first entry",
           [](JetCopy& c, const Layout&, const Places& p) { c.PutWord(p.leaf, 0x14, 0xFFFF); }},
          {"an index leaf linked to itself",
           [](JetCopy& c, const Layout&, const Places& p) { c.PutLong(p.leaf, 12, p.leaf); }},
          {"a usage map pointing past the file",
           [](JetCopy& c, const Layout& l, const Places& p) {
             c.PutLong(p.table1.page, l.usage_map_at, 0xFFFFFF00);
           }},
      };
  testing::TempDir dir;
  for (const Layout& layout : kLayouts) {
    for (const auto& [what, change] : changes) {
      SCOPED_TRACE(std::string(layout.sample) + ": " + what);
      JetCopy copy(layout.sample);
      const Places places = Locate(copy);
      change(copy, layout, places);
      const std::string path = dir.File("damaged.mdb");
      copy.Save(path);
      std::vector<std::string> problems;
      EXPECT_NO_THROW(problems = CheckJetPages(path));
      EXPECT_FALSE(problems.empty());
    }
  }
}

}  // namespace
}  // namespace actualiz::engine::jet
