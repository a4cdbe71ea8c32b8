// Ctrl-C and SIGTERM during a run: the handler only notes the signal; the
// conversion looks between records and stops there, so that the dataset
// being written is dropped and the old one kept.
#pragma once

namespace kestrel {

// Installs the handlers for its lifetime and puts the earlier ones back after.
class InterruptGuard {
 public:
  InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;
  ~InterruptGuard();

  // The signal that arrived, or 0.
  [[nodiscard]] static int pending() noexcept;

 private:
  using Handler = void (*)(int);
  Handler old_int_;
  Handler old_term_;
};

// Thrown between records once a signal has arrived.
struct Interrupted {
  int signal;
};

}  // namespace kestrel
