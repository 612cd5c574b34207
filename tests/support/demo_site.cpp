#include "tests/support/demo_site.h"

#include <stdexcept>

#include "tests/support/db_builder.h"

namespace actualiz::testing {

namespace fs = std::filesystem;

DemoSite::DemoSite()
    : laid_out_(RunCli(
          {"demo", "--into", Root().string(), "--from", std::string(ACTUALIZ_SOURCE_DIR) + "/demo"},
          ProgramSetting().Together())) {
  if (laid_out_.status != 0) throw std::runtime_error("demo failed: " + laid_out_.out);
}

Words DemoSite::Site() const {
  return {"--drive", "c=" + Drive().string(), "--program-dir", (Drive() / "prog").string()};
}

Words DemoSite::Command(const Words& arguments) const {
  return Joined(Joined({ACTUALIZ_CLI}, Site()), arguments);
}

ProgramRun DemoSite::Cli(const Words& arguments, ProgramSetting setting) const {
  return RunProgram(Command(arguments), setting.Together());
}

ProgramRun DemoSite::Batch(const ProgramSetting& setting) const {
  fs::remove(Report());
  return Cli({"batch", "--no-backup", "--data", "c:\\datos", "--json", Report()}, setting);
}

ProgramRun DemoSite::BackedUpBatch(const ProgramSetting& setting) const {
  fs::remove(Report());
  return Cli({"batch", "--data", "c:\\datos", "--json", Report()}, setting);
}

nlohmann::json DemoSite::ReportJson() const { return nlohmann::json::parse(ReadFile(Report())); }

nlohmann::json DemoSite::Entry(const std::string& name) const {
  const nlohmann::json report = ReportJson();
  for (const auto& entry : report["databases"]) {
    if (entry["name"] == name) return entry;
  }
  return nullptr;
}

nlohmann::json DemoSite::Structures() const {
  nlohmann::json all = nlohmann::json::object();
  for (const auto& entry : fs::directory_iterator(Data())) {
    if (entry.is_regular_file() && entry.path().extension() == ".mdb") {
      all[entry.path().filename().string()] = DescribeFile(entry.path().string());
    }
  }
  return all;
}

bool FailuresName(const nlohmann::json& entry, const std::string& file) {
  if (entry.is_null() || entry["failures"].empty()) return false;
  for (const auto& failure : entry["failures"]) {
    const std::string said =
        failure["context"].get<std::string>() + failure["text"].get<std::string>();
    if (said.find(file) == std::string::npos) return false;
  }
  return true;
}

}  // namespace actualiz::testing
