// Where a run's lines go: the list file, and through an Outlet the console
// (standard output) and standard error.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/outlet.hpp"
#include "base/report.hpp"
#include "io/files.hpp"

namespace kestrel {

class Channels final : public Report {
 public:
  // `prefix` is what a name of the run takes on the console and standard
  // error: the run's folder as seen from the current one ("runs/r1/"), or "".
  Channels(Outlet& out, std::string prefix) : out_(out), prefix_(std::move(prefix)) {}

  // Creates the list file anew, held against a second kestrel until it is
  // closed. `shown` names it in messages, `control` the control file whose
  // list file it is.
  void open_list(const std::filesystem::path& path, std::string shown, std::string_view control);
  [[nodiscard]] bool list_open() const noexcept { return list_.has_value(); }

  void to_console(std::string_view line) { out_.console(line); }
  void to_error(std::string_view line) { out_.error(line); }
  // Throws IoError when the list file cannot be written.
  void to_list(std::string_view line);
  void to_both(std::string_view line) {
    to_console(line);
    to_list(line);
  }
  // A warning: a free-format line in the list file, the bare text on standard error.
  void warn(std::string_view text) override;
  void note(std::string_view line) override { to_list(line); }
  // Throws Interrupted once Ctrl-C, SIGTERM or SIGHUP has arrived.
  void progress(std::string_view line) override;
  void reading(std::string_view name, std::uint64_t done, std::uint64_t total) override;

  // Writes what the list file holds so far; throws IoError on failure.
  void flush_list();
  // Flushes and closes the list file; throws IoError if its lines were not all written.
  void close_list();
  // Last words after a failure: one line, then the list file is closed; never throws.
  void close_list_quietly(std::string_view last_line) noexcept;

  // `text` with the run's folder put before the name that starts at `at`,
  // unless that name is absolute: a name as the console shows it.
  [[nodiscard]] std::string seen(std::string_view text, std::size_t at) const;
  // A message naming a file in quotes ("cannot open POSTFILE 'A.BIN': ..."), as the console shows it.
  [[nodiscard]] std::string seen_message(std::string_view text) const;
  [[nodiscard]] const std::string& prefix() const noexcept { return prefix_; }
  [[nodiscard]] std::int64_t warnings() const noexcept { return warnings_; }
  [[nodiscard]] const std::vector<std::string>& warning_texts() const noexcept { return warning_texts_; }
  // A warning written elsewhere, as standard error shows it.
  void count_warning(std::string shown) {
    ++warnings_;
    warning_texts_.push_back(std::move(shown));
  }

 private:
  Outlet& out_;
  std::string prefix_;
  std::optional<io::LockedTextFile> list_;
  std::string list_shown_;
  std::int64_t warnings_ = 0;
  std::vector<std::string> warning_texts_;
};

}  // namespace kestrel
