// Copying a model that has no customer database into the data directory.
#pragma once

#include <string>

#include "app/actualiz.h"

namespace actualiz::app {

// Makes `destination` (a Windows path) a new database from the model at
// `model` (a Windows path), never replacing a file that is there. A model in
// our format is opened first and copied byte for byte only when the engine
// accepts it, so a model holding objects the engine does not make is never
// copied. An Access file is converted into our format (as `import` does)
// and the converted database is copied in; whatever the conversion could not
// carry is recorded as "not carried" against the destination. Fails with the
// engine's Error when the model is refused, and, when an Access model cannot
// be converted, with an Error whose text says how to import it by hand.
// Records nothing when it fails; the caller records the failure.
void CopyModelIn(Actualiz& window, const std::string& model, const std::string& destination);

}  // namespace actualiz::app
