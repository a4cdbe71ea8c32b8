#include "inspect/draw/triangulate.hpp"

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <limits>
#include <numeric>
#include <utility>

namespace kestrel::inspect {

namespace {

// Exact arithmetic on whole-number coordinates: orientations in 64 bits,
// circle tests in 128, so that no rounding can make the triangulation fold.
__extension__ typedef __int128 Wide;

struct Ip {
  std::int64_t x = 0, y = 0;
};

std::int64_t orient(const Ip& a, const Ip& b, const Ip& c) { return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x); }

// Whether q lies strictly inside the circle through the counter-clockwise a, b, c.
bool in_circle(const Ip& a, const Ip& b, const Ip& c, const Ip& q) {
  const Wide ax = a.x - q.x, ay = a.y - q.y, bx = b.x - q.x, by = b.y - q.y, cx = c.x - q.x, cy = c.y - q.y;
  const Wide det = (ax * ax + ay * ay) * (bx * cy - cx * by) + (bx * bx + by * by) * (cx * ay - ax * cy) +
                   (cx * cx + cy * cy) * (ax * by - bx * ay);
  return det > 0;
}

struct Open {
  std::size_t v[3];
  double right;  // the circle's rightmost x, a little generous
};

Open make_open(const std::vector<Ip>& p, std::size_t a, std::size_t b, std::size_t c) {
  if (orient(p[a], p[b], p[c]) < 0) std::swap(b, c);
  const double bx = double(p[b].x - p[a].x), by = double(p[b].y - p[a].y);
  const double cx = double(p[c].x - p[a].x), cy = double(p[c].y - p[a].y);
  const double d = 2 * (bx * cy - by * cx);
  if (d == 0) return {{a, b, c}, INFINITY};
  const double b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
  const double ux = (cy * b2 - by * c2) / d, uy = (bx * c2 - cx * b2) / d;
  return {{a, b, c}, double(p[a].x) + ux + std::hypot(ux, uy) * (1 + 1e-9) + 1};
}

}  // namespace

std::vector<Triangle> triangulate(std::span<const Pt> points) {
  const std::size_t n = points.size();
  if (n < 3) return {};
  // On a grid of 2^20 steps across the extent (1 cm across 10 km).
  double x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
  for (const Pt& q : points) x0 = std::min(x0, q.x), x1 = std::max(x1, q.x), y0 = std::min(y0, q.y), y1 = std::max(y1, q.y);
  const double side = std::max({x1 - x0, y1 - y0, 1e-300});
  constexpr double kSteps = 1 << 20;
  constexpr std::int64_t kFar = std::int64_t{1} << 26;
  std::vector<Ip> p(n + 3);
  for (std::size_t i = 0; i < n; ++i) {
    p[i] = {std::llround((points[i].x - x0) / side * kSteps), std::llround((points[i].y - y0) / side * kSteps)};
  }
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return p[a].x != p[b].x ? p[a].x < p[b].x : p[a].y < p[b].y; });
  // A triangle round everything, far enough away that the hull loses few triangles to it.
  p[n] = {-kFar, -kFar}, p[n + 1] = {kFar, -kFar}, p[n + 2] = {0, kFar};
  std::vector<Open> open{make_open(p, n, n + 1, n + 2)}, done, keep;
  std::vector<std::pair<std::size_t, std::size_t>> edges;
  const Ip* last = nullptr;
  for (const std::size_t i : order) {
    const Ip& q = p[i];
    if (last != nullptr && last->x == q.x && last->y == q.y) continue;  // a point again
    last = &q;
    edges.clear();
    keep.clear();
    for (const Open& t : open) {
      if (double(q.x) > t.right) {
        done.push_back(t);  // the sweep has passed its circle: no later point can fall in it
      } else if (in_circle(p[t.v[0]], p[t.v[1]], p[t.v[2]], q)) {
        for (int e = 0; e < 3; ++e) edges.emplace_back(t.v[e], t.v[(e + 1) % 3]);
      } else {
        keep.push_back(t);
      }
    }
    // The cavity's boundary: edges of one removed triangle only.
    for (const auto& e : edges) {
      const bool inner =
          std::any_of(edges.begin(), edges.end(), [&](const auto& f) { return f.first == e.second && f.second == e.first; });
      if (!inner) keep.push_back(make_open(p, e.first, e.second, i));
    }
    open.swap(keep);
  }
  done.insert(done.end(), open.begin(), open.end());
  std::vector<Triangle> out;
  out.reserve(done.size());
  for (const Open& t : done) {
    if (t.v[0] >= n || t.v[1] >= n || t.v[2] >= n || orient(p[t.v[0]], p[t.v[1]], p[t.v[2]]) == 0) continue;
    out.push_back({t.v[0], t.v[1], t.v[2]});
  }
  return out;
}

std::vector<double> nearest_distances(std::span<const Pt> points) {
  const std::size_t n = points.size();
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return points[a].x < points[b].x; });
  std::vector<double> nearest(n, 0.0);
  // Each point searches outwards in x until x alone is too far.
  for (std::size_t i = 0; i < n; ++i) {
    const Pt& q = points[order[i]];
    double best = INFINITY;
    auto look = [&](std::size_t j) {
      const double dx = points[order[j]].x - q.x, dy = points[order[j]].y - q.y;
      if (dx * dx >= best * best) return false;
      const double d = std::hypot(dx, dy);
      if (d > 0) best = std::min(best, d);
      return true;
    };
    for (std::size_t j = i + 1; j < n && look(j);) ++j;
    for (std::size_t j = i; j-- > 0 && look(j);) {
    }
    nearest[order[i]] = std::isfinite(best) ? best : 0.0;
  }
  return nearest;
}

}  // namespace kestrel::inspect
