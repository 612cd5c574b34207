// Model and target databases for the relation chain: a small shop with
// customers, invoices, orders and order lines, and helpers to read back the
// relation catalogue and a database's relations.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/actualiz.h"
#include "tests/support/window_fixture.h"

namespace actualiz::testing {

// One field pair of a relation: field of the primary table, field of the
// foreign table.
struct Pair {
  std::string name;
  std::string foreign_name;
};

// A relation as the description format writes it.
nlohmann::json RelationJson(const std::string& name, const std::string& table,
                            const std::string& foreign_table, int attributes,
                            const std::vector<Pair>& pairs);

// The shop's tables: Clientes(Codigo) <- Facturas(Cliente), and
// Pedidos(Serie, Numero, Anio) <- Lineas(Serie, Pedido, Anio). The primary
// sides carry unique indexes. `rows` adds a customer 1, an invoice of
// customer 1 and an invoice of customer 9, who does not exist.
nlohmann::json ShopTables(bool orphan_invoice = false);

// A database description with the shop's tables and `relations`.
std::string ShopDatabase(const std::vector<nlohmann::json>& relations, bool orphan_invoice = false);

// One catalogue row as text: nombrerel, tabla, tablafor, atributos, campo,
// campofor.
using CatalogueRow = std::vector<std::string>;
// Every row of the relation catalogue, in table order.
std::vector<CatalogueRow> CatalogueRows(const TestSite& site);

// The relations of the database at `host_path`, as the description gives them.
nlohmann::json RelationsOf(const std::string& host_path);
// Their names, in the engine's order.
std::vector<std::string> RelationNames(const std::string& host_path);

// Failures of the run log recorded while `handler` ran.
std::vector<app::Failure> FailuresOf(app::Actualiz& window, const std::string& handler);
// "kind object" of every change recorded, in order.
std::vector<std::string> ChangesOf(app::Actualiz& window);

// A site with model and target databases of the same file name and a window
// pointed at them.
class RelationChainTest : public ::testing::Test {
 protected:
  static std::string ModelPath(const std::string& file) { return "c:\\prog\\modelos\\" + file; }
  static std::string TargetPath(const std::string& file) { return "c:\\datos\\" + file; }

  // Creates the model and the target of `file` from descriptions.
  void MakePair(const std::string& file, const std::string& model_json,
                const std::string& target_json);
  // Writes the model and target paths of `file` into Text3 and Text4.
  void PointAt(const std::string& file);
  // The window, made on first use (after the databases, so that start-up
  // lists them), with an empty run log.
  app::Actualiz& Window();
  std::string HostTarget(const std::string& file) const { return site.Host(TargetPath(file)); }
  std::string HostModel(const std::string& file) const { return site.Host(ModelPath(file)); }

  TestSite site;

 private:
  std::unique_ptr<app::Actualiz> window_;
};

// Appends a relation straight through the engine, for names a description
// cannot carry (the engine's own "MSys" names).
void AppendRelation(const std::string& host_path, const std::string& name, const std::string& table,
                    const std::string& foreign_table, const std::vector<Pair>& pairs);

// Adds a row to `table` of the database at `host_path` through the engine.
void AddRow(const std::string& host_path, const std::string& table,
            const std::vector<std::pair<std::string, engine::Value>>& values);
// Deletes the rows of `table` for which `field` equals `value`.
void DeleteRows(const std::string& host_path, const std::string& table, const std::string& field,
                const engine::Value& value);
// Every value of `field` in `table`, as text, in record-set order.
std::vector<std::string> ColumnOf(const std::string& host_path, const std::string& table,
                                  const std::string& field);

}  // namespace actualiz::testing
