// kestrel-inspect --check: every 1-hour RECTABLE and MAXTABLE value that
// AERMOD printed in its main output file, and its date, against the same
// statistic computed from the run's datasets or POSTFILEs.
#pragma once

#include <ostream>
#include <span>
#include <string>

namespace kestrel::inspect {

// Compares `files` with the tables of `aermod_out`; each file's source group
// and output type come from the POSTFILE line that names it in `control`,
// or in the control file beside it when `control` is empty. Returns 0 when
// every value agrees, 1 otherwise; throws Failure or IoError (exit status
// 2) naming in `current` the file that cannot be read.
int run_check(const std::string& aermod_out, const std::string& control, std::span<const std::string> files,
              std::ostream& out, std::string& current);

}  // namespace kestrel::inspect
