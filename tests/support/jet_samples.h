// The Access samples a change can be made to.
#pragma once

#include <string>
#include <vector>

namespace actualiz::testing {

// The Jet 4 and ACE samples in JetSamplesDir() (every one but the Access
// 97 files, which are refused), by name; empty without the samples.
std::vector<std::string> WritableJetSamples();

}  // namespace actualiz::testing
