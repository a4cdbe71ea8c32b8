// Isolines and filled bands of values given at points, interpolated
// linearly within the triangles of a triangulation.
#pragma once

#include <span>
#include <vector>

#include "inspect/draw/triangulate.hpp"

namespace kestrel::inspect {

using Polyline = std::vector<Pt>;  // closed when its last point is its first

// The lines where the value is `level`, joined across triangles. A point
// whose value equals the level counts as above it, so that a line never runs
// through a point. Triangles with a value that is not a number are left out.
std::vector<Polyline> isolines(std::span<const Pt> points, std::span<const double> values,
                               std::span<const Triangle> triangles, double level);

// The parts of the triangles where lo <= value < hi: one polygon (3 to 5
// corners) per triangle that has such a part.
std::vector<Polyline> band(std::span<const Pt> points, std::span<const double> values,
                           std::span<const Triangle> triangles, double lo, double hi);

// A band as GIS and the map take it: polygons, each an outer ring
// (counter-clockwise, with y up) and its holes (clockwise); the last point
// of a ring is not its first again.
struct Polygon {
  Polyline outer;
  std::vector<Polyline> holes;
};
using Region = std::vector<Polygon>;

// The bands between the rising `cuts`, whole: region 0 below cuts[0], region
// i from cuts[i - 1] up to cuts[i] (the last one open above). The pieces of
// neighbouring triangles are joined, their shared edges dropped, so that a
// band is a few polygons rather than a piece per triangle.
std::vector<Region> bands(std::span<const Pt> points, std::span<const double> values,
                          std::span<const Triangle> triangles, std::span<const double> cuts);

// The triangles that interpolation may cross: those whose longest side is
// at most `factor` times the spacing of the receptors at their corners (each
// one's distance to its nearest neighbour, the largest of the three) and
// that are not slivers, whose circle through the corners has a radius above
// `factor` times that spacing. Across the others (a gap between rings, a
// cluster far from the rest, the hole round a source) nothing is known.
std::vector<Triangle> interpolable(std::span<const Pt> points, std::span<const Triangle> triangles,
                                   std::span<const double> spacing, double factor);

}  // namespace kestrel::inspect
