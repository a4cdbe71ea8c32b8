// kestrel-inspect: readable summaries, CSV (every value, or one row per
// receptor), JSON, an SVG map and an SVG time series of converted datasets
// and AERMOD POSTFILEs, read with the program's own record reader and date
// code (through kestrel_calls.hpp).
#pragma once

#include <ostream>
#include <span>
#include <string>

namespace kestrel::inspect {

// Runs the tool with its arguments (without the program's name). Returns
// the exit status: 0, or 2 after a usage error or a file it cannot read.
int run_inspect(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace kestrel::inspect
