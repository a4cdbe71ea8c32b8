// A Delaunay triangulation of scattered points (the receptors), for
// interpolating between them linearly within each triangle.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace kestrel::inspect {

struct Pt {
  double x = 0, y = 0;
};

struct Triangle {
  std::size_t a = 0, b = 0, c = 0;  // indices into the points, counter-clockwise
};

// Bowyer-Watson, points inserted in order of x so that triangles left behind
// by the sweep are set aside. A point at the place of an earlier one is left
// out (it gets no triangle); points all on one line give no triangle.
std::vector<Triangle> triangulate(std::span<const Pt> points);

// Each point's distance to its nearest other point at a different place;
// 0 for a point with none.
std::vector<double> nearest_distances(std::span<const Pt> points);

}  // namespace kestrel::inspect
