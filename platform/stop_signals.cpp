#include "platform/stop_signals.h"

namespace actualiz::platform {

namespace {

std::atomic<int> stop_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the flag is set from a signal handler");

extern "C" void RecordStopSignal(int signal) {
  int expected = 0;
  stop_signal.compare_exchange_strong(expected, signal);
}

}  // namespace

StopSignals::StopSignals() {
  stop_signal.store(0);
  struct sigaction action {};
  action.sa_handler = RecordStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  sigaction(SIGINT, &action, &previous_int_);
  sigaction(SIGTERM, &action, &previous_term_);
}

StopSignals::~StopSignals() {
  sigaction(SIGINT, &previous_int_, nullptr);
  sigaction(SIGTERM, &previous_term_, nullptr);
}

const std::atomic<int>& StopSignals::Flag() { return stop_signal; }

}  // namespace actualiz::platform
