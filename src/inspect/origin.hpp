// Where a file stands in its run: the control file whose POSTFILE line names
// it, found beside it when not given. The map's sources and --check's source
// groups both come from there.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "inspect/kestrel_calls.hpp"

namespace kestrel::inspect {

struct Origin {
  ControlFile control;
  std::string control_name;
  std::string group;  // a dataset's; a POSTFILE's groups are in its records
  std::string type;   // a dataset's output type (CONC, DEPOS, DDEP, WDEP); empty for a POSTFILE
  bool plot = false;  // the POSTFILE line says PLOT
};

// The control files a run folder may hold, in the order they are tried:
// AERMOD.INP, those a list file names (<control>.kst), the other .INP files.
std::vector<std::filesystem::path> control_candidates(const std::filesystem::path& dir);

// `file` in the control file `control`: the POSTFILE line naming it as the
// POSTFILE itself, <POSTFILE>.gdx, <POSTFILE>.<group>.gdx of a shared
// POSTFILE, or a flux dataset beside them (.tflx.gdx, .dflx.gdx, .wflx.gdx).
// Nothing when no line does or kestrel cannot read it as a control file.
std::optional<Origin> origin_in(const std::string& control, const std::string& file);

// The first control file beside `file` that names it.
std::optional<Origin> origin_beside(const std::string& file);

}  // namespace kestrel::inspect
