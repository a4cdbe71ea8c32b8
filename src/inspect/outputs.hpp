// The files kestrel-inspect writes, checked before any work: none may be a
// device, a FIFO or a folder, nor any file it reads.
#pragma once

#include "inspect/options.hpp"

namespace kestrel::inspect {

// Throws IoError naming the output and the input it would replace. The
// inputs: the files, --control, --met, --check's listing, and where a map
// is drawn without --control, the control files beside each file (read to
// find the one that names it) and that one's included and surface files.
void check_outputs(const Options& o);

}  // namespace kestrel::inspect
