#include "study/display.hpp"

#include <string>

namespace kestrel::study {

std::string progress_text(std::size_t runs_done, std::size_t runs, std::uint64_t done, std::uint64_t total,
                          double seconds) {
  return io::progress_text(std::to_string(runs_done) + "/" + std::to_string(runs) + " runs", done, total, seconds);
}

Display::Display(std::ostream& console, std::ostream& err, ProgressMode mode, bool console_terminal, std::size_t runs)
    : console_(console), err_(err), console_terminal_(console_terminal), line_(err, mode), runs_(runs) {}

void Display::console(std::string_view line) {
  const std::lock_guard lock(mutex_);
  line_.erase();
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
  line_.erase();
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
  if (!line_.due()) return;
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
  line_.draw(progress_text(runs_done_, runs_, done_.load(std::memory_order_relaxed), total, line_.seconds()));
}

void Display::erase_progress() {
  const std::lock_guard lock(mutex_);
  line_.erase();
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
