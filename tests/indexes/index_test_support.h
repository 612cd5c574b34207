// A database pair, the window and readers of the index catalogue for the
// tests of the index chain.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/actualiz.h"
#include "tests/support/window_fixture.h"

namespace actualiz::testing {

// An index as a test compares it.
struct IndexShape {
  std::string name;
  std::vector<std::string> fields;
  bool unique = false;
  bool primary = false;
  bool operator==(const IndexShape&) const = default;
};
void PrintTo(const IndexShape& index, std::ostream* out);

// One row of "indices": nombreind, tabla, campo, unico.
struct CatalogueEntry {
  std::string index, table, field, unique;
  bool operator==(const CatalogueEntry&) const = default;
};
void PrintTo(const CatalogueEntry& row, std::ostream* out);

class IndexChainTest : public ::testing::Test {
 protected:
  static constexpr const char* kModel = "c:\\prog\\modelos\\clientes.mdb";
  static constexpr const char* kTarget = "c:\\datos\\clientes.mdb";

  // The window's start-up may record failures of its own; the tests look
  // only at what the index chain records.
  IndexChainTest() : window_(site_.MakeWindow()) { window_->Log().Clear(); }

  // Creates the model and the target of "clientes.mdb" and points Text3 and
  // Text4 at them.
  void MakePair(const std::string& model_json, const std::string& target_json);

  // The indexes of `table` in the database at a Windows path, in the
  // engine's order.
  std::vector<IndexShape> IndexesOf(const std::string& path, const std::string& table) const;
  // Where each index of the database at a Windows path is stored, by
  // "<index> on <table>": its row in sqlite_master and its root page. An
  // index dropped and created again gets a row after every entry that
  // stayed, so a row that did not move is an index left untouched.
  struct StoredIndex {
    std::int64_t row = 0, root_page = 0;
    bool operator==(const StoredIndex&) const = default;
  };
  std::map<std::string, StoredIndex> StoredIndexes(const std::string& path) const;
  // Every row of the index catalogue file, in stored order.
  std::vector<CatalogueEntry> CatalogueRows() const;
  // Adds a catalogue row the way the handlers do: AddNew on Data3's view,
  // the bound boxes, the record update.
  void AddCatalogueRow(const CatalogueEntry& row);
  // Sets List10 to `tables`.
  void ListTables(const std::vector<std::string>& tables);
  // The run log's changes of `kind`, as their objects.
  std::vector<std::string> ChangesOf(const std::string& kind) const;
  // The failures passed over, as "statement: number".
  std::vector<std::string> PassedOver() const;

  TestSite site_;
  std::unique_ptr<app::Actualiz> window_;
  app::Actualiz& w() { return *window_; }
};

}  // namespace actualiz::testing
