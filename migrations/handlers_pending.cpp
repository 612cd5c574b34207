// Migration handlers not written yet: they do nothing.
#include "app/actualiz.h"

namespace actualiz::app {
void Actualiz::Command25_Click() {}
void Actualiz::Command26_Click() {}
}  // namespace actualiz::app
