// kestrel-inspect's command line.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::inspect {

struct Options {
  bool csv = false;
  bool json = false;
  bool receptors_csv = false;
  std::string svg;
  std::string svg_series;
  bool grid = false;
  bool filled = false;
  std::string title;          // the map's title line
  std::vector<double> levels;  // --levels, rising; empty: 1, 2 and 5 times the powers of ten
  std::string png, pdf;        // the map printed
  int dpi = 150;
  bool dpi_given = false;
  std::string geojson, kml;    // the map as geographic data
  std::string crs;             // the projected coordinate system of the run's x and y
  bool origin_given = false;
  double origin_e = 0, origin_n = 0;  // the run's (0, 0) in that system, m
  std::string unit;           // ug/m3, g/m3, ug/m2/h or g/m2/s for every value shown; empty: each file's own
  std::vector<std::string> stats;  // --stat, as written, in order
  std::string check;          // AERMOD's main output file to check the files against
  std::int32_t receptor = 0;  // for the series; 0 = the one with the highest value
  int real = 0;               // 0 = infer
  std::int32_t receptors = 0;
  std::string control;
  std::string met;  // --met: the surface file, else the control file's ME SURFFILE
  std::string type;  // a POSTFILE's output type to read, upper case; empty: its first
  std::vector<std::string> files;
  // Whether any picture or file of the map is asked for.
  [[nodiscard]] bool map() const {
    return !svg.empty() || !png.empty() || !pdf.empty() || !geojson.empty() || !kml.empty();
  }
  // An override of what is otherwise inferred from the file.
  [[nodiscard]] bool overrides() const { return real != 0 || receptors != 0; }
};

std::string_view usage();

// Throws Failure on a usage error.
Options parse_args(std::span<const std::string> args);

}  // namespace kestrel::inspect
