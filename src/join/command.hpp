// kestrel-join as a program: the command line, the files, the messages and
// the exit status. The programs' main only hands it its arguments.
#pragma once

#include <filesystem>
#include <ostream>
#include <span>
#include <string>

namespace kestrel::join {

// Exit statuses, as kestrel's: 0 written, 1 refused, 2 an input/output
// failure or a usage error; 128 + the signal after Ctrl-C, SIGTERM or SIGHUP.
inline constexpr int kExitWritten = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitIoFailure = 2;
inline constexpr int kExitUsage = 2;

// Runs kestrel-join with `args` (without the program's name); names are
// taken from `dir`. The "Dataset ..." line goes to `out`, messages and the
// progress line to `err`. Installs no signal handler: the caller does.
int run_join(std::span<const std::string> args, const std::filesystem::path& dir, std::ostream& out,
             std::ostream& err);

}  // namespace kestrel::join
