// Relation chain handlers not written yet: they do nothing.
#include "app/actualiz.h"

namespace actualiz::app {
void Actualiz::Command22_Click() {}
void Actualiz::Command20_Click() {}
void Actualiz::Command21_Click() {}
}  // namespace actualiz::app
