// Query chain handlers not written yet: they do nothing.
#include "app/actualiz.h"

namespace actualiz::app {
void Actualiz::Command24_Click() {}
void Actualiz::Command23_Click() {}
}  // namespace actualiz::app
