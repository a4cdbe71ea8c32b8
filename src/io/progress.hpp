// The progress line on standard error: rewritten in place a few times a
// second, on a terminal only once the work has taken a second, and erased
// before any other line goes out. Nothing of it reaches a redirected
// standard error unless asked for.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace kestrel::io {

// When the progress line is shown.
enum class ProgressMode { never, terminal, always };

// KESTREL_PROGRESS=always|never, else on a terminal only.
[[nodiscard]] ProgressMode progress_mode();

// "<lead>   42%     512.3 MB/s  0:07 left"; the time left only once it can
// be estimated.
[[nodiscard]] std::string progress_text(std::string_view lead, std::uint64_t done, std::uint64_t total,
                                        double seconds);

class ProgressLine {
 public:
  ProgressLine(std::ostream& err, ProgressMode mode);

  // Whether the line is to be drawn now; thread-safe, and true for one
  // caller at a time.
  [[nodiscard]] bool due() noexcept;
  // Seconds since the line was made.
  [[nodiscard]] double seconds() const;
  [[nodiscard]] bool never() const noexcept { return mode_ == ProgressMode::never; }

  // The caller serialises these two with its other output.
  void draw(std::string_view text);
  void erase();

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& err_;
  ProgressMode mode_;
  Clock::time_point start_ = Clock::now();
  std::atomic<std::int64_t> last_draw_ns_{0};
  std::size_t shown_width_ = 0;
};

}  // namespace kestrel::io
