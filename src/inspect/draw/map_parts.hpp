// The SVG map's parts, drawn in order by map_svg: the page geometry and each
// layer, from the map's model.
#pragma once

#include <string>
#include <vector>

#include "inspect/draw/map_labels.hpp"
#include "inspect/draw/map_model.hpp"

namespace kestrel::inspect {

constexpr double kMapLeft = 80, kMapTop = 72, kMapSize = 600;  // the plot square, px

// Where km go on the page: one scale for both axes, the extent centred.
struct View {
  double cx = 0, cy = 0, side = 1, scale = 1;
  [[nodiscard]] double px(double x) const { return kMapLeft + kMapSize / 2 + (x - cx) * scale; }
  [[nodiscard]] double py(double y) const { return kMapTop + kMapSize / 2 - (y - cy) * scale; }
  [[nodiscard]] Pt page(const Pt& km) const { return {px(km.x), py(km.y)}; }
  [[nodiscard]] double x_at(double p) const { return cx + (p - kMapLeft - kMapSize / 2) / scale; }
  [[nodiscard]] double y_at(double p) const { return cy - (p - kMapTop - kMapSize / 2) / scale; }
};

// The model on the page.
struct MapData {
  const MapModel& model;
  const View& view;
  std::vector<Pt> page;        // the receptors, px
  std::vector<double> radius;  // each mark's, px
};

// A receptor's dot over the bands, from its mark's radius.
inline double dot_radius(double mark) { return mark / 3 < 0.6 ? 0.6 : mark / 3 > 1.3 ? 1.3 : mark / 3; }
// Each receptor coloured by its value; `small`, dots over the bands.
std::string receptor_marks(const MapData& d, bool small);
std::string filled_bands(const MapData& d);
// The isolines and their labels, placed clear of `around`, to which the
// labels are added.
std::string contour_lines(const MapData& d, bool filled, Obstacles& around);
// Each source a black triangle (and its outline, for areas and lines), the
// ids of sources at one place in one label, labels clear of each other and
// of the marks, with a leader line when moved.
std::string source_marks(const std::vector<SourcePlace>& sources, const View& v, Obstacles& around);
// The diamond round the receptor with the highest value and its value,
// placed clear of `around` (with a leader line when it had to move).
std::string peak_mark(const MapData& d, const Obstacles& around);
// A scale bar in m or km and a north arrow, from (x, y) down; returns the y below them.
std::string scale_bar_and_north(const View& v, double x, double& y);
// The legend right of the map, from its top; `y` is left below it.
std::string legend(const Summary& s, const MapModel& m, const MapValues& mv, bool filled, double& y);

}  // namespace kestrel::inspect
