// The window's rules of failure, each in one place.
//
//  - Letting a failure travel needs no code: an Error thrown by a control or
//    by the engine unwinds the handler and its callers.
//  - Passing over a failure (Actualiz::PassOver, in the header) records it
//    here and goes on.
//  - At the top of a click or of an operator's action (RunAtTop), a failure
//    is recorded, shown as a critical message with its number, text and
//    where it happened, and the window keeps running.
//  - A handler that passes over failures but is raised on its own by the
//    operator shows them the same way at its end (PassedOverShownAlone);
//    raised by another handler, it leaves them in the run log.
// ProgramEnded is no failure: it passes every rule, and the front end ends.
#include <chrono>
#include <ctime>
#include <exception>
#include <fstream>

#include <fmt/format.h>

#include "app/actualiz.h"
#include "base/failure_text.h"

namespace actualiz::app {

namespace {

// At most this many failures passed over are named in one message; the
// run log holds them all.
constexpr size_t kFailuresShown = 10;

std::string Timestamp() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  return buffer;
}

}  // namespace

Actualiz::HandlerScope::HandlerScope(Actualiz& window, const char* name) : window_(window) {
  window_.handler_stack_.emplace_back(name);
}

Actualiz::HandlerScope::~HandlerScope() {
  // The innermost handler that a failure leaves is where it happened.
  if (std::uncaught_exceptions() > 0 && window_.failure_site_.empty()) {
    window_.failure_site_ = window_.handler_stack_.back();
  }
  window_.handler_stack_.pop_back();
}

std::string Actualiz::CurrentHandler() const {
  return handler_stack_.empty() ? std::string() : handler_stack_.back();
}

void Actualiz::RecordFailure(std::string_view what, const Error& e, bool passed_over,
                             std::string_view database) {
  // A failure passed over has been dealt with; the next one to reach the
  // top names its own place.
  if (passed_over) failure_site_.clear();
  Failure failure;
  failure.handler = CurrentHandler();
  failure.statement = std::string(what);
  failure.database = database.empty() ? Text4.Text() : std::string(database);
  failure.number = e.Number();
  failure.text = e.Text();
  failure.context = e.Context();
  failure.passed_over = passed_over;
  if (passed_over && kept_failures_ != nullptr) kept_failures_->push_back(failure);
  AppendToLogFile(FormatFailure(failure));
  log_.Record(std::move(failure));
}

void Actualiz::RecordChange(ChangeKind kind, ObjectRef object, std::string_view database,
                            std::string_view definition) {
  Change change;
  change.handler = CurrentHandler();
  change.database = database.empty() ? Text4.Text() : std::string(database);
  change.kind = kind;
  change.object = std::move(object);
  change.definition = std::string(definition);
  AppendToLogFile(fmt::format("{}: {} {} in {}", change.handler, KindText(change.kind),
                              change.ObjectText(), change.database));
  log_.Record(std::move(change));
}

void Actualiz::AppendToLogFile(const std::string& line) const {
  if (env_.log_file.empty()) return;
  std::ofstream out(env_.log_file, std::ios::app);
  out << Timestamp() << " " << line << "\n";
}

bool Actualiz::Click(std::string_view handler) {
  return RunAtTop(handler, [&] {
    const auto method = FindHandler(handler);
    if (method == nullptr) {
      throw MakeError(err::kNoSuchMember, std::string(handler));
    }
    HandlerScope scope(*this, std::string(handler).c_str());
    (this->*method)();
  });
}

bool Actualiz::AtTop(std::string_view what, const std::function<void()>& action) {
  return RunAtTop(what, action);
}

void Actualiz::Activate() {
  if (activated_) return;
  activated_ = true;
  Click("Form_Activate");
}

// Alone: no other handler below it, only the click that raised it, which
// stands in the stack under the handler's own name.
Actualiz::PassedOverShownAlone::PassedOverShownAlone(Actualiz& window)
    : window_(window), alone_(window.kept_failures_ == nullptr) {
  const std::vector<std::string>& stack = window.handler_stack_;
  for (const std::string& handler : stack) alone_ = alone_ && handler == stack.back();
  if (alone_) window_.kept_failures_ = &kept_;
}

Actualiz::PassedOverShownAlone::~PassedOverShownAlone() {
  if (alone_) window_.kept_failures_ = nullptr;
}

void Actualiz::PassedOverShownAlone::Show() {
  if (kept_.empty()) return;
  std::string text;
  for (size_t i = 0; i < kept_.size() && i < kFailuresShown; ++i) {
    const Failure& f = kept_[i];
    if (!text.empty()) text += "\n\n";
    text += FailureMessage(f.number, f.text, f.context, f.handler + ": " + f.statement);
  }
  if (kept_.size() > kFailuresShown) {
    text += fmt::format("\n\n... and {} more, all in the run log.", kept_.size() - kFailuresShown);
  }
  kept_.clear();
  window_.MsgBox(text, platform::MessageLook::kCritical);
}

bool Actualiz::RunAtTop(std::string_view what, const std::function<void()>& action) {
  failure_site_.clear();
  // A stop the operator asked for ends the run in hand, not the next one.
  if (actions_running_ == 0) stop_asked_ = false;
  struct Counted {
    int& count;
    explicit Counted(int& c) : count(c) { ++count; }
    ~Counted() { --count; }
  } running(actions_running_);
  try {
    action();
    return true;
  } catch (const Error& e) {
    ReportAtTop(what, e);
  } catch (const std::exception& e) {
    ReportAtTop(what, MakeError(err::kInternalError, e.what()));
  }
  return false;
}

void Actualiz::ReportAtTop(std::string_view what, const Error& e) {
  const std::string where = failure_site_.empty() ? std::string(what) : failure_site_;
  failure_site_.clear();
  {
    // Recorded under the handler where it happened, as the clicked one.
    handler_stack_.push_back(where);
    RecordFailure(what, e, false);
    handler_stack_.pop_back();
  }
  MsgBox(FailureMessage(e.Number(), e.Text(), e.Context(), where),
         platform::MessageLook::kCritical);
}

}  // namespace actualiz::app
