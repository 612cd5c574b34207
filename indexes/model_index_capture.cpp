// "Lista de Indices Modelo": records the model's indexes in the index
// catalogue, then starts the index copy onto the target.
#include "app/actualiz.h"
#include "indexes/index_capture.h"

namespace actualiz::app {

void Actualiz::Command19_Click() {
  HandlerScope scope(*this, "Command19_Click");
  indexes::CaptureIndexes(*this, Text3.Text(), indexes::ClearTableList::kAfterOpening);
  Command16_Click();
}

}  // namespace actualiz::app
