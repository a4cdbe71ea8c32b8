// The program: the command line, the runs of a study converted side by side,
// and the summary after several runs.
#pragma once

#include <filesystem>
#include <ostream>
#include <span>
#include <string>

namespace kestrel {

// Runs the command line `args` (without the program's name) in `dir`.
// Returns the process exit status: 0 when every run ended normally, else the
// highest of the runs' statuses (1 halted, 2 an input/output failure), 2 for
// a usage error, 3 with --strict after warnings, 128 + the signal after
// Ctrl-C or SIGTERM. `console_terminal`: standard output is a terminal.
int run(std::span<const std::string> args, const std::filesystem::path& dir, std::ostream& console,
        std::ostream& err, bool console_terminal = false);

}  // namespace kestrel
