// Fields carried from a model table to a target table by way of a field
// triple: three parallel list boxes holding a field's name, its type code and
// its size, each as text.
#pragma once

#include <string>

#include "engine/engine.h"

namespace actualiz::app {

// Creates a new field on `table` (not yet appended) from the three texts of a
// triple entry. The type code and the size are decimal texts, converted as
// the engine converts them; a text that is not a whole number fails with 13
// "Type mismatch". Text and memo fields accept zero-length strings, so that
// empty values stored in the model's fields are accepted in the target too;
// every other property keeps the engine's default.
engine::FieldPtr CreateFieldFromTriple(engine::TableDef& table, const std::string& name,
                                       const std::string& type_text, const std::string& size_text);

}  // namespace actualiz::app
