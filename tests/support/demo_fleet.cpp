#include "tests/support/demo_fleet.h"

namespace actualiz::testing {

nlohmann::json DemoLocation(const std::string& name, const DemoSite& site,
                            const std::string& data) {
  return {{"name", name},
          {"data", data},
          {"drive", {{"c", site.Drive().string()}}},
          {"program-dir", "c:\\prog"}};
}

std::string WriteFleetFile(const TempDir& dir, const nlohmann::json& locations) {
  const std::string file = dir.File("fleet.json");
  WriteFile(file, nlohmann::json{{"locations", locations}}.dump(2));
  return file;
}

}  // namespace actualiz::testing
