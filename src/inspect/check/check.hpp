// kestrel-inspect --check: every value of every table that AERMOD printed
// in its main output file, with its date and flag, against the same
// statistic computed from the run's 1-hour datasets or POSTFILEs and the
// hours of its surface file.
#pragma once

#include <ostream>
#include <span>
#include <string>

namespace kestrel::inspect {

// Compares `files` with the tables of `aermod_out`; each file's source group
// and output type come from the POSTFILE line that names it in `control`,
// or in the control file beside it when `control` is empty. Returns 0 when
// every value compared agrees, 1 otherwise; throws Failure or IoError (exit status
// 2) naming in `current` the file that cannot be read, and Failure after the
// report when `aermod_out` is cut short.
int run_check(const std::string& aermod_out, const std::string& control, std::span<const std::string> files,
              std::ostream& out, std::string& current);

}  // namespace kestrel::inspect
