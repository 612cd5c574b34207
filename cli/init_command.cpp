// actualiz-cli init
//
// Provisions the three catalogues of "C:\Zarade" on the mapped drives:
// whichever of indices.mdb, relacion.mdb and consulta.mdb is missing is
// created with its empty table; one that exists is left as it is. Prints
// one line per catalogue. Exit status 0, or 1 when one could not be made.
#include <algorithm>
#include <iostream>

#include "app/catalogues.h"
#include "cli/command.h"

namespace actualiz::cli {

namespace {

int RunInit(const CliContext& context) {
  const platform::DriveMap drives = context.MakeDriveMap();
  const std::vector<std::string> created = app::ProvisionCatalogues(drives);
  for (const char* catalogue :
       {app::kIndexCatalogue, app::kRelationCatalogue, app::kQueryCatalogue}) {
    const bool made = std::find(created.begin(), created.end(), catalogue) != created.end();
    std::cout << (made ? "created " : "exists  ") << catalogue << " (" << drives.ToHost(catalogue)
              << ")\n";
  }
  return 0;
}

void AddInitCommand(CLI::App& app, CliContext& context) {
  CLI::App* command = app.add_subcommand(
      "init", "Create whichever of the catalogues in C:\\Zarade is missing (never replaces one)");
  command->callback([&context] {
    const app::RunLocks locks = context.LockForWriting("init", true, {});
    context.exit_status = RunInit(context);
  });
}

}  // namespace

ACTUALIZ_COMMAND(AddInitCommand);

}  // namespace actualiz::cli
