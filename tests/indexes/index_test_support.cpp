#include "tests/indexes/index_test_support.h"

#include <sqlite3.h>

#include <ostream>

#include "app/catalogues.h"
#include "engine/engine.h"
#include "tests/support/db_builder.h"
#include "tests/support/own_session.h"

namespace actualiz::testing {

void PrintTo(const IndexShape& index, std::ostream* out) {
  *out << index.name << "(";
  for (size_t i = 0; i < index.fields.size(); ++i) *out << (i ? "," : "") << index.fields[i];
  *out << ")" << (index.unique ? " unique" : "") << (index.primary ? " primary" : "");
}

void PrintTo(const CatalogueEntry& row, std::ostream* out) {
  *out << "{" << row.index << ", " << row.table << ", " << row.field << ", " << row.unique << "}";
}

void IndexChainTest::MakePair(const std::string& model_json, const std::string& target_json) {
  site_.Database(kModel, model_json);
  site_.Database(kTarget, target_json);
  w().Text3.SetText(kModel);
  w().Text4.SetText(kTarget);
}

std::vector<IndexShape> IndexChainTest::IndexesOf(const std::string& path,
                                                  const std::string& table) const {
  std::vector<IndexShape> shapes;
  const nlohmann::json description = DescribeFile(site_.Host(path));
  for (const auto& t : description.at("tables")) {
    if (t.at("name") != table) continue;
    for (const auto& index : t.at("indexes")) {
      shapes.push_back({index.at("name"), index.at("fields").get<std::vector<std::string>>(),
                        index.at("unique"), index.at("primary")});
    }
  }
  return shapes;
}

std::map<std::string, IndexChainTest::StoredIndex> IndexChainTest::StoredIndexes(
    const std::string& path) const {
  std::map<std::string, StoredIndex> stored;
  sqlite3* db = nullptr;
  const std::string host = site_.Host(path);
  EXPECT_EQ(sqlite3_open_v2(host.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db,
                               "SELECT i.\"IndexName\" || ' on ' || i.\"TableName\", m.rowid, "
                               "m.rootpage FROM \"MSysIndexes\" i JOIN sqlite_master m "
                               "ON m.name = i.\"SqliteName\" AND m.type = 'index'",
                               -1, &stmt, nullptr),
            SQLITE_OK)
      << sqlite3_errmsg(db);
  while (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW) {
    stored[reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))] = {
        sqlite3_column_int64(stmt, 1), sqlite3_column_int64(stmt, 2)};
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return stored;
}

std::vector<CatalogueEntry> IndexChainTest::CatalogueRows() const {
  std::vector<CatalogueEntry> rows;
  engine::DatabasePtr catalogue = testing::OpenInOwnSession(site_.Host(app::kIndexCatalogue));
  engine::RecordsetPtr view = catalogue->OpenRecordset("indices");
  auto text = [&](const char* field) { return view->Fields().Item(field)->GetValue().ToText(); };
  while (!view->Eof() && !view->Bof()) {
    rows.push_back({text("nombreind"), text("tabla"), text("campo"), text("unico")});
    view->MoveNext();
  }
  catalogue->Close();
  return rows;
}

void IndexChainTest::AddCatalogueRow(const CatalogueEntry& row) {
  w().Data3.Recordset().AddNew();
  w().Text1(0).SetText(row.index);
  w().Text1(1).SetText(row.table);
  w().Text1(2).SetText(row.field);
  w().Text1(3).SetText(row.unique);
  w().Data3.UpdateRecord();
}

void IndexChainTest::ListTables(const std::vector<std::string>& tables) {
  w().List10.Clear();
  for (const std::string& table : tables) w().List10.AddItem(table);
}

std::vector<std::string> IndexChainTest::ChangesOf(const std::string& kind) const {
  std::vector<std::string> objects;
  for (const app::Change& change : window_->Log().Changes()) {
    if (app::KindText(change.kind) == kind) objects.push_back(change.ObjectText());
  }
  return objects;
}

std::vector<std::string> IndexChainTest::PassedOver() const {
  std::vector<std::string> failures;
  for (const app::Failure& failure : window_->Log().Failures()) {
    if (failure.passed_over) {
      failures.push_back(failure.statement + ": " + std::to_string(failure.number));
    }
  }
  return failures;
}

}  // namespace actualiz::testing
