// Ctrl-C, SIGTERM and SIGHUP (a closed terminal) during a run: the handler
// only notes the signal; the readers look between records (and often within
// long reads) and stop there, so that the dataset being written is dropped
// and the old one kept.
#pragma once

#include <csignal>

#include "base/interrupt.hpp"

namespace kestrel {

// Installs the handlers for its lifetime and puts the earlier ones back after.
class InterruptGuard {
 public:
  InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;
  ~InterruptGuard();

  // The signal that arrived, or 0.
  [[nodiscard]] static int pending() noexcept { return interrupt_pending(); }

  using Handler = void (*)(int);

 private:
  Handler old_int_;
  Handler old_term_;
#ifdef SIGHUP
  Handler old_hup_;
#endif
};

}  // namespace kestrel
