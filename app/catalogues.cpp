#include "app/catalogues.h"

#include <filesystem>
#include <system_error>

#include "base/error.h"
#include "base/names.h"
#include "engine/engine.h"
#include "platform/file_system.h"

namespace actualiz::app {

namespace {

struct CatalogueField {
  const char* name;
  engine::FieldType type;
};

struct Catalogue {
  const char* path;
  const char* table;
  std::vector<CatalogueField> fields;
};

const std::vector<Catalogue>& Catalogues() {
  static const std::vector<Catalogue> catalogues = {
      {kIndexCatalogue,
       "indices",
       {{"nombreind", engine::dbText},
        {"tabla", engine::dbText},
        {"campo", engine::dbText},
        {"unico", engine::dbText}}},
      {kRelationCatalogue,
       "relacion",
       {{"nombrerel", engine::dbText},
        {"tabla", engine::dbText},
        {"tablafor", engine::dbText},
        {"atributos", engine::dbText},
        {"campo", engine::dbText},
        {"campofor", engine::dbText}}},
      {kQueryCatalogue, "consulta", {{"nombrecon", engine::dbText}, {"consulta", engine::dbMemo}}},
  };
  return catalogues;
}

constexpr int kTextSize = 255;

// Whether the file at `host` is a database with none of its own tables,
// relations or queries: what a catalogue's creation killed before its table
// was added left, and nothing anyone could have stored anything in.
bool EmptyDatabase(const std::string& host) {
  try {
    engine::Session session;
    engine::DatabasePtr database = engine::OpenDatabase(session, host);
    bool empty = database->Relations().Count() == 0;
    for (const engine::TableDefPtr& table : database->TableDefs().Items()) {
      if (!IsSystemName(table->Name())) empty = false;
    }
    for (const engine::QueryDefPtr& query : database->QueryDefs().Items()) {
      if (!IsSystemName(query->Name())) empty = false;
    }
    database->Close();
    return empty;
  } catch (const Error&) {
    return false;  // not a database the engine reads: not ours to replace
  }
}

// Builds the catalogue under a hidden name beside it and puts it in place
// whole, so that a run killed part-way never leaves a catalogue without its
// table. `replace` puts it over an empty database of that name. Returns false
// when another run put a catalogue there meanwhile.
bool Create(const platform::DriveMap& drives, const Catalogue& catalogue, bool replace) {
  const std::string host = drives.ToHost(catalogue.path);
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(host).parent_path(), ec);
  if (ec) {
    throw MakeError(err::kPathNotFound, std::string(catalogue.path) + ": " + ec.message());
  }
  platform::RemoveLeftoversOf(host);
  platform::FileBuiltBeside built(host);
  {
    engine::Session session;
    engine::DatabasePtr database = engine::CreateDatabase(session, built.Path(), catalogue.path);
    built.Lock();
    engine::TableDefPtr table = database->CreateTableDef(catalogue.table);
    for (const CatalogueField& spec : catalogue.fields) {
      engine::FieldPtr field =
          table->CreateField(spec.name, spec.type, spec.type == engine::dbText ? kTextSize : 0);
      field->SetAllowZeroLength(true);
      table->Fields().Append(field);
    }
    database->TableDefs().Append(table);
    database->Close();
  }
  if (replace) {
    built.PlaceOver();
    return true;
  }
  return built.PlaceWithoutReplacing();
}

}  // namespace

std::vector<std::string> ProvisionCatalogues(const platform::DriveMap& drives) {
  std::vector<std::string> created;
  for (const Catalogue& catalogue : Catalogues()) {
    std::error_code ec;
    const bool exists = std::filesystem::exists(drives.ToHost(catalogue.path), ec);
    if (exists && !EmptyDatabase(drives.ToHost(catalogue.path))) continue;
    if (Create(drives, catalogue, exists)) created.emplace_back(catalogue.path);
  }
  return created;
}

bool CataloguesInPlace(const platform::DriveMap& drives) {
  if (!drives.IsMapped('c')) return false;
  try {
    engine::Session session;
    for (const Catalogue& catalogue : Catalogues()) {
      const std::string host = drives.ToHost(catalogue.path);
      if (!std::filesystem::is_regular_file(host)) return false;
      engine::DatabasePtr database = engine::OpenDatabase(session, host);
      bool whole = false;
      for (const engine::TableDefPtr& table : database->TableDefs().Items()) {
        if (table->Name() != catalogue.table) continue;
        whole = true;
        for (const CatalogueField& wanted : catalogue.fields) {
          bool found = false;
          for (const engine::FieldPtr& field : table->Fields().Items()) {
            found = found || (field->Name() == wanted.name && field->Type() == wanted.type);
          }
          whole = whole && found;
        }
      }
      database->Close();
      if (!whole) return false;
    }
  } catch (const Error&) {
    return false;  // the chains would fail on it: not in place
  }
  return true;
}

}  // namespace actualiz::app
