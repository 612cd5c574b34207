#include "tests/support/window_fixture.h"

#include <filesystem>

#include "app/catalogues.h"
#include "tests/support/db_builder.h"

namespace actualiz::testing {

TestSite::TestSite() : TestSite(Options{}) {}

TestSite::TestSite(Options options) {
  std::filesystem::create_directories(dir_.path() / "c");
  drives.Map('c', (dir_.path() / "c").string());
  MakeDirectory("c:\\prog\\modelos");
  MakeDirectory("c:\\datos");
  if (options.default_data_directory) MakeDirectory("c:\\archivos de programa\\vek 2000\\bases");
  if (options.catalogues) app::ProvisionCatalogues(drives);
}

std::string TestSite::Host(const std::string& windows_path) const {
  return drives.ToHost(windows_path);
}

void TestSite::MakeDirectory(const std::string& windows_path) const {
  std::filesystem::create_directories(Host(windows_path));
}

void TestSite::Touch(const std::string& windows_path) const { WriteFile(Host(windows_path), ""); }

void TestSite::Database(const std::string& windows_path, const std::string& json) const {
  BuildDatabase(Host(windows_path), json);
}

app::Environment TestSite::MakeEnvironment() {
  app::Environment env;
  env.drives = drives;
  env.program_dir = Host("c:\\prog");
  env.op = &op;
  env.log_file = LogFile();
  return env;
}

std::unique_ptr<app::Actualiz> TestSite::MakeWindow(bool activate) {
  auto window = std::make_unique<app::Actualiz>(MakeEnvironment());
  if (activate) {
    window->Activate();
    window->AtTop("Dir1.Path", [&] { window->Dir1.SetPath("c:\\datos"); });
  }
  return window;
}

}  // namespace actualiz::testing
