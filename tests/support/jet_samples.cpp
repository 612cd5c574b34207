#include "tests/support/jet_samples.h"

#include <algorithm>
#include <filesystem>

#include "tests/support/jet_copy.h"

namespace actualiz::testing {

std::vector<std::string> WritableJetSamples() {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  if (!fs::is_directory(JetSamplesDir())) return names;
  for (const auto& entry : fs::directory_iterator(JetSamplesDir())) {
    const std::string ext = entry.path().extension().string();
    const std::string name = entry.path().filename().string();
    if ((ext == ".mdb" || ext == ".accdb") && name.find("V1997") == std::string::npos) {
      names.push_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace actualiz::testing
