// The control-file name from the command line.
#pragma once

#include <span>
#include <string>

namespace kestrel {

// ctext holds the default name (132 columns) on entry; it is replaced by the
// arguments joined by single blanks, cut at 132, when they make a name that
// does not begin with a blank.
void comline(std::string& ctext, std::span<const std::string> args);

}  // namespace kestrel
