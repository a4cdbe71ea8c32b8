#include "inspect/outputs.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analysis/met.hpp"
#include "base/io_error.hpp"
#include "inspect/failure.hpp"
#include "inspect/maps.hpp"
#include "inspect/origin.hpp"
#include "inspect/print/print.hpp"
#include "io/files.hpp"

namespace kestrel::inspect {

namespace {

namespace fs = std::filesystem;

std::string quoted(const std::string& s) { return "'" + s + "'"; }

using Read = io::NamedFile;

// A control file that a file's run is read from, the files it includes and
// the surface file it names.
void add_control(const std::string& name, const std::optional<ControlFile>& read, bool met_given,
                 std::vector<Read>& in) {
  in.push_back({name, "the control file " + quoted(name)});
  if (read) {
    for (const fs::path& p : read->included) in.push_back({p, "the included file " + quoted(p.string())});
  }
  if (met_given) return;
  try {
    if (const auto surface = analysis::surface_file_of(name)) {
      in.push_back({*surface, "the surface file " + quoted(surface->string())});
    }
  } catch (const IoError&) {
    // A control file that cannot be read fails where it is read.
  }
}

std::vector<Read> inputs_of(const Options& o) {
  std::vector<Read> in;
  for (const std::string& f : o.files) in.push_back({f, "the input " + quoted(f)});
  if (!o.met.empty()) in.push_back({o.met, "the surface file " + quoted(o.met)});
  if (!o.check.empty()) in.push_back({o.check, "the listing " + quoted(o.check)});
  if (!o.control.empty()) {
    std::optional<ControlFile> read;
    try {
      read = read_control_file(o.control);
    } catch (const Failure&) {
      // Said where it is read.
    }
    add_control(o.control, read, !o.met.empty(), in);
    return in;
  }
  // Without --control a map takes its sources, and the statistics their
  // surface file, from the control file beside the file that names it: every
  // control file there is read to find it.
  for (const std::string& f : o.files) {
    std::error_code ec;
    for (const fs::path& c : control_candidates(fs::path(f).parent_path())) {
      if (fs::is_regular_file(c, ec)) in.push_back({c, "the control file " + quoted(c.string())});
    }
    if (const auto origin = origin_beside(f)) add_control(origin->control_name, origin->control, !o.met.empty(), in);
  }
  return in;
}

std::vector<std::string> outputs_of(const Options& o) {
  std::vector<std::string> out;
  for (const std::string* name : {&o.svg, &o.png, &o.pdf, &o.geojson, &o.kml, &o.svg_series}) {
    if (!name->empty()) out.push_back(*name);
  }
  if (!o.kml.empty() && print_available()) out.push_back((fs::path(o.kml).parent_path() / legend_name(o.kml)).string());
  return out;
}

}  // namespace

void check_outputs(const Options& o) {
  const std::vector<std::string> outputs = outputs_of(o);
  if (outputs.empty()) return;
  for (const std::string& name : outputs) io::check_output_name(name, name, quoted(name));
  const std::vector<Read> in = inputs_of(o);
  for (const std::string& name : outputs) {
    io::refuse_output_over_input(name, "the output " + quoted(name),
                                 "the output's temporary file " + quoted(name + ".part"), in);
  }
}

}  // namespace kestrel::inspect
