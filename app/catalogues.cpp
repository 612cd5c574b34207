#include "app/catalogues.h"

#include <filesystem>
#include <system_error>

#include "base/error.h"
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

void Create(const platform::DriveMap& drives, const Catalogue& catalogue) {
  const std::string host = drives.ToHost(catalogue.path);
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(host).parent_path(), ec);
  if (ec) {
    throw Error(err::kPathNotFound, "Path not found",
                std::string(catalogue.path) + ": " + ec.message());
  }
  engine::DatabasePtr database = engine::CreateDatabase(host, catalogue.path);
  try {
    engine::TableDefPtr table = database->CreateTableDef(catalogue.table);
    for (const CatalogueField& spec : catalogue.fields) {
      engine::FieldPtr field =
          table->CreateField(spec.name, spec.type, spec.type == engine::dbText ? kTextSize : 0);
      field->SetAllowZeroLength(true);
      table->Fields().Append(field);
    }
    database->TableDefs().Append(table);
    database->Close();
  } catch (...) {
    // A catalogue without its table would pass for provisioned next time.
    try {
      database->Close();
    } catch (const Error&) {
      // The file is removed below; the first failure is the one reported.
    }
    std::filesystem::remove(host, ec);
    throw;
  }
}

}  // namespace

std::vector<std::string> ProvisionCatalogues(const platform::DriveMap& drives) {
  std::vector<std::string> created;
  for (const Catalogue& catalogue : Catalogues()) {
    std::error_code ec;
    if (std::filesystem::exists(drives.ToHost(catalogue.path), ec)) continue;
    Create(drives, catalogue);
    created.emplace_back(catalogue.path);
  }
  return created;
}

}  // namespace actualiz::app
