#include "app/database_pair.h"

#include <algorithm>

#include "app/actualiz.h"
#include "base/server_address.h"

namespace actualiz::app {

std::string DatabaseIn(const std::string& directory, const std::string& name) {
  if (IsServerAddress(directory)) return ServerDatabasePath(directory, name);
  return directory + "\\" + name;
}

std::string ModelsDirectory(const std::string& program_directory) {
  return program_directory + "\\modelos";
}

bool IsModelOf(std::string_view model, std::string_view target) { return model == target; }

DatabasePair PairFor(const Actualiz& window, const std::string& name) {
  return {name, ModelsDirectory(window.ProgramDirectory()) + "\\" + name,
          DatabaseIn(window.Dir1.Path(), name)};
}

std::vector<PairedTarget> PairedTargetsOf(const Actualiz& window) {
  const std::vector<std::string>& models = window.List7.Items();
  const std::vector<std::string>& targets = window.List6.Items();
  std::vector<PairedTarget> paired;
  for (size_t i = 0; i < targets.size(); ++i) {
    const std::string& name = targets[i];
    const bool has_model = std::any_of(models.begin(), models.end(),
                                       [&](const std::string& m) { return IsModelOf(m, name); });
    const bool seen = std::any_of(paired.begin(), paired.end(),
                                  [&](const PairedTarget& p) { return p.name == name; });
    if (has_model && !seen) paired.push_back({name, static_cast<int>(i)});
  }
  return paired;
}

std::vector<std::string> PairedTargets(const Actualiz& window) {
  std::vector<std::string> names;
  for (const PairedTarget& target : PairedTargetsOf(window)) names.push_back(target.name);
  return names;
}

}  // namespace actualiz::app
