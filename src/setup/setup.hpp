// The SETUP phase: reads the AERMOD control file (and one included receptor
// file) into the control record.
#pragma once

#include <filesystem>
#include <span>
#include <string>

#include "app/channels.hpp"
#include "base/halt.hpp"
#include "app/qa.hpp"
#include "setup/ctrl.hpp"

namespace kestrel {

// Opens the list file and fills `ctrl`. Returns with halt132 untouched on
// success; a halt leaves its message there and its lines in the list file.
// Files that cannot be opened or read throw IoError.
void setup(Ctrl& ctrl, const Qa& qa, Channels& ch, std::span<const std::string> args,
           const std::filesystem::path& dir, Halt132& halt132);

// The reading part of SETUP on its own: the control file `cfname` (opened
// as named, relative to `dir`) and its receptor file into `ctrl`, with the
// final checks. Writes nothing but diagnostic lines to an open list file.
void read_control(Ctrl& ctrl, Channels& ch, const std::filesystem::path& dir, const std::string& cfname,
                  Halt132& halt132);

}  // namespace kestrel
