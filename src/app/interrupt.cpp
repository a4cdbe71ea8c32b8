#include "app/interrupt.hpp"

#include <csignal>

namespace kestrel {

namespace {

void note_signal(int sig) { note_interrupt(sig); }

void put_back(int sig, InterruptGuard::Handler old) { std::signal(sig, old == SIG_ERR ? SIG_DFL : old); }

}  // namespace

InterruptGuard::InterruptGuard() {
  clear_interrupt();
  old_int_ = std::signal(SIGINT, note_signal);
  old_term_ = std::signal(SIGTERM, note_signal);
#ifdef SIGHUP
  // A closed terminal or SSH connection ends the run as SIGTERM does; under
  // nohup (SIGHUP ignored) the run goes on. Windows has no SIGHUP.
  old_hup_ = std::signal(SIGHUP, note_signal);
  if (old_hup_ == SIG_IGN) std::signal(SIGHUP, SIG_IGN);
#endif
}

InterruptGuard::~InterruptGuard() {
  put_back(SIGINT, old_int_);
  put_back(SIGTERM, old_term_);
#ifdef SIGHUP
  put_back(SIGHUP, old_hup_);
#endif
}

}  // namespace kestrel
