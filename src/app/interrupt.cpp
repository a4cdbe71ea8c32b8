#include "app/interrupt.hpp"

#include <csignal>

namespace kestrel {

namespace {

void note_signal(int sig) { note_interrupt(sig); }

}  // namespace

InterruptGuard::InterruptGuard() {
  clear_interrupt();
  old_int_ = std::signal(SIGINT, note_signal);
  old_term_ = std::signal(SIGTERM, note_signal);
}

InterruptGuard::~InterruptGuard() {
  std::signal(SIGINT, old_int_ == SIG_ERR ? SIG_DFL : old_int_);
  std::signal(SIGTERM, old_term_ == SIG_ERR ? SIG_DFL : old_term_);
}

}  // namespace kestrel
