// Where a run's lines go: the console (standard output), standard error for
// warnings and failures, and the list file.
#pragma once

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <string_view>

#include "base/report.hpp"

namespace kestrel {

class Channels final : public Report {
 public:
  Channels(std::ostream& console, std::ostream& err) : console(console), err(err) {}

  std::ostream& console;
  std::ostream& err;

  // Creates or overwrites the list file. `shown` names it in messages.
  void open_list(const std::filesystem::path& path, std::string shown);
  [[nodiscard]] bool list_open() const noexcept { return list_.is_open(); }

  void to_console(std::string_view line) { console << line << '\n'; }
  // Throws IoError when the list file cannot be written.
  void to_list(std::string_view line);
  void to_both(std::string_view line) {
    to_console(line);
    to_list(line);
  }
  // A warning: a free-format line in the list file, the bare text on standard error.
  void warn(std::string_view text) override;
  void note(std::string_view line) override { to_list(line); }
  void progress(std::string_view line) override { to_both(line); }

  // Flushes and closes the list file; throws IoError if its lines were not all written.
  void close_list();
  // Last words after a failure: one line, then the list file is closed; never throws.
  void close_list_quietly(std::string_view last_line) noexcept;

 private:
  void check_list();

  std::ofstream list_;
  std::string list_shown_;
};

}  // namespace kestrel
