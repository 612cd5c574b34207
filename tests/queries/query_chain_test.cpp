// The query chain: the listing refills the query catalogue from the model in
// Text3 and lists the target's queries; the equalisation replaces those with
// the catalogue's. Real files, the real window model.
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "engine/engine.h"
#include "tests/support/db_builder.h"
#include "tests/support/own_session.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_fixture.h"

namespace actualiz::testing {
namespace {

using nlohmann::json;
using Queries = std::vector<std::pair<std::string, std::string>>;

const char* const kModel = "c:\\prog\\modelos\\ventas.mdb";
const char* const kTarget = "c:\\datos\\ventas.mdb";
const char* const kCatalogue = "c:\\Zarade\\consulta.mdb";

// Tables "Clientes" and "Pedidos" with a row each, and the given queries.
std::string SalesDatabase(const Queries& queries) {
  json description = {
      {"tables",
       {{{"name", "Clientes"},
         {"fields",
          {{{"name", "codigo"}, {"type", 4}}, {{"name", "nombre"}, {"type", 10}, {"size", 40}}}},
         {"rows", {{{"codigo", 1}, {"nombre", "Ana"}}}}}}}};
  description["tables"].push_back(
      {{"name", "Pedidos"},
       {"fields", {{{"name", "numero"}, {"type", 4}}, {{"name", "codigo"}, {"type", 4}}}},
       {"rows", {{{"numero", 10}, {"codigo", 1}}}}});
  description["queries"] = json::array();
  for (const auto& [name, sql] : queries) {
    description["queries"].push_back({{"name", name}, {"sql", sql}});
  }
  return description.dump();
}

Queries StoredQueries(const std::string& host_path) {
  Queries out;
  const json described = DescribeFile(host_path);
  for (const json& query : described["queries"]) {
    out.emplace_back(query["name"], query["sql"]);
  }
  return out;
}

Queries CatalogueRows(const std::string& host_path) {
  Queries out;
  const json described = DescribeFile(host_path, true);
  for (const json& row : described["tables"][0]["rows"]) {
    out.emplace_back(row["nombrecon"], row["consulta"]);
  }
  return out;
}

// Runs `sql` on the file with SQLite itself; returns "" or SQLite's reason.
std::string RunOnFile(const std::string& host_path, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string problem;
  if (sqlite3_open_v2(host_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    problem = "cannot open";
  } else {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      problem = sqlite3_errmsg(db);
    } else {
      while (sqlite3_step(statement) == SQLITE_ROW) {
      }
      if (sqlite3_finalize(statement) != SQLITE_OK) problem = sqlite3_errmsg(db);
    }
  }
  sqlite3_close(db);
  return problem;
}

class QueryChain : public ::testing::Test {
 protected:
  void Pair(const Queries& model, const Queries& target) {
    BuildDatabase(site.Host(kModel), SalesDatabase(model));
    BuildDatabase(site.Host(kTarget), SalesDatabase(target));
    NewWindow();
    window->Text3.SetText(kModel);
    window->Text4.SetText(kTarget);
  }

  // A window as the program starts it, with the run log of its start-up
  // (the default data directory missing) cleared.
  void NewWindow() {
    window = site.MakeWindow();
    window->Log().Clear();
  }

  std::vector<std::string> FailedStatements() const {
    std::vector<std::string> out;
    for (const app::Failure& failure : window->Log().Failures()) out.push_back(failure.statement);
    return out;
  }

  TestSite site;
  std::unique_ptr<app::Actualiz> window;
};

TEST_F(QueryChain, StatementsOverSeveralLinesAreCarriedOnOneLine) {
  Pair({{"ConCrLf", "SELECT nombre\r\nFROM Clientes"}, {"ConLf", "SELECT numero\nFROM Pedidos"}},
       {});

  ASSERT_TRUE(window->Click("Command24_Click"));

  const Queries one_line = {{"ConCrLf", "SELECT nombre  FROM Clientes"},
                            {"ConLf", "SELECT numero FROM Pedidos"}};
  EXPECT_EQ(CatalogueRows(site.Host(kCatalogue)), one_line);
  EXPECT_EQ(StoredQueries(site.Host(kTarget)), one_line);
  EXPECT_TRUE(window->Log().Failures().empty()) << FailedStatements()[0];
  EXPECT_EQ(window->Bar6.Max(), 2.0f);
  EXPECT_EQ(window->Bar6.Value(), 2.0f);
}

TEST_F(QueryChain, AQueryBothHaveIsRecreatedWithTheModelsStatement) {
  Pair({{"Activos", "SELECT *\r\nFROM Clientes\r\nWHERE codigo > 0"}},
       {{"Activos", "SELECT codigo FROM Clientes"}, {"Viejos", "SELECT * FROM Pedidos"}});

  ASSERT_TRUE(window->Click("Command24_Click"));

  EXPECT_EQ(window->List11(1).Items(), (std::vector<std::string>{"Activos", "Viejos"}));
  EXPECT_EQ(StoredQueries(site.Host(kTarget)),
            (Queries{{"Activos", "SELECT *  FROM Clientes  WHERE codigo > 0"}}));
  std::vector<std::string> changes;
  for (const app::Change& change : window->Log().Changes()) {
    changes.push_back(app::KindText(change.kind) + ": " + change.ObjectText());
  }
  EXPECT_EQ(changes, (std::vector<std::string>{"query dropped: Activos", "query dropped: Viejos",
                                               "query created: Activos"}));
  // A query created fine never shows as a failure.
  EXPECT_TRUE(window->Log().Failures().empty());
}

TEST_F(QueryChain, TheEnginesOwnQueriesAreNeverTouchedButLowerCaseMsysIsCarried) {
  Pair({{"msysq", "SELECT * FROM Clientes"}}, {{"Otra", "SELECT * FROM Clientes"}});
  {
    engine::DatabasePtr model = testing::OpenInOwnSession(site.Host(kModel));
    model->CreateQueryDef("MSysDelModelo", "SELECT * FROM Pedidos");
    model->Close();
    engine::DatabasePtr target = testing::OpenInOwnSession(site.Host(kTarget));
    target->CreateQueryDef("MSysPropia", "SELECT codigo FROM Clientes");
    target->Close();
  }

  ASSERT_TRUE(window->Click("Command24_Click"));

  EXPECT_EQ(CatalogueRows(site.Host(kCatalogue)), (Queries{{"msysq", "SELECT * FROM Clientes"}}));
  EXPECT_EQ(window->List11(1).Items(), (std::vector<std::string>{"Otra"}));
  engine::DatabasePtr target = testing::OpenInOwnSession(site.Host(kTarget));
  Queries stored;
  for (const engine::QueryDefPtr& query : target->QueryDefs().Items()) {
    stored.emplace_back(query->Name(), query->SQL());
  }
  EXPECT_EQ(stored, (Queries{{"MSysPropia", "SELECT codigo FROM Clientes"},
                             {"msysq", "SELECT * FROM Clientes"}}));
}

TEST_F(QueryChain, AnEmptyCatalogueDeletesEveryListedQueryAndLeavesBar6Alone) {
  Pair({}, {{"Una", "SELECT * FROM Clientes"}, {"Otra", "SELECT * FROM Pedidos"}});
  window->Bar6.SetMax(7);
  window->Bar6.SetValue(3);

  ASSERT_TRUE(window->Click("Command24_Click"));

  EXPECT_TRUE(StoredQueries(site.Host(kTarget)).empty());
  EXPECT_TRUE(CatalogueRows(site.Host(kCatalogue)).empty());
  EXPECT_EQ(window->Bar6.Max(), 7.0f);
  EXPECT_EQ(window->Bar6.Value(), 3.0f);
}

TEST_F(QueryChain, TheListingReplacesWhatTheCatalogueHeldBefore) {
  Pair({{"Primera", "SELECT * FROM Clientes"}}, {});
  ASSERT_TRUE(window->Click("Command24_Click"));
  std::filesystem::remove(site.Host(kModel));
  BuildDatabase(site.Host(kModel), SalesDatabase({{"Segunda", "SELECT * FROM Pedidos"}}));

  ASSERT_TRUE(window->Click("Command24_Click"));

  EXPECT_EQ(CatalogueRows(site.Host(kCatalogue)), (Queries{{"Segunda", "SELECT * FROM Pedidos"}}));
  EXPECT_EQ(StoredQueries(site.Host(kTarget)), (Queries{{"Segunda", "SELECT * FROM Pedidos"}}));
  EXPECT_TRUE(window->List11(0).Items().empty());
  EXPECT_TRUE(window->List11(3).Items().empty());
}

TEST_F(QueryChain, AMissingModelEndsTheListingBeforeTheEqualisation) {
  Pair({}, {{"Queda", "SELECT * FROM Clientes"}});
  window->Text3.SetText("c:\\prog\\modelos\\no-existe.mdb");

  EXPECT_FALSE(window->Click("Command24_Click"));

  EXPECT_EQ(StoredQueries(site.Host(kTarget)), (Queries{{"Queda", "SELECT * FROM Clientes"}}));
}

// Another run (another window, or a batch killed part-way) changes the
// catalogue while this window's view is open: the listing must still leave
// exactly this model's queries in it and in the target.
class QueryCatalogueSharedWithAnotherRun : public QueryChain {
 protected:
  // Stores a catalogue row through a handle of its own, as another run does.
  void StoreRowElsewhere(const std::string& name, const std::string& statement) {
    engine::DatabasePtr catalogue = testing::OpenInOwnSession(site.Host(kCatalogue));
    engine::RecordsetPtr rows = catalogue->OpenRecordset("consulta");
    rows->AddNew();
    rows->Fields().Item("nombrecon")->SetValue(engine::Value(name));
    rows->Fields().Item("consulta")->SetValue(engine::Value(statement));
    rows->Update();
    catalogue->Close();
  }
};

TEST_F(QueryCatalogueSharedWithAnotherRun, RowsStoredAfterTheWindowOpenedAreNotCarried) {
  Pair({{"Propia", "SELECT * FROM Clientes"}}, {});
  StoreRowElsewhere("qPedidosPorCliente", "SELECT * FROM Pedidos");

  ASSERT_TRUE(window->Click("Command24_Click"));

  EXPECT_EQ(CatalogueRows(site.Host(kCatalogue)), (Queries{{"Propia", "SELECT * FROM Clientes"}}));
  EXPECT_EQ(StoredQueries(site.Host(kTarget)), (Queries{{"Propia", "SELECT * FROM Clientes"}}));
  EXPECT_TRUE(window->Log().Failures().empty());
}

// The equalisation started from its own button works on whatever the
// catalogue and List11(1) hold.
class QueryEqualisation : public QueryChain {
 protected:
  void AddCatalogueRow(const std::string& name, const std::string& statement) {
    window->Data5.Recordset().AddNew();
    window->campocon(0).SetText(name);
    window->campocon(1).SetText(statement);
    window->Data5.UpdateRecord();
  }
};

TEST_F(QueryEqualisation, AnUnlistedTargetQueryIsKeptAndItsNameFailsWithTheFailureRecorded) {
  Pair({}, {{"Propia", "SELECT codigo FROM Clientes"}});
  AddCatalogueRow("Propia", "SELECT * FROM Pedidos");
  AddCatalogueRow("Nueva", "SELECT * FROM Pedidos");
  window->Data5.Refresh();

  ASSERT_TRUE(window->Click("Command23_Click"));

  EXPECT_EQ(StoredQueries(site.Host(kTarget)), (Queries{{"Propia", "SELECT codigo FROM Clientes"},
                                                        {"Nueva", "SELECT * FROM Pedidos"}}));
  ASSERT_EQ(window->Log().Failures().size(), 1u);
  EXPECT_EQ(window->Log().Failures()[0].number, err::kObjectExists);
}

TEST_F(QueryEqualisation, AStatementTheEngineRejectsIsLeftOutAndTheNextRowIsCreated) {
  Pair({}, {{"Roto", "SELECT codigo FROM Clientes"}});
  window->List11(1).AddItem("Roto");
  AddCatalogueRow("Roto", "SELEC codigo FROM Clientes");
  AddCatalogueRow("Bueno", "SELECT nombre FROM Clientes");
  window->Data5.Refresh();

  ASSERT_TRUE(window->Click("Command23_Click"));

  EXPECT_EQ(StoredQueries(site.Host(kTarget)), (Queries{{"Bueno", "SELECT nombre FROM Clientes"}}));
  ASSERT_EQ(window->Log().Failures().size(), 1u);
  EXPECT_EQ(window->Log().Failures()[0].handler, "Command23_Click");
  EXPECT_NE(window->Log().Failures()[0].statement.find("Roto"), std::string::npos);
}

TEST_F(QueryEqualisation, AnUnreadableCatalogueEndsTheRunAfterTheDeletions) {
  std::filesystem::remove(site.Host(kCatalogue));
  Pair({}, {{"Una", "SELECT * FROM Clientes"}, {"Otra", "SELECT * FROM Pedidos"}});
  ASSERT_FALSE(window->Data5.HasRecordset());
  window->List11(1).AddItem("Una");
  window->Log().Clear();

  ASSERT_TRUE(window->Click("Command23_Click"));

  EXPECT_EQ(StoredQueries(site.Host(kTarget)), (Queries{{"Otra", "SELECT * FROM Pedidos"}}));
  ASSERT_EQ(window->Log().Failures().size(), 1u);
  EXPECT_EQ(window->Log().Failures()[0].handler, "Command23_Click");
  EXPECT_EQ(window->Bar6.Value(), 0.0f);
}

TEST_F(QueryEqualisation, AnUnopenableTargetIsLeftAloneAndTheWalkStillEnds) {
  Pair({}, {});
  AddCatalogueRow("Una", "SELECT * FROM Clientes");
  AddCatalogueRow("Otra", "SELECT * FROM Clientes");
  window->Data5.Refresh();
  window->List11(1).AddItem("Una");
  window->Text4.SetText("c:\\datos\\no-existe.mdb");

  ASSERT_TRUE(window->Click("Command23_Click"));

  EXPECT_EQ(window->Bar6.Max(), 2.0f);
  EXPECT_EQ(window->Bar6.Value(), 2.0f);
  EXPECT_FALSE(std::filesystem::exists(site.Host("c:\\datos\\no-existe.mdb")));
  EXPECT_TRUE(window->Log().Changes().empty());
}

TEST_F(QueryChain, AfterEveryPairTheTargetsHoldExactlyTheModelsQueriesAndEachRuns) {
  const Queries ventas = {{"PorCliente",
                           "SELECT c.nombre, p.numero\r\nFROM Clientes c\r\n"
                           "JOIN Pedidos p ON p.codigo = c.codigo"},
                          {"Todos", "SELECT *\nFROM Clientes"}};
  const Queries compras = {{"Pedidos grandes", "SELECT * FROM Pedidos WHERE numero > 5"}};
  BuildDatabase(site.Host(kModel), SalesDatabase(ventas));
  BuildDatabase(site.Host(kTarget), SalesDatabase({{"Todos", "SELECT codigo FROM Clientes"},
                                                   {"Sobra", "SELECT * FROM Pedidos"}}));
  BuildDatabase(site.Host("c:\\prog\\modelos\\compras.mdb"), SalesDatabase(compras));
  BuildDatabase(site.Host("c:\\datos\\compras.mdb"), SalesDatabase({}));
  NewWindow();

  for (const std::string name : {"ventas.mdb", "compras.mdb"}) {
    window->Text3.SetText("c:\\prog\\modelos\\" + name);
    window->Text4.SetText("c:\\datos\\" + name);
    ASSERT_TRUE(window->Click("Command24_Click")) << name;
  }

  for (const std::string name : {"ventas.mdb", "compras.mdb"}) {
    const std::string target = site.Host("c:\\datos\\" + name);
    Queries expected;
    for (const auto& [query, sql] : StoredQueries(site.Host("c:\\prog\\modelos\\" + name))) {
      std::string line = sql;
      for (char& c : line) {
        if (c == '\r' || c == '\n') c = ' ';
      }
      expected.emplace_back(query, line);
    }
    EXPECT_EQ(StoredQueries(target), expected) << name;
    for (const auto& [query, sql] : StoredQueries(target)) {
      EXPECT_EQ(RunOnFile(target, sql), "") << name << ": " << query;
    }
  }
  EXPECT_TRUE(window->Log().Failures().empty());
}

}  // namespace
}  // namespace actualiz::testing
