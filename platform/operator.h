// What the window asks of the operator's side: message boxes, questions and
// the end of the program. Each front end implements it (the Qt view shows
// dialogs, the command line prints).
#pragma once

#include <string>
#include <string_view>

namespace actualiz::platform {

enum class MessageLook { kPlain, kCritical, kInformation, kWarning };

// The program's title, shown on every message box.
inline constexpr const char* kProgramTitle = "Actualiz";

class Operator {
 public:
  virtual ~Operator() = default;
  // A modal message with an OK button and the program's title.
  virtual void ShowMessage(std::string_view text, MessageLook look) = 0;
  // A modal question with Yes and No buttons (No the default) and the
  // program's title; true for Yes. An operator's side that cannot ask
  // answers No, so nothing is given up without someone saying so.
  virtual bool AskYesNo(std::string_view /*question*/) { return false; }
  // The program ends at once; called just before the window unwinds.
  virtual void EndProgram() = 0;
};

// Records messages and the end, shows nothing: for scripts and tests.
class SilentOperator : public Operator {
 public:
  void ShowMessage(std::string_view, MessageLook) override {}
  void EndProgram() override {}
};

std::string_view LookName(MessageLook look);  // "plain", "critical", ...

}  // namespace actualiz::platform
