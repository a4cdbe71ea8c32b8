// The run: SETUP, then COMPUTATION, then the closing lines.
#pragma once

#include <filesystem>
#include <ostream>
#include <span>
#include <string>

namespace kestrel {

inline constexpr int kExitNormal = 0;
inline constexpr int kExitHalt = 1;
inline constexpr int kExitIoFailure = 2;
inline constexpr int kExitUsage = 2;

// Runs a whole conversion in `dir` with the command-line arguments `args`
// (without the program's name). Returns the process exit status: 0 after
// NORMAL TERMINATION, 1 after a halt, 2 after an input/output failure or a
// usage error, 128 + the signal after Ctrl-C or SIGTERM.
int run(std::span<const std::string> args, const std::filesystem::path& dir, std::ostream& console,
        std::ostream& err);

}  // namespace kestrel
