// The map's parts, drawn in order by write_map: the page geometry and the
// colour scale they share, and each layer.
#pragma once

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "inspect/draw/contour.hpp"
#include "inspect/draw/map_labels.hpp"
#include "inspect/draw/svg.hpp"

namespace kestrel::inspect {

constexpr double kMapLeft = 80, kMapTop = 72, kMapSize = 600;  // the plot square, px

// Where km go on the page: one scale for both axes, the extent centred.
struct View {
  double cx = 0, cy = 0, side = 1, scale = 1;
  [[nodiscard]] double px(double x) const { return kMapLeft + kMapSize / 2 + (x - cx) * scale; }
  [[nodiscard]] double py(double y) const { return kMapTop + kMapSize / 2 - (y - cy) * scale; }
  [[nodiscard]] double x_at(double p) const { return cx + (p - kMapLeft - kMapSize / 2) / scale; }
  [[nodiscard]] double y_at(double p) const { return cy - (p - kMapTop - kMapSize / 2) / scale; }
};

// The colour scale: log10 of the values from lo to hi, at most six decades;
// its labelled values are the contour levels.
struct Scale {
  double lo = 1, hi = 10;
  bool clipped = false;  // values below lo take lo's colour
  std::vector<double> levels;
  [[nodiscard]] double t(double v) const {
    return (std::log10(v) - std::log10(lo)) / (std::log10(hi) - std::log10(lo));
  }
  // The colour of the band from levels[i] to levels[i + 1].
  [[nodiscard]] std::string band_colour(std::size_t i) const;
};

// What the layers draw from: receptors on the page, their values (ug/m3,
// NaN for none) and the field contoured, the triangles between them.
struct MapData {
  std::vector<Pt> page;    // px
  std::vector<double> high;
  // log10 of the values, interpolated linearly within each triangle: values
  // spanning decades change by the same factor from receptor to receptor,
  // not by the same amount. Zeros count as a tenth of the scale's lowest.
  std::vector<double> field;
  std::vector<double> radius;  // each mark's, px
  std::vector<Triangle> triangles;
  std::string unit;  // of the values, as the picture writes it
  std::optional<Summary::Peak> peak;  // the highest value
};

std::string receptor_marks(const MapData& d, const Scale& sc);
std::string filled_bands(const MapData& d, const Scale& sc);
// The isolines at the scale's levels and their labels, placed clear of
// `around`, to which the labels are added.
std::string contour_lines(const MapData& d, const Scale& sc, bool filled, Obstacles& around);
// Each source a black triangle with its id (sources at one place share a label).
std::string source_marks(const std::vector<SourcePlace>& sources, const View& v, Obstacles& around);
// The diamond round the receptor with the highest value and its value,
// placed clear of `around` (with a leader line when it had to move).
std::string peak_mark(const MapData& d, const Obstacles& around);
// A scale bar in m or km and a north arrow, from (x, y) down; returns the y below them.
std::string scale_bar_and_north(const View& v, double x, double& y);

}  // namespace kestrel::inspect
