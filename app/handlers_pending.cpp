// Bench and new-table field listing handlers not written yet: they do nothing.
#include "app/actualiz.h"

namespace actualiz::app {
void Actualiz::Command2_Click() {}
void Actualiz::Command3_Click() {}
void Actualiz::Command4_Click() {}
void Actualiz::Command5_Click() {}
}  // namespace actualiz::app
