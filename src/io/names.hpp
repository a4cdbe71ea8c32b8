// File names taken from the control file are upper case and may use \ as a
// folder separator; they are matched to the files as they exist, and the
// spelling on disk is used on every system (a dataset is named after its
// POSTFILE as the folder lists it, also where case is ignored).
#pragma once

#include <filesystem>
#include <string_view>

namespace kestrel::io {

// The file that `name` (UTF-8) means, relative to `dir`: each component as
// the folder lists it, spelled exactly if such an entry exists, else matched
// ignoring case. A name that matches nothing is returned as stored, so that
// opening it reports the system's reason. Throws IoError naming `what` when
// two entries match.
std::filesystem::path resolve_name(const std::filesystem::path& dir, std::string_view name, std::string_view what);

}  // namespace kestrel::io
