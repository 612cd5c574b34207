// The engine's check of object names. The engine's failure numbers and
// texts are in the catalogue (base/error.h, base/error_catalogue.cpp).
#pragma once

#include <string>
#include <string_view>

#include "base/error.h"

namespace actualiz::engine {

// Fails with 3125 unless `name` is a name Jet accepts for an object: 1 to 64
// characters, no control characters, not starting with a space.
void CheckObjectName(std::string_view name, const std::string& context);

}  // namespace actualiz::engine
