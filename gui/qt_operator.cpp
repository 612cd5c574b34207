#include "gui/qt_operator.h"

#include <QCoreApplication>
#include <QMessageBox>

#include "gui/control_view.h"

namespace actualiz::gui {

namespace {
QMessageBox::Icon IconOf(platform::MessageLook look) {
  switch (look) {
    case platform::MessageLook::kCritical:
      return QMessageBox::Critical;
    case platform::MessageLook::kInformation:
      return QMessageBox::Information;
    case platform::MessageLook::kWarning:
      return QMessageBox::Warning;
    case platform::MessageLook::kPlain:
      break;
  }
  return QMessageBox::NoIcon;
}
}  // namespace

void QtOperator::ShowMessage(std::string_view text, platform::MessageLook look) {
  QMessageBox box(IconOf(look), ToQt(platform::kProgramTitle), ToQt(text), QMessageBox::Ok,
                  parent_.data());
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool QtOperator::AskYesNo(std::string_view question) {
  QMessageBox box(QMessageBox::Question, ToQt(platform::kProgramTitle), ToQt(question),
                  QMessageBox::Yes | QMessageBox::No, parent_.data());
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  box.setTextFormat(Qt::PlainText);
  return box.exec() == QMessageBox::Yes;
}

void QtOperator::EndProgram() { QCoreApplication::exit(0); }

}  // namespace actualiz::gui
