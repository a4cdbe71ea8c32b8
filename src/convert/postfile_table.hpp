// A POSTFILE's records read whole into memory, for callers that want every
// value of one output type at once (the Python package) rather than a
// dataset on disk. The records go through the converter's own readers, so a
// file reads here exactly as it converts, halts and warnings included.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "base/status.hpp"
#include "dataset/output_type.hpp"
#include "datetime/datetime.hpp"
#include "setup/ctrl.hpp"

namespace kestrel {

struct PostfileTable {
  // Records x receptors, record after record, in AERMOD's unit (no factor).
  std::vector<float> values;
  std::vector<DateHour> ends;       // each record's period end
  std::vector<std::int32_t> group;  // each record's group, an index into groups
  std::vector<std::string> groups;  // in the order they first come, trimmed
  std::vector<std::int32_t> kave;   // each record's averaging hours
  std::vector<std::string> warnings;
};

// Reads every record of the POSTFILE at `path` (named `name` in messages) of
// the run `ctrl` set up, the values of output type `type`. A halt comes back
// as the Status the conversion would end with, `out` holding the records
// before it; a file that cannot be read throws IoError, a signal Interrupted.
Status read_postfile_table(const Ctrl& ctrl, const std::filesystem::path& path, const std::string& name, bool plot,
                           dataset::OutputType type, PostfileTable& out);

}  // namespace kestrel
