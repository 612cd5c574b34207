// The floor of the check benchmark: reads the structure of every database
// file given straight through SQLite, read-only: the schema table and every
// one of the engine's own tables ("MSys..."), where the fields, indexes,
// relations and queries are kept, each row's every column.
//
// Usage: actualiz-bench-schema-floor FILE...   (prints the seconds taken)
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Steps through every row of `sql` reading each column; returns the bytes read.
size_t ReadAll(sqlite3* db, const std::string& sql, std::vector<std::string>* first_column) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    throw std::runtime_error(sqlite3_errmsg(db));
  }
  size_t bytes = 0;
  int rc;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
      sqlite3_column_text(statement, i);
      bytes += static_cast<size_t>(sqlite3_column_bytes(statement, i));
    }
    if (first_column) {
      const unsigned char* text = sqlite3_column_text(statement, 0);
      first_column->emplace_back(text ? reinterpret_cast<const char*>(text) : "");
    }
  }
  sqlite3_finalize(statement);
  if (rc != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db));
  return bytes;
}

size_t ReadStructure(const char* path) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path, &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error(std::string("cannot open ") + path);
  }
  std::vector<std::string> own;
  size_t bytes = ReadAll(db, "SELECT name, * FROM sqlite_master", nullptr);
  bytes += ReadAll(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name LIKE 'MSys%'",
                   &own);
  for (const std::string& table : own)
    bytes += ReadAll(db, "SELECT * FROM \"" + table + "\"", nullptr);
  sqlite3_close(db);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const auto start = std::chrono::steady_clock::now();
    size_t bytes = 0;
    for (int i = 1; i < argc; ++i) bytes += ReadStructure(argv[i]);
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
    std::printf("%.6f\n", taken.count());
    std::fprintf(stderr, "%zu bytes of structure read\n", bytes);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
}
