// "Lista de Indices Destino": records the target's indexes in the index
// catalogue, then starts the index removal, which runs the rest of the
// chain (model capture, copy).
#include "app/actualiz.h"
#include "indexes/index_capture.h"

namespace actualiz::app {

void Actualiz::Command17_Click() {
  HandlerScope scope(*this, "Command17_Click");
  indexes::CaptureIndexes(*this, Text4.Text(), indexes::ClearTableList::kBeforeOpening);
  Command18_Click();
}

}  // namespace actualiz::app
