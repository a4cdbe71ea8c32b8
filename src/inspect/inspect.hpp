// kestrel-inspect: readable summaries, CSV, JSON and an SVG map of converted
// datasets and AERMOD POSTFILEs, read with the program's own record reader
// and date code.
#pragma once

#include <ostream>
#include <span>
#include <string>

namespace kestrel::inspect {

// Runs the tool with its arguments (without the program's name). Returns
// the exit status: 0, or 2 after a usage error or a file it cannot read.
int run_inspect(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace kestrel::inspect
