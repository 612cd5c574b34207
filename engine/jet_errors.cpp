#include "engine/jet_errors.h"

#include "engine/field_types.h"

namespace actualiz::engine {

void CheckObjectName(std::string_view name, const std::string& context) {
  bool valid = !name.empty() && CharacterCount(name) <= 64 && name.front() != ' ';
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) valid = false;
  }
  if (!valid) throw MakeError(err::kInvalidName, {name}, context);
}

}  // namespace actualiz::engine
