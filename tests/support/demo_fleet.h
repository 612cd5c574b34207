// Fleet files over demo sites (tests/support/demo_site.h), for the tests of
// the fleet run on the command line and in the window.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "tests/support/demo_site.h"
#include "tests/support/temp_dir.h"

namespace actualiz::testing {

// A location of a fleet file on demo `site`: its data directory as `data`,
// its drive c: and program directory the demo's.
nlohmann::json DemoLocation(const std::string& name, const DemoSite& site, const std::string& data);

// The fleet file of `locations` as "fleet.json" in `dir`; its path.
std::string WriteFleetFile(const TempDir& dir, const nlohmann::json& locations);

}  // namespace actualiz::testing
