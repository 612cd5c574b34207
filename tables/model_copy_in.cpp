// A model is brought in by the same atomic copy whatever its format: the
// file copied is the model itself when the engine opens it without
// complaint, or the database converted from an Access model in a private
// temporary directory, removed afterwards. The copy lands under a hidden
// name beside the destination and is linked into place only when whole
// (platform::CopyFileNoReplace), so a run killed part-way leaves a leftover
// the next run removes, never a half-made database under the real name.
// Into a data directory on a server, the model (or what it converts into)
// is made as a new schema from its description, rows and all, in one
// create that leaves no schema behind when it fails.
#include "tables/model_copy_in.h"

#include <filesystem>

#include "base/server_address.h"
#include "engine/accessfile/import.h"
#include "engine/description/description.h"
#include "platform/file_system.h"
#include "platform/temporary_directory.h"

namespace actualiz::app {

namespace {

// Puts the database at `source` (a Windows or host path) in place as `destination`: a
// copy of the file, or a new schema like it on a server.
void PlaceCopy(Actualiz& window, const std::string& source, const std::string& destination) {
  if (!IsServerAddress(destination)) {
    platform::CopyFileNoReplace(window.Env().drives, source, destination);
    return;
  }
  nlohmann::json description;
  {
    engine::DatabasePtr database =
        engine::OpenDatabase(window.Session(), window.Env().drives.ToHost(source), source);
    description = engine::Describe(*database, {.rows = true});
    database->Close();
  }
  engine::CreateFromDescription(window.Session(), destination, description, destination);
}

}  // namespace

void CopyModelIn(Actualiz& window, const std::string& model, const std::string& destination) {
  const platform::DriveMap& drives = window.Env().drives;
  const std::string host_model = drives.ToHost(model);
  if (!engine::IsAccessFile(host_model)) {
    // Opening runs the engine's checks of the file; a model it refuses
    // would fail every later run on the customer's copy.
    window.OpenDatabase(model)->Close();
    PlaceCopy(window, model, destination);
    return;
  }
  platform::TemporaryDirectory work("actualiz-copy-in-", "conversion of '" + model + "'");
  const std::string converted = (work.Path() / "converted.mdb").string();
  engine::ImportReport report;
  try {
    report = engine::ImportDatabase(window.Session(), host_model, converted, model, destination);
  } catch (const Error& e) {
    throw Error(e.Number(),
                e.Text() +
                    " The model is an Access file and cannot be converted into a "
                    "database of ours here; convert it with: actualiz-cli import \"" +
                    model + "\" \"" + destination + "\"",
                e.Context());
  }
  PlaceCopy(window, converted, destination);
  for (const std::string& line : report.not_carried) {
    window.RecordChange(app::ChangeKind::kNotCarried, {{}, line}, destination);
  }
}

}  // namespace actualiz::app
