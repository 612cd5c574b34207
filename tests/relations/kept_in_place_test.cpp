// Relations and stored queries the chains leave in place: every database
// must end exactly as when the chains drop every object and create the
// model's. A copy of each target stripped of its relations and queries
// first gives that end state (the chains can then only create), and the
// two are compared with the engine's own objects and every row.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "base/names.h"
#include "engine/description/description.h"
#include "tests/relations/relation_site.h"
#include "tests/support/demo_site.h"
#include "tests/support/own_session.h"

namespace actualiz::testing {
namespace {

using nlohmann::json;
using Strings = std::vector<std::string>;

json Everything(const std::string& host_path) {
  engine::DatabasePtr database = OpenInOwnSession(host_path);
  json description = engine::Describe(*database, {.system = true, .rows = true});
  database->Close();
  return description;
}

// Deletes every relation and stored query but the engine's own.
void Strip(const std::string& host_path) {
  engine::DatabasePtr database = OpenInOwnSession(host_path);
  for (const engine::RelationPtr& relation : database->Relations().Items()) {
    if (!IsSystemName(relation->Name())) database->Relations().Delete(relation->Name());
  }
  for (const engine::QueryDefPtr& query : database->QueryDefs().Items()) {
    if (!IsSystemName(query->Name())) database->QueryDefs().Delete(query->Name());
  }
  database->Close();
}

json Query(const std::string& name, const std::string& sql) {
  return {{"name", name}, {"sql", sql}};
}

std::string Shop(const std::vector<json>& relations, const std::vector<json>& queries) {
  json database = json::parse(ShopDatabase(relations));
  database["queries"] = queries;
  return database.dump();
}

using KeptInPlace = RelationChainTest;

TEST_F(KeptInPlace, EndStateIsTheOneDroppingEverythingGives) {
  const int cascades = engine::dbRelationUpdateCascade | engine::dbRelationDeleteCascade;
  const json invoices =
      RelationJson("ClientesFacturas", "Clientes", "Facturas", 0, {{"Codigo", "Cliente"}});
  const json invoices_cascading =
      RelationJson("ClientesFacturas", "Clientes", "Facturas", cascades, {{"Codigo", "Cliente"}});
  const json invoices_lower =
      RelationJson("clientesfacturas", "Clientes", "Facturas", 0, {{"Codigo", "Cliente"}});
  const json lines = RelationJson("PedidosLineas", "Pedidos", "Lineas", 0,
                                  {{"Serie", "Serie"}, {"Numero", "Pedido"}, {"Anio", "Anio"}});
  const json lines_swapped =
      RelationJson("PedidosLineas", "Pedidos", "Lineas", 0,
                   {{"Numero", "Pedido"}, {"Serie", "Serie"}, {"Anio", "Anio"}});
  const json all = Query("qTodos", "SELECT * FROM Clientes");
  const json some_lines = Query("qAlgunos", "SELECT Codigo FROM Clientes\r\nWHERE Codigo > 1");
  const json some_line = Query("qAlgunos", "SELECT Codigo FROM Clientes  WHERE Codigo > 1");
  const json some_other = Query("qAlgunos", "SELECT Codigo FROM Clientes WHERE Codigo > 2");
  const json all_lower = Query("qtodos", "SELECT * FROM Clientes");

  const struct {
    const char* file;
    std::string model, target;
    Strings kept;
  } cases[] = {
      // The same objects; a statement the chain carries on one line.
      {"igual.mdb",
       Shop({invoices, lines}, {all, some_lines}),
       Shop({invoices, lines}, {all, some_line}),
       {"relation kept ClientesFacturas", "relation kept PedidosLineas", "query kept qTodos",
        "query kept qAlgunos"}},
      // Another attribute, field pairs in another order, another statement:
      // those are replaced, what comes before them stays.
      {"atributos.mdb",
       Shop({lines, invoices}, {}),
       Shop({lines, invoices_cascading}, {}),
       {"relation kept PedidosLineas"}},
      {"pares.mdb",
       Shop({invoices, lines}, {}),
       Shop({invoices, lines_swapped}, {}),
       {"relation kept ClientesFacturas"}},
      {"sql.mdb", Shop({}, {all, some_lines}), Shop({}, {all, some_other}), {"query kept qTodos"}},
      // A name spelled otherwise: the chain brings the model's spelling.
      {"mayusculas.mdb", Shop({invoices}, {all}), Shop({invoices_lower}, {all_lower}), {}},
      // Objects in another order: keeping the later one would change the order.
      {"orden.mdb",
       Shop({invoices, lines}, {some_lines, all}),
       Shop({lines, invoices}, {all, some_line}),
       {"relation kept ClientesFacturas", "query kept qAlgunos"}},
  };
  for (const auto& c : cases) {
    const std::string stripped = "sin-" + std::string(c.file);
    MakePair(c.file, c.model, c.target);
    MakePair(stripped, c.model, c.target);
    Strip(HostTarget(stripped));
  }

  ASSERT_TRUE(Window().Click("Command13_Click"));

  for (const auto& c : cases) {
    const std::string stripped = "sin-" + std::string(c.file);
    EXPECT_EQ(Everything(HostTarget(c.file)), Everything(HostTarget(stripped))) << c.file;
    Strings kept;
    Strings dropped;
    for (const app::Change& change : Window().Log().Changes()) {
      if (change.database != TargetPath(c.file)) continue;
      const std::string line = app::KindText(change.kind) + " " + change.ObjectText();
      if (line.find(" kept ") != std::string::npos) kept.push_back(line);
      if (line.find(" dropped ") != std::string::npos) dropped.push_back(change.ObjectText());
    }
    EXPECT_EQ(kept, c.kept) << c.file;
    for (const std::string& object : dropped) {
      for (const std::string& line : kept) EXPECT_NE(line.substr(line.rfind(' ') + 1), object);
    }
  }
  EXPECT_TRUE(Window().Log().Failures().empty());
}

// The demo run twice, and each time beside a copy stripped first: the same
// end, and the second run keeps every relation and query and calls every
// database up to date.
TEST(KeptInPlaceDemo, EndsAsDroppingEverythingAndASecondRunIsUpToDate) {
  const DemoSite kept;
  const DemoSite stripped;
  auto strip_all = [&] {
    for (const auto& entry : std::filesystem::directory_iterator(stripped.Data())) {
      if (entry.path().extension() == ".mdb") Strip(entry.path().string());
    }
  };
  auto same_end = [&](const char* round) {
    for (const auto& entry : std::filesystem::directory_iterator(kept.Data())) {
      if (entry.path().extension() != ".mdb") continue;
      const std::string name = entry.path().filename().string();
      EXPECT_EQ(Everything(entry.path().string()), Everything((stripped.Data() / name).string()))
          << round << " " << name;
    }
  };
  for (const char* round : {"first run", "second run"}) {
    strip_all();
    ASSERT_EQ(kept.Batch().status, 0) << round;
    ASSERT_EQ(stripped.Batch().status, 0) << round;
    same_end(round);
  }

  const json report = kept.ReportJson();
  EXPECT_EQ(report["totals"]["upToDate"], report["totals"]["pairs"]);
  EXPECT_GT(report["totals"]["kept"].get<int>(), 0);
  EXPECT_EQ(report["totals"]["relationsDropped"], 0);
  EXPECT_EQ(report["totals"]["queriesDropped"], 0);
  for (const json& database : report["databases"]) {
    EXPECT_TRUE(database["changes"].empty()) << database["name"];
  }
}

}  // namespace
}  // namespace actualiz::testing
