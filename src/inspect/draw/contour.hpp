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

}  // namespace kestrel::inspect
