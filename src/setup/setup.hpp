// The SETUP phase: reads the AERMOD control file (and its receptor file)
// into the control record.
#pragma once

#include <filesystem>
#include <string>

#include "base/report.hpp"
#include "base/status.hpp"
#include "setup/ctrl.hpp"

namespace kestrel {

// Reads the control file `cfname` (opened as named, relative to `dir`) and
// its receptor file into a control record, with the final checks. Notes go
// to `report`; a halt comes back with its lines. Files that cannot be opened
// or read throw IoError.
Result<Ctrl> setup(const std::filesystem::path& dir, const std::string& cfname, Report& report);

}  // namespace kestrel
