#include "base/interrupt.hpp"

#include <atomic>

namespace kestrel {

namespace {

// A signal handler can do no more than store to a lock-free atomic; it is
// the one piece of state the whole process shares, read by every thread.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

}  // namespace

int interrupt_pending() noexcept { return g_signal.load(std::memory_order_relaxed); }
void note_interrupt(int signal) noexcept { g_signal.store(signal, std::memory_order_relaxed); }
void clear_interrupt() noexcept { g_signal.store(0, std::memory_order_relaxed); }

}  // namespace kestrel
