// Ctrl-C and SIGTERM as the readers see them: the driver's handler notes the
// signal here, and every loop that can run long (a control file, a POSTFILE,
// one very long line) looks at it often enough to stop within a second.
#pragma once

namespace kestrel {

// Thrown where a loop finds that a signal has arrived.
struct Interrupted {
  int signal;
};

// The signal that arrived, or 0.
[[nodiscard]] int interrupt_pending() noexcept;
// Called from the signal handler; safe there.
void note_interrupt(int signal) noexcept;
void clear_interrupt() noexcept;

// Throws Interrupted once a signal has arrived.
inline void stop_if_interrupted() {
  if (const int sig = interrupt_pending(); sig != 0) throw Interrupted{sig};
}

}  // namespace kestrel
