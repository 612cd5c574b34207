#include "tests/relations/relation_site.h"

#include "tests/support/db_builder.h"
#include "tests/support/own_session.h"

namespace actualiz::testing {
namespace {

using nlohmann::json;

json LongField(const std::string& name) { return {{"name", name}, {"type", 4}}; }
json TextField(const std::string& name, int size) {
  return {{"name", name}, {"type", 10}, {"size", size}};
}
json UniqueIndex(const std::string& name, const std::vector<std::string>& fields) {
  return {{"name", name}, {"fields", fields}, {"unique", true}, {"primary", true}};
}

// A catalogue value as text, whatever the column's type.
std::string AsText(const json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_null()) return "";
  return value.dump();
}

}  // namespace

json RelationJson(const std::string& name, const std::string& table,
                  const std::string& foreign_table, int attributes,
                  const std::vector<Pair>& pairs) {
  json fields = json::array();
  for (const Pair& pair : pairs) {
    fields.push_back({{"name", pair.name}, {"foreignName", pair.foreign_name}});
  }
  return {{"name", name},
          {"table", table},
          {"foreignTable", foreign_table},
          {"attributes", attributes},
          {"fields", fields}};
}

json ShopTables(bool orphan_invoice) {
  json clientes = {{"name", "Clientes"},
                   {"fields", {LongField("Codigo"), TextField("Nombre", 50)}},
                   {"indexes", {UniqueIndex("PrimaryKey", {"Codigo"})}},
                   {"rows", json::array()}};
  json facturas = {{"name", "Facturas"},
                   {"fields", {LongField("Numero"), LongField("Cliente")}},
                   {"indexes", {UniqueIndex("PrimaryKey", {"Numero"})}},
                   {"rows", json::array()}};
  json pedidos = {{"name", "Pedidos"},
                  {"fields", {TextField("Serie", 5), LongField("Numero"), LongField("Anio")}},
                  {"indexes", {UniqueIndex("PrimaryKey", {"Serie", "Numero", "Anio"})}}};
  json lineas = {
      {"name", "Lineas"},
      {"fields",
       {TextField("Serie", 5), LongField("Pedido"), LongField("Anio"), LongField("Linea")}}};
  if (orphan_invoice) {
    clientes["rows"].push_back({{"Codigo", 1}, {"Nombre", "Ana"}});
    facturas["rows"].push_back({{"Numero", 10}, {"Cliente", 1}});
    facturas["rows"].push_back({{"Numero", 11}, {"Cliente", 9}});
  }
  return {clientes, facturas, pedidos, lineas};
}

std::string ShopDatabase(const std::vector<json>& relations, bool orphan_invoice) {
  return json{{"tables", ShopTables(orphan_invoice)}, {"relations", relations}}.dump();
}

std::vector<CatalogueRow> CatalogueRows(const TestSite& site) {
  const json description = DescribeFile(site.Host("c:\\Zarade\\relacion.mdb"), true);
  std::vector<CatalogueRow> rows;
  for (const json& table : description.at("tables")) {
    if (table.at("name") != "relacion") continue;
    for (const json& row : table.at("rows")) {
      rows.push_back({AsText(row.at("nombrerel")), AsText(row.at("tabla")),
                      AsText(row.at("tablafor")), AsText(row.at("atributos")),
                      AsText(row.at("campo")), AsText(row.at("campofor"))});
    }
  }
  return rows;
}

json RelationsOf(const std::string& host_path) {
  return DescribeFile(host_path).value("relations", json::array());
}

std::vector<std::string> RelationNames(const std::string& host_path) {
  std::vector<std::string> names;
  for (const json& relation : RelationsOf(host_path)) names.push_back(relation.at("name"));
  return names;
}

std::vector<app::Failure> FailuresOf(app::Actualiz& window, const std::string& handler) {
  std::vector<app::Failure> found;
  for (const app::Failure& failure : window.Log().Failures()) {
    if (failure.handler == handler) found.push_back(failure);
  }
  return found;
}

std::vector<std::string> ChangesOf(app::Actualiz& window) {
  std::vector<std::string> changes;
  for (const app::Change& change : window.Log().Changes()) {
    changes.push_back(app::KindText(change.kind) + " " + change.ObjectText());
  }
  return changes;
}

}  // namespace actualiz::testing

namespace actualiz::testing {

void RelationChainTest::MakePair(const std::string& file, const std::string& model_json,
                                 const std::string& target_json) {
  site.Database(ModelPath(file), model_json);
  site.Database(TargetPath(file), target_json);
}

void RelationChainTest::PointAt(const std::string& file) {
  Window().Text3.SetText(ModelPath(file));
  Window().Text4.SetText(TargetPath(file));
}

app::Actualiz& RelationChainTest::Window() {
  if (!window_) {
    window_ = site.MakeWindow();
    // Start-up records that the default data directory is missing here.
    window_->Log().Clear();
  }
  return *window_;
}

void AppendRelation(const std::string& host_path, const std::string& name, const std::string& table,
                    const std::string& foreign_table, const std::vector<Pair>& pairs) {
  engine::DatabasePtr database = testing::OpenInOwnSession(host_path);
  engine::RelationPtr relation = database->CreateRelation(name, table, foreign_table, 0);
  for (const Pair& pair : pairs) {
    engine::FieldPtr field = relation->CreateField(pair.name);
    field->SetForeignName(pair.foreign_name);
    relation->Fields().Append(field);
  }
  database->Relations().Append(relation);
  database->Close();
}

void AddRow(const std::string& host_path, const std::string& table,
            const std::vector<std::pair<std::string, engine::Value>>& values) {
  engine::DatabasePtr database = testing::OpenInOwnSession(host_path);
  engine::RecordsetPtr rows = database->OpenRecordset(table);
  rows->AddNew();
  for (const auto& [field, value] : values) rows->Fields().Item(field)->SetValue(value);
  rows->Update();
  rows->Close();
  database->Close();
}

void DeleteRows(const std::string& host_path, const std::string& table, const std::string& field,
                const engine::Value& value) {
  engine::DatabasePtr database = testing::OpenInOwnSession(host_path);
  engine::RecordsetPtr rows = database->OpenRecordset(table);
  while (!rows->Eof()) {
    if (rows->Fields().Item(field)->GetValue() == value) rows->Delete();
    rows->MoveNext();
  }
  rows->Close();
  database->Close();
}

std::vector<std::string> ColumnOf(const std::string& host_path, const std::string& table,
                                  const std::string& field) {
  engine::DatabasePtr database = testing::OpenInOwnSession(host_path);
  engine::RecordsetPtr rows = database->OpenRecordset(table);
  std::vector<std::string> values;
  while (!rows->Eof()) {
    values.push_back(rows->Fields().Item(field)->GetValue().ToText());
    rows->MoveNext();
  }
  rows->Close();
  database->Close();
  return values;
}

}  // namespace actualiz::testing
