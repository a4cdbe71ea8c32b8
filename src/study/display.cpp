#include "study/display.hpp"

#include <charconv>

#include <algorithm>
#include <cstdio>

namespace kestrel::study {

std::string progress_text(std::size_t runs_done, std::size_t runs, std::uint64_t done, std::uint64_t total,
                          double seconds) {
  const double fraction = total > 0 ? std::min(1.0, static_cast<double>(done) / static_cast<double>(total)) : 0.0;
  const double rate = seconds > 0.0 ? static_cast<double>(done) / seconds : 0.0;
  // The rate through to_chars: a decimal point whatever the locale.
  char mbs[32];
  const auto [end, ec] = std::to_chars(mbs, mbs + sizeof mbs, rate / 1.0e6, std::chars_format::fixed, 1);
  *(ec == std::errc{} ? end : mbs) = '\0';
  char buf[128];
  int n = std::snprintf(buf, sizeof buf, "%zu/%zu runs  %3d%%  %8s MB/s", runs_done, runs,
                        static_cast<int>(fraction * 100.0), mbs);
  // A rate taken over less than a second or 1 % of the bytes says nothing
  // of the time left.
  if (seconds >= 1.0 && fraction >= 0.01 && rate > 0.0 && n > 0) {
    const auto left_s = static_cast<long long>((static_cast<double>(total) * (1.0 - fraction)) / rate + 0.5);
    std::snprintf(buf + n, sizeof buf - static_cast<std::size_t>(n), "  %lld:%02lld left", left_s / 60, left_s % 60);
  }
  return buf;
}

Display::Display(std::ostream& console, std::ostream& err, ProgressMode mode, bool console_terminal, std::size_t runs)
    : console_(console), err_(err), mode_(mode), console_terminal_(console_terminal), runs_(runs) {}

void Display::console(std::string_view line) {
  const std::lock_guard lock(mutex_);
  erase_locked();
  if (console_terminal_) {
    // Blank padding would wrap on a narrower terminal.
    const std::size_t end = line.find_last_not_of(' ');
    line = end == std::string_view::npos ? std::string_view() : line.substr(0, end + 1);
  }
  console_ << line << '\n';
  console_.flush();
}

void Display::error(std::string_view line) {
  const std::lock_guard lock(mutex_);
  erase_locked();
  console_.flush();
  err_ << line << '\n';
  err_.flush();
}

void Display::add_run_bytes(std::uint64_t bytes) {
  const std::lock_guard lock(mutex_);
  known_bytes_ += bytes;
  ++known_runs_;
}

void Display::run_done() {
  const std::lock_guard lock(mutex_);
  ++runs_done_;
}

void Display::advance(std::uint64_t bytes) noexcept {
  done_.fetch_add(bytes, std::memory_order_relaxed);
  if (mode_ == ProgressMode::never) return;
  const auto now = Clock::now();
  const std::int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now - start_).count();
  // Rewritten a few times a second; on a terminal only after the first second.
  if (mode_ == ProgressMode::terminal && ns < 1'000'000'000) return;
  std::int64_t last = last_draw_ns_.load(std::memory_order_relaxed);
  if (last != 0 && ns - last < 200'000'000) return;
  if (!last_draw_ns_.compare_exchange_strong(last, ns)) return;
  const std::unique_lock lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock()) return;
  try {
    draw_locked();
  } catch (...) {
    // A progress line is not worth a failed run.
  }
}

void Display::draw_locked() {
  // Runs not yet set up are guessed at the mean of those that are.
  std::uint64_t total = known_bytes_;
  if (known_runs_ > 0 && known_runs_ < runs_) total += known_bytes_ / known_runs_ * (runs_ - known_runs_);
  const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
  const std::string text = progress_text(runs_done_, runs_, done_.load(std::memory_order_relaxed), total, seconds);
  err_ << '\r' << text;
  if (text.size() < shown_width_) err_ << std::string(shown_width_ - text.size(), ' ');
  err_.flush();
  shown_width_ = std::max(shown_width_, text.size());
}

void Display::erase_locked() {
  if (shown_width_ == 0) return;
  err_ << '\r' << std::string(shown_width_, ' ') << '\r';
  err_.flush();
  shown_width_ = 0;
}

void Display::erase_progress() {
  const std::lock_guard lock(mutex_);
  erase_locked();
}

void BlockOutlet::show(Display& d) const {
  for (const Line& l : lines_) {
    if (l.error) {
      d.error(l.text);
    } else {
      d.console(l.text);
    }
  }
}

}  // namespace kestrel::study
