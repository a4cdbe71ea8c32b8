// The SETUP phase: reads the AERMOD control file (and one included receptor
// file) into the control record.
#pragma once

#include <filesystem>
#include <span>
#include <string>

#include "kestrel/channels.hpp"
#include "kestrel/halt.hpp"
#include "kestrel/qa.hpp"
#include "setup/ctrl.hpp"

namespace kestrel {

// Opens the list file and fills `ctrl`. Returns with halt132 untouched on
// success; a halt leaves its message there and its lines in the list file.
// Files that cannot be opened or read throw IoError.
void setup(Ctrl& ctrl, const Qa& qa, Channels& ch, std::span<const std::string> args,
           const std::filesystem::path& dir, Halt132& halt132);

}  // namespace kestrel
