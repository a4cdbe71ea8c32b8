// The command line: options, and each RUN argument as a run folder and its
// control file.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace kestrel {

struct Options {
  enum class Action { convert, help, version, usage_error };
  Action action = Action::convert;
  unsigned jobs = 0;  // 0: as many as the process may use
  bool strict = false;
  bool resume = false;   // skip runs whose outputs are up to date
  bool allow_failed_aermod = false;  // convert where AERMOD's listing says it did not finish
  bool quiet = false;    // no run blocks, no progress line
  std::string summary;   // a JSON account of the study to this file, "" for none
  std::vector<std::string> runs;  // as given; none: AERMOD.INP here
  std::string error;              // for usage_error: the first line of the message
};

[[nodiscard]] Options parse_options(std::span<const std::string> args);

// A run as the command line names it.
struct RunTarget {
  std::string given;            // the argument, "" for none
  std::filesystem::path folder;  // where the run is carried out
  std::string cfname;            // the control file as the run names it
  std::string prefix;            // the folder as seen from the current one, "" or ending in '/'
  bool folder_form = false;      // a folder, or no RUN: the control file is its AERMOD.INP
  bool in_study = false;         // two or more RUNs, or a folder
  bool among_others = false;     // two or more RUNs
  bool resume = false;           // --resume
  bool allow_failed_aermod = false;  // --allow-failed-aermod
};

// A RUN argument relative to `dir`: a folder stands for the AERMOD.INP in
// it; an empty argument (or none) for AERMOD.INP in `dir`.
[[nodiscard]] RunTarget comline(const std::filesystem::path& dir, const std::string& arg);

}  // namespace kestrel
