// A model is brought in by the same atomic copy whatever its format: the
// file copied is the model itself when the engine opens it without
// complaint, or the database converted from an Access model in a private
// temporary directory, removed afterwards. The copy lands under a hidden
// name beside the destination and is linked into place only when whole
// (platform::CopyFileNoReplace), so a run killed part-way leaves a leftover
// the next run removes, never a half-made database under the real name.
#include "tables/model_copy_in.h"

#include <stdlib.h>

#include <filesystem>

#include "engine/import.h"
#include "platform/file_system.h"

namespace actualiz::app {

namespace {

namespace fs = std::filesystem;

// A directory of its own under the system's temporary directory, removed
// with its contents when the object goes.
class PrivateDirectory {
 public:
  explicit PrivateDirectory(const std::string& where) {
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / "actualiz-copy-in-XXXXXX").string();
    if (ec || ::mkdtemp(pattern.data()) == nullptr) {
      throw Error(err::kPermissionDenied, "Permission denied",
                  "temporary directory to convert " + where);
    }
    path_ = pattern;
  }
  ~PrivateDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  PrivateDirectory(const PrivateDirectory&) = delete;
  PrivateDirectory& operator=(const PrivateDirectory&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

}  // namespace

void CopyModelIn(Actualiz& window, const std::string& model, const std::string& destination) {
  const platform::DriveMap& drives = window.Env().drives;
  const std::string host_model = drives.ToHost(model);
  if (!engine::IsAccessFile(host_model)) {
    // Opening runs the engine's checks of the file; a model it refuses
    // would fail every later run on the customer's copy.
    window.OpenDatabase(model)->Close();
    platform::CopyFileNoReplace(drives, model, destination);
    return;
  }
  PrivateDirectory work("'" + model + "'");
  const std::string converted = (work.Path() / "converted.mdb").string();
  engine::ImportReport report;
  try {
    report = engine::ImportDatabase(host_model, converted, model, destination);
  } catch (const Error& e) {
    throw Error(e.Number(),
                e.Text() +
                    " The model is an Access file and cannot be converted into a "
                    "database of ours here; convert it with: actualiz-cli import \"" +
                    model + "\" \"" + destination + "\"",
                e.Context());
  }
  platform::CopyFileNoReplace(drives, converted, destination);
  for (const std::string& line : report.not_carried) {
    window.RecordChange("not carried", line, destination);
  }
}

}  // namespace actualiz::app
