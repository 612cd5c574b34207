// Message boxes, questions and the end of the program for the window: modal
// QMessageBoxes titled with the program's title, and leaving the event loop.
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/operator.h"

namespace actualiz::gui {

class QtOperator : public platform::Operator {
 public:
  // Message boxes are centred on `parent` once it is set; it may be null.
  void SetParent(QWidget* parent) { parent_ = parent; }
  void ShowMessage(std::string_view text, platform::MessageLook look) override;
  bool AskYesNo(std::string_view question) override;
  // Asks the event loop to end; the window model then unwinds its handlers.
  void EndProgram() override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace actualiz::gui
