// File names taken from the control file are upper case and may use \ as a
// folder separator; on a case-sensitive file system they are matched to the
// files as they exist.
#pragma once

#include <filesystem>
#include <string_view>

namespace kestrel::io {

// The file that `name` means, relative to `dir`: the name as stored if it
// exists, else each component matched case-insensitively. A name that
// matches nothing is returned as stored, so that opening it reports the
// system's reason. Throws IoError naming `what` when two entries match.
std::filesystem::path resolve_name(const std::filesystem::path& dir, std::string_view name, std::string_view what);

}  // namespace kestrel::io
