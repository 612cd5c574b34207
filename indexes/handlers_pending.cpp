// Index chain handlers not written yet: they do nothing.
#include "app/actualiz.h"

namespace actualiz::app {
void Actualiz::Command17_Click() {}
void Actualiz::Command18_Click() {}
void Actualiz::Command19_Click() {}
void Actualiz::Command16_Click() {}
}  // namespace actualiz::app
