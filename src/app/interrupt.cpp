#include "app/interrupt.hpp"

#include <csignal>

namespace kestrel {

namespace {

// A signal handler can do no more than store to such a flag; it is the one
// piece of state the whole process shares.
volatile std::sig_atomic_t g_signal = 0;

void note_signal(int sig) { g_signal = sig; }

}  // namespace

InterruptGuard::InterruptGuard() {
  g_signal = 0;
  old_int_ = std::signal(SIGINT, note_signal);
  old_term_ = std::signal(SIGTERM, note_signal);
}

InterruptGuard::~InterruptGuard() {
  std::signal(SIGINT, old_int_ == SIG_ERR ? SIG_DFL : old_int_);
  std::signal(SIGTERM, old_term_ == SIG_ERR ? SIG_DFL : old_term_);
}

int InterruptGuard::pending() noexcept { return g_signal; }

}  // namespace kestrel
