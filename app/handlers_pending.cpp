// New-table field listing handler not written yet: it does nothing.
#include "app/actualiz.h"

namespace actualiz::app {
void Actualiz::Command2_Click() {}
}  // namespace actualiz::app
