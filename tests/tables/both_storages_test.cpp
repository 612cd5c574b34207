// The batch (Command13_Click) through the window model over the same data
// directory held as files and as schemas on the test server: every scenario
// must record the same changes and failures and leave the same databases.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/server_address.h"
#include "tests/support/failing_storage.h"
#include "tests/support/pg_server.h"
#include "tests/support/server_site.h"
#include "tests/tables/tables_support.h"

namespace actualiz::testing {
namespace {

using nlohmann::json;
using Items = std::vector<std::string>;

std::string ModelPath(const std::string& name) { return "c:\\prog\\modelos\\" + name; }
std::string TargetPath(const std::string& name) { return "c:\\datos\\" + name; }

void BuildJson(TestSite& site, const std::string& windows_path, const json& description) {
  BuildDatabase(site.Host(windows_path), description.dump());
}

// "NAME.mdb" of a database path or of a schema's address.
std::string FileNameOf(const std::string& database) {
  if (const auto address = ParseServerAddress(database)) return address->schema + ".mdb";
  const size_t slash = database.find_last_of("\\/");
  return slash == std::string::npos ? database : database.substr(slash + 1);
}

// What a run did, with each database named by its file name alone.
struct Outcome {
  Items changes;   // "alfa.mdb: field added T.F"
  Items failures;  // "alfa.mdb: Command21_Click 3379"
  json databases;  // every database afterwards, rows and all
};

// Lays out the site, points the window at its data directory, held as
// files or copied to the server, and runs the batch.
Outcome RunBatch(const std::function<void(TestSite&)>& lay_out, bool on_server) {
  TestSite site;
  lay_out(site);
  std::unique_ptr<app::Actualiz> window = StartedWindow(site);
  const std::filesystem::path data = site.Host("c:\\datos");
  std::string location;
  if (on_server) {
    location = CopyToServer(data);
    window->Dir1.SetPath(location);
    EXPECT_EQ(window->Dir1.Path(), ParseServerAddress(location)->Display());
  }
  EXPECT_TRUE(window->Click("Command13_Click"));
  EXPECT_EQ(window->Label4.Caption(), "Proceso Terminado");
  Outcome out;
  for (const app::Change& c : window->Log().Changes()) {
    out.changes.push_back(FileNameOf(c.database) + ": " + app::KindText(c.kind) + " " +
                          c.ObjectText());
  }
  for (const app::Failure& f : window->Log().Failures()) {
    out.failures.push_back(FileNameOf(f.database) + ": " + f.handler + " " +
                           std::to_string(f.number));
  }
  out.databases = on_server ? ServerStructures(location, true) : FileStructures(data, true);
  return out;
}

// Contacts and their calls. The target's rows repeat a code and hold a
// call of a contact that does not exist; the model's objects are a unique
// index on each contact's id and code, an index on the calls' contact, a
// relation from contacts to calls and a query.
json Agenda(bool with_objects) {
  json contactos = {{"name", "Contactos"},
                    {"fields",
                     {{{"name", "Id"}, {"type", 4}, {"required", true}},
                      {{"name", "Codigo"}, {"type", 4}},
                      {{"name", "Nombre"}, {"type", 10}, {"size", 60}}}},
                    {"rows",
                     {{{"Id", 1}, {"Codigo", 5}, {"Nombre", "Ana"}},
                      {{"Id", 2}, {"Codigo", 5}, {"Nombre", "Eva"}}}}};
  json llamadas = {
      {"name", "Llamadas"},
      {"fields", {{{"name", "Contacto"}, {"type", 4}}, {{"name", "Nota"}, {"type", 12}}}},
      {"rows", {{{"Contacto", 1}, {"Nota", "hola"}}, {{"Contacto", 7}}}}};
  json description = {{"tables", {contactos, llamadas}}};
  if (!with_objects) return description;
  description["tables"][0]["rows"] = {{{"Id", 1}, {"Codigo", 5}, {"Nombre", "Ana"}}};
  description["tables"][1]["rows"] = json::array();
  description["tables"][0]["indexes"] = {
      {{"name", "idxId"}, {"fields", {"Id"}}, {"unique", true}},
      {{"name", "idxCodigo"}, {"fields", {"Codigo"}}, {"unique", true}}};
  description["tables"][1]["indexes"] = {{{"name", "idxContacto"}, {"fields", {"Contacto"}}}};
  description["relations"] = {{{"name", "relContacto"},
                               {"table", "Contactos"},
                               {"foreignTable", "Llamadas"},
                               {"attributes", 0},
                               {"fields", {{{"name", "Id"}, {"foreignName", "Contacto"}}}}}};
  description["queries"] = {
      {{"name", "qNotas"}, {"sql", "SELECT Contacto, Nota\nFROM Llamadas\nORDER BY Contacto"}}};
  return description;
}

TEST(BothStorages, EveryScenarioEndsAlikeOnFilesAndOnTheServer) {
  const struct {
    const char* name;
    std::function<void(TestSite&)> lay_out;
  } scenarios[] = {
      {"tables and fields added, a model copied in, a target without a model",
       [](TestSite& site) {
         Build(site, ModelPath("alfa.mdb"),
               {Table("Clientes", {{"Codigo", 4, 4}, {"Nombre", 10, 40}, {"Email", 10, 80}}),
                Table("Pedidos", {{"Numero", 4, 4}, {"Notas", 12, 0}})});
         Build(site, TargetPath("alfa.mdb"),
               {Table("Clientes", {{"Codigo", 4, 4}, {"Nombre", 10, 40}})});
         Build(site, TargetPath("solo.mdb"), {Table("Viejo", {{"X", 4, 4}})});
         Build(site, ModelPath("nueva.mdb"), {Table("Nueva", {{"Y", 4, 4}})});
       }},
      {"indexes, relations and queries carried in",
       [](TestSite& site) {
         BuildJson(site, ModelPath("agenda.mdb"), Agenda(true));
         json target = Agenda(false);
         target["tables"][0]["rows"].erase(1);
         target["tables"][1]["rows"].erase(1);
         BuildJson(site, TargetPath("agenda.mdb"), target);
       }},
      {"a unique index and an enforced relation the target's rows break",
       [](TestSite& site) {
         json model = Agenda(true);
         model["relations"][0]["attributes"] = 4096;  // enforced, cascading deletes
         BuildJson(site, ModelPath("agenda.mdb"), model);
         BuildJson(site, TargetPath("agenda.mdb"), Agenda(false));
       }},
      {"a field the engine refuses beside one of another case",
       [](TestSite& site) {
         Build(site, ModelPath("stock.mdb"),
               {Table("Articulos", {{"Ref", 10, 10}, {"Precio", 5, 8}, {"Stock", 4, 4}})});
         Build(site, TargetPath("stock.mdb"),
               {Table("Articulos", {{"Ref", 10, 10}, {"precio", 5, 8}})});
       }},
  };
  for (const auto& scenario : scenarios) {
    SCOPED_TRACE(scenario.name);
    const Outcome files = RunBatch(scenario.lay_out, false);
    const Outcome server = RunBatch(scenario.lay_out, true);
    EXPECT_FALSE(files.changes.empty() && files.failures.empty());
    EXPECT_EQ(server.changes, files.changes);
    EXPECT_EQ(server.failures, files.failures);
    EXPECT_EQ(server.databases, files.databases);
  }
}

TEST(BothStorages, AConnectionLostInAPairLeavesItAsItWasAndTheOtherPairsRun) {
  TestSite site;
  for (const char* name : {"alfa.mdb", "beta.mdb"}) {
    Build(site, ModelPath(name),
          {Table("Clientes", {{"Codigo", 4, 4}, {"Nombre", 10, 40}, {"Email", 10, 80}}),
           Table("Pedidos", {{"Numero", 4, 4}})});
    Build(site, TargetPath(name), {Table("Clientes", {{"Codigo", 4, 4}, {"Nombre", 10, 40}})});
  }
  std::unique_ptr<app::Actualiz> window = StartedWindow(site);
  const std::string location = CopyToServer(site.Host("c:\\datos"));
  window->Dir1.SetPath(location);
  const json before = ServerStructures(location, true);
  // Alfa's second change finds its connection cut: its first one (a table
  // made) was already sent.
  FaultPlan cut;
  cut.nth = 2;
  cut.file = "alfa.mdb";
  cut.instead = [&] {
    PgServer::Get().Run(ParseServerAddress(location)->database,
                        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
                        "current_database() AND pid <> pg_backend_pid()");
  };
  InstallFailingStorage(window->Session(), cut);

  EXPECT_TRUE(window->Click("Command13_Click"));
  EXPECT_EQ(window->Label4.Caption(), "Proceso Terminado");
  const json after = ServerStructures(location, true);
  EXPECT_EQ(after["alfa.mdb"], before["alfa.mdb"]);
  EXPECT_NE(after["beta.mdb"], before["beta.mdb"]);
  ASSERT_FALSE(window->Log().Failures().empty());
  for (const app::Failure& f : window->Log().Failures()) {
    EXPECT_EQ(FileNameOf(f.database) + " " + std::to_string(f.number), "alfa.mdb 3151")
        << app::FormatFailure(f);
  }
  EXPECT_EQ(window->Log().Failures().back().statement, "store the changes of alfa.mdb");
}

}  // namespace
}  // namespace actualiz::testing
