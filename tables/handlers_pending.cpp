// Table and field handlers not written yet: they do nothing.
#include "app/actualiz.h"

namespace actualiz::app {
void Actualiz::Command6_Click() {}
void Actualiz::Command9_Click() {}
void Actualiz::Command10_Click() {}
void Actualiz::Command11_Click() {}
void Actualiz::Command12_Click() {}
void Actualiz::Command8_Click() {}
void Actualiz::Command13_Click() {}
}  // namespace actualiz::app
