// Lays out a drive for the batch benchmark:
//
//   DIR/c/prog/modelos/dbNNNN.mdb   N models
//   DIR/c/datos/dbNNNN.mdb          N customer databases, R rows a table
//   DIR/c/Zarade/*.mdb              the three catalogues, empty
//   DIR/floor/dbNNNN.mdb            fresh copies of the customer databases
//                                   for the floor, which changes them
//                                   straight through SQLite
//
// One model and one customer database are built (schema through the engine,
// rows straight through SQLite in one transaction, which is what makes large
// row counts quick) and then copied N times.
//
// Usage: actualiz-bench-generate --into DIR --pairs N --rows R [--for-server]
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include "app/catalogues.h"
#include "base/error.h"
#include "bench/failure.h"
#include "bench/pair_shape.h"
#include "engine/engine.h"

namespace fs = std::filesystem;
using namespace actualiz;

namespace {

void Check(int rc, sqlite3* db, const std::string& what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    throw std::runtime_error(what + ": " + sqlite3_errmsg(db));
  }
}

void CreateTables(engine::Database& db, const bench::DatabaseShape& shape) {
  for (const auto& table : shape.tables) {
    engine::TableDefPtr def = db.CreateTableDef(table.name);
    for (const auto& field : table.fields) {
      def->Fields().Append(def->CreateField(field.name, field.type, field.size));
    }
    db.TableDefs().Append(def);
  }
}

void CreateIndexesRelationsQueries(engine::Database& db, const bench::DatabaseShape& shape) {
  for (const auto& table : shape.tables) {
    engine::TableDefPtr def = db.TableDefs().Item(table.name);
    for (const auto& index : table.indexes) {
      engine::IndexPtr made = def->CreateIndex(index.name);
      for (const auto& field : index.fields) made->Fields().Append(made->CreateField(field));
      made->SetUnique(index.unique);
      def->Indexes().Append(made);
    }
  }
  for (const auto& relation : shape.relations) {
    engine::RelationPtr made = db.CreateRelation(relation.name, relation.table,
                                                 relation.foreign_table, relation.attributes);
    for (const auto& [field, foreign] : relation.fields) {
      engine::FieldPtr pair = made->CreateField(field);
      pair->SetForeignName(foreign);
      made->Fields().Append(pair);
    }
    db.Relations().Append(made);
  }
  for (const auto& query : shape.queries) db.CreateQueryDef(query.name, query.sql);
}

// Binds the value row `i` holds in `field`. Referencing fields repeat the
// referenced key of the same row, so every relation holds on the data.
void BindValue(sqlite3_stmt* stmt, int column, const bench::FieldShape& field, int i) {
  const std::string code = fmt::format("C{:07}", i + 1);
  if (field.name == "Id" || field.name == "RefId") {
    sqlite3_bind_int64(stmt, column, i + 1);
  } else if (field.name == "Codigo" || field.name == "RefCodigo") {
    sqlite3_bind_text(stmt, column, code.c_str(), -1, SQLITE_TRANSIENT);
  } else if (field.name == "Nombre") {
    sqlite3_bind_text(stmt, column, fmt::format("Cliente {}", i % 997).c_str(), -1,
                      SQLITE_TRANSIENT);
  } else if (field.name == "Notas") {
    sqlite3_bind_text(stmt, column, fmt::format("Nota de la fila {}", i).c_str(), -1,
                      SQLITE_TRANSIENT);
  } else if (field.type == 1) {
    sqlite3_bind_int(stmt, column, i % 2);
  } else if (field.type == 5 || field.type == 6 || field.type == 7) {
    sqlite3_bind_double(stmt, column, (i % 10000) / 4.0);
  } else if (field.type == 8) {
    sqlite3_bind_double(stmt, column, 40000.0 + i % 5000);
  } else {
    sqlite3_bind_int(stmt, column, i % 200);
  }
}

void FillRows(const fs::path& file, const bench::DatabaseShape& shape, int rows) {
  sqlite3* db = nullptr;
  Check(sqlite3_open(file.c_str(), &db), db, "open " + file.string());
  Check(sqlite3_exec(db, "PRAGMA synchronous=OFF; BEGIN", nullptr, nullptr, nullptr), db, "begin");
  for (const auto& table : shape.tables) {
    std::string names, marks;
    for (const auto& field : table.fields) {
      names += (names.empty() ? "\"" : ", \"") + field.name + "\"";
      marks += marks.empty() ? "?" : ", ?";
    }
    const std::string sql =
        "INSERT INTO \"" + table.name + "\" (" + names + ") VALUES (" + marks + ")";
    sqlite3_stmt* stmt = nullptr;
    Check(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), db, sql);
    for (int i = 0; i < rows; ++i) {
      for (size_t c = 0; c < table.fields.size(); ++c) {
        BindValue(stmt, static_cast<int>(c) + 1, table.fields[c], i);
      }
      Check(sqlite3_step(stmt), db, sql);
      sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
  }
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_close(db);
}

void BuildDatabase(const fs::path& file, const bench::DatabaseShape& shape, int rows) {
  fs::remove(file);
  engine::Session session;
  {
    engine::DatabasePtr db = engine::CreateDatabase(session, file.string());
    CreateTables(*db, shape);
    db->Close();
  }
  if (rows > 0) FillRows(file, shape, rows);
  engine::DatabasePtr db = engine::OpenDatabase(session, file.string());
  CreateIndexesRelationsQueries(*db, shape);
  db->Close();
}

std::string PairName(int i) { return fmt::format("db{:04}.mdb", i); }

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Lays out database pairs for the batch benchmark"};
  std::string into;
  int pairs = 10;
  int rows = 100;
  bool for_server = false;
  app.add_option("--into", into, "directory to lay out (made if missing)")->required();
  app.add_option("--pairs", pairs, "number of database pairs")->check(CLI::PositiveNumber);
  app.add_option("--rows", rows, "rows in each table of a customer database")
      ->check(CLI::NonNegativeNumber);
  app.add_flag("--for-server", for_server,
               "give relations over two field pairs the unique index a server needs");
  CLI11_PARSE(app, argc, argv);

  try {
    const fs::path root = fs::absolute(into);
    const fs::path models = root / "c" / "prog" / "modelos";
    const fs::path data = root / "c" / "datos";
    const fs::path floor = root / "floor";
    const fs::path templates = root / "template";
    for (const fs::path& dir : {models, data, floor, templates}) fs::create_directories(dir);

    platform::DriveMap drives;
    drives.Map('c', (root / "c").string());
    app::ProvisionCatalogues(drives);

    const fs::path model = templates / "model.mdb";
    const fs::path customer = templates / "customer.mdb";
    BuildDatabase(model, bench::ModelShape(for_server), 0);
    BuildDatabase(customer, bench::CustomerShape(for_server), rows);

    const auto replace = fs::copy_options::overwrite_existing;
    for (int i = 0; i < pairs; ++i) {
      fs::copy_file(model, models / PairName(i), replace);
      fs::copy_file(customer, data / PairName(i), replace);
      fs::copy_file(customer, floor / PairName(i), replace);
    }
    std::printf("%d pairs of %d rows a table in %s\n", pairs, rows, root.c_str());
    return 0;
  } catch (...) {
    return bench::ReportFailure();
  }
}
