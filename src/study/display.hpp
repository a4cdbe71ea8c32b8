// The study's standard output and standard error: run blocks, the progress
// line over the whole study, and the outlets the runs write through.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/outlet.hpp"
#include "app/run.hpp"
#include "io/progress.hpp"

namespace kestrel::study {

using io::ProgressMode;

class Display final : public Meter {
 public:
  // On a terminal the console's lines go out without their trailing blanks.
  Display(std::ostream& console, std::ostream& err, ProgressMode mode, bool console_terminal, std::size_t runs);

  // Each line is out when it is written; thread-safe.
  void console(std::string_view line);
  void error(std::string_view line);
  // A run's POSTFILE bytes became known.
  void add_run_bytes(std::uint64_t bytes);
  void run_done();
  void advance(std::uint64_t bytes) noexcept override;
  // Takes the progress line off standard error.
  void erase_progress();

 private:
  void draw_locked();

  std::ostream& console_;
  std::ostream& err_;
  bool console_terminal_;
  std::mutex mutex_;
  io::ProgressLine line_;  // drawn and erased under mutex_
  std::atomic<std::uint64_t> done_{0};
  std::uint64_t known_bytes_ = 0;  // under mutex_
  std::size_t known_runs_ = 0;
  std::size_t runs_ = 0;
  std::size_t runs_done_ = 0;
};

// A run's lines straight out (a study of one run).
class DirectOutlet final : public Outlet {
 public:
  // `quiet`: console lines are dropped.
  explicit DirectOutlet(Display& d, bool quiet = false) : d_(d), quiet_(quiet) {}
  void console(std::string_view line) override {
    if (!quiet_) d_.console(line);
  }
  void error(std::string_view line) override { d_.error(line); }

 private:
  Display& d_;
  bool quiet_;
};

// A run's lines kept until its block is shown.
class BlockOutlet final : public Outlet {
 public:
  void console(std::string_view line) override { lines_.push_back({false, std::string(line)}); }
  void error(std::string_view line) override { lines_.push_back({true, std::string(line)}); }
  void show(Display& d) const;

 private:
  struct Line {
    bool error;
    std::string text;
  };
  std::vector<Line> lines_;
};

// "3/500 runs   42%     512.3 MB/s  0:07 left"; the time left only once
// it can be estimated.
[[nodiscard]] std::string progress_text(std::size_t runs_done, std::size_t runs, std::uint64_t done,
                                        std::uint64_t total, double seconds);

}  // namespace kestrel::study
