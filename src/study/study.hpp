// The program: the command line, the runs of a study converted side by side,
// and the summary after several runs.
#pragma once

#include <filesystem>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "app/run.hpp"

namespace kestrel {

// Runs the command line `args` (without the program's name) in `dir`.
// Returns the process exit status: 0 when every run ended normally, else the
// highest of the runs' statuses (1 halted, 2 an input/output failure), 2 for
// a usage error, 3 with --strict after warnings, 128 + the signal after
// Ctrl-C, SIGTERM or SIGHUP. `console_terminal`: standard output is a terminal.
int run(std::span<const std::string> args, const std::filesystem::path& dir, std::ostream& console,
        std::ostream& err, bool console_terminal = false);

// How a caller other than the program runs a study: a library caller (the
// Python package) keeps its own signal handlers and its standard error free
// of the progress line.
struct StudyCall {
  bool console_terminal = false;
  bool install_handlers = true;  // else the caller notes signals (note_interrupt)
  bool progress = true;          // the progress line, where standard error takes it
};

// The study and how each of its runs ended, in argument order (empty after
// a usage error, --help or --version).
struct StudyOutcome {
  int status = 0;                  // the exit status run() returns
  std::vector<std::string> given;  // each run as given
  std::vector<RunEnd> ends;
};
StudyOutcome run_study(std::span<const std::string> args, const std::filesystem::path& dir, std::ostream& console,
                       std::ostream& err, const StudyCall& call);

}  // namespace kestrel
