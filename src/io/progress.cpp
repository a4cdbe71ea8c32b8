#include "io/progress.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "io/platform.hpp"

namespace kestrel::io {

ProgressMode progress_mode() {
  const char* v = std::getenv("KESTREL_PROGRESS");
  const std::string_view mode = v != nullptr ? v : "";
  if (mode == "always") return ProgressMode::always;
  if (mode == "never") return ProgressMode::never;
  return stderr_is_terminal() ? ProgressMode::terminal : ProgressMode::never;
}

std::string progress_text(std::string_view lead, std::uint64_t done, std::uint64_t total, double seconds) {
  const double fraction = total > 0 ? std::min(1.0, static_cast<double>(done) / static_cast<double>(total)) : 0.0;
  const double rate = seconds > 0.0 ? static_cast<double>(done) / seconds : 0.0;
  // The rate through to_chars: a decimal point whatever the locale.
  char mbs[32];
  const auto [end, ec] = std::to_chars(mbs, mbs + sizeof mbs, rate / 1.0e6, std::chars_format::fixed, 1);
  *(ec == std::errc{} ? end : mbs) = '\0';
  char buf[96];
  const int n = std::snprintf(buf, sizeof buf, "  %3d%%  %8s MB/s", static_cast<int>(fraction * 100.0), mbs);
  std::string text(lead);
  if (n > 0) text.append(buf, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buf - 1));
  // A rate taken over less than a second or 1 % of the bytes says nothing
  // of the time left.
  if (seconds >= 1.0 && fraction >= 0.01 && rate > 0.0) {
    const auto left_s = static_cast<long long>((static_cast<double>(total) * (1.0 - fraction)) / rate + 0.5);
    std::snprintf(buf, sizeof buf, "  %lld:%02lld left", left_s / 60, left_s % 60);
    text.append(buf);
  }
  return text;
}

ProgressLine::ProgressLine(std::ostream& err, ProgressMode mode) : err_(err), mode_(mode) {}

bool ProgressLine::due() noexcept {
  if (mode_ == ProgressMode::never) return false;
  const std::int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start_).count();
  // Rewritten a few times a second; on a terminal only after the first second.
  if (mode_ == ProgressMode::terminal && ns < 1'000'000'000) return false;
  std::int64_t last = last_draw_ns_.load(std::memory_order_relaxed);
  if (last != 0 && ns - last < 200'000'000) return false;
  return last_draw_ns_.compare_exchange_strong(last, ns);
}

double ProgressLine::seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

void ProgressLine::draw(std::string_view text) {
  err_ << '\r' << text;
  if (text.size() < shown_width_) err_ << std::string(shown_width_ - text.size(), ' ');
  err_.flush();
  shown_width_ = std::max(shown_width_, text.size());
}

void ProgressLine::erase() {
  if (shown_width_ == 0) return;
  err_ << '\r' << std::string(shown_width_, ' ') << '\r';
  err_.flush();
  shown_width_ = 0;
}

}  // namespace kestrel::io
