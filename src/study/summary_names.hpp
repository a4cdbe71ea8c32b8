// What --summary FILE may not be, checked before the first run begins: a
// name in a folder that is not there, a device or a FIFO, or any file the
// study reads or writes.
#pragma once

#include <filesystem>
#include <span>
#include <string>

#include "app/comline.hpp"

namespace kestrel::study {

// Throws IoError with the reason, naming the summary file (`shown`, as
// given) and the run and file it would replace. Each run's control file
// and list file are compared by name; where the control file can be read,
// its included files, POSTFILEs and datasets too (a dataset not written
// yet by its name alone).
void check_summary_name(const std::filesystem::path& path, const std::string& shown,
                        std::span<const RunTarget> runs);

}  // namespace kestrel::study
