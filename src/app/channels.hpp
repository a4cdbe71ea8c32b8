// Where a run's lines go: the console (standard output), standard error for
// warnings and failures, and the list file; and the live progress line.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "base/report.hpp"
#include "io/files.hpp"

namespace kestrel {

// When the progress line is shown on standard error.
enum class ProgressMode { never, terminal, always };

class Channels final : public Report {
 public:
  Channels(std::ostream& console, std::ostream& err, ProgressMode progress = ProgressMode::never)
      : console(console), err(err), progress_mode_(progress) {}

  std::ostream& console;
  std::ostream& err;

  // Creates the list file anew, held against a second kestrel until it is
  // closed. `shown` names it in messages, `control` the control file whose
  // list file it is.
  void open_list(const std::filesystem::path& path, std::string shown, std::string_view control);
  [[nodiscard]] bool list_open() const noexcept { return list_.has_value(); }

  // Each console line is out when it is written.
  void to_console(std::string_view line);
  // Throws IoError when the list file cannot be written.
  void to_list(std::string_view line);
  void to_both(std::string_view line) {
    to_console(line);
    to_list(line);
  }
  // A warning: a free-format line in the list file, the bare text on standard error.
  void warn(std::string_view text) override;
  void note(std::string_view line) override { to_list(line); }
  // The start of a POSTFILE: what came before it is in the list file.
  void progress(std::string_view line) override;
  // Throws Interrupted once Ctrl-C or SIGTERM has arrived.
  void reading(std::string_view name, std::uint64_t done, std::uint64_t total) override;
  void read_done() override { erase_progress(); }

  // Writes what the list file holds so far; throws IoError on failure.
  void flush_list();
  // Flushes and closes the list file; throws IoError if its lines were not all written.
  void close_list();
  // Last words after a failure: one line, then the list file is closed; never throws.
  void close_list_quietly(std::string_view last_line) noexcept;
  // Takes the progress line off standard error.
  void erase_progress();

 private:
  using Clock = std::chrono::steady_clock;
  std::optional<io::LockedTextFile> list_;
  std::string list_shown_;
  ProgressMode progress_mode_;
  Clock::time_point file_start_;
  Clock::time_point last_shown_;
  std::size_t shown_width_ = 0;
};

}  // namespace kestrel
