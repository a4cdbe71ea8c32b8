// The study's account for scripts and cluster jobs: a JSON document of every
// run's ending, datasets and warnings, written whole or not at all.
#pragma once

#include <chrono>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "app/run.hpp"

namespace kestrel::study {

struct StudyAccount {
  std::span<const std::string> args;    // the command line, without the program
  std::span<const std::string> given;   // each RUN as given
  std::span<const RunEnd> ends;         // in the same order
  std::chrono::system_clock::time_point start, end;
  int status = 0;
};

// Whether this build can write the account (it needs the JSON library).
[[nodiscard]] bool summary_file_available() noexcept;

// Writes `account` to `path` (through `path`.part, renamed when whole).
// Throws IoError when it cannot be written.
void write_summary_file(const std::filesystem::path& path, const std::string& shown, const StudyAccount& account);

}  // namespace kestrel::study
