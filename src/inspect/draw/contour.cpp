#include "inspect/draw/contour.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>

namespace kestrel::inspect {

namespace {

bool usable(std::span<const double> v, const Triangle& t) {
  return t.a < v.size() && t.b < v.size() && t.c < v.size() && std::isfinite(v[t.a]) && std::isfinite(v[t.b]) &&
         std::isfinite(v[t.c]);
}

// Where the value crosses `level` on the edge from a (below) to b (at or above).
Pt crossing(const Pt& a, const Pt& b, double va, double vb, double level) {
  const double f = (level - va) / (vb - va);
  return {a.x + f * (b.x - a.x), a.y + f * (b.y - a.y)};
}

// The polygon's part where the value is at or above `level` (`above`) or below it.
void clip(std::vector<Pt>& poly, std::vector<double>& vals, double level, bool above) {
  std::vector<Pt> out;
  std::vector<double> out_v;
  const std::size_t n = poly.size();
  auto inside = [&](double v) { return above ? v >= level : v < level; };
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t j = (i + 1) % n;
    if (inside(vals[i])) out.push_back(poly[i]), out_v.push_back(vals[i]);
    if (inside(vals[i]) != inside(vals[j])) {
      out.push_back(crossing(poly[i], poly[j], vals[i], vals[j], level));
      out_v.push_back(level);
    }
  }
  poly.swap(out);
  vals.swap(out_v);
}

}  // namespace

std::vector<Polyline> isolines(std::span<const Pt> points, std::span<const double> values,
                               std::span<const Triangle> triangles, double level) {
  // Each crossed triangle gives one segment between two crossed edges; an
  // edge is named by its two points, so neighbours' segments join there.
  using Key = std::uint64_t;
  auto key = [](std::size_t a, std::size_t b) {
    return (static_cast<Key>(std::min(a, b)) << 32) | static_cast<Key>(std::max(a, b));
  };
  std::vector<std::array<Key, 2>> segments;
  std::unordered_map<Key, Pt> place;
  std::unordered_map<Key, std::array<std::size_t, 2>> at;  // the segments meeting at an edge
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  for (const Triangle& t : triangles) {
    if (!usable(values, t)) continue;
    const std::size_t v[3] = {t.a, t.b, t.c};
    std::array<Key, 2> seg{};
    int found = 0;
    for (int e = 0; e < 3; ++e) {
      std::size_t a = v[e], b = v[(e + 1) % 3];
      if ((values[a] >= level) == (values[b] >= level)) continue;
      if (values[a] >= level) std::swap(a, b);
      const Key k = key(a, b);
      place.try_emplace(k, crossing(points[a], points[b], values[a], values[b], level));
      seg[found++] = k;
    }
    if (found != 2) continue;
    for (const Key k : seg) {
      auto [it, fresh] = at.try_emplace(k, std::array<std::size_t, 2>{kNone, kNone});
      it->second[it->second[0] == kNone ? 0 : 1] = segments.size();
    }
    segments.push_back(seg);
  }
  std::vector<bool> used(segments.size(), false);
  std::vector<Polyline> lines;
  auto walk = [&](std::size_t s, Key from) {
    Polyline line{place[from]};
    while (s != kNone && !used[s]) {
      used[s] = true;
      const Key to = segments[s][0] == from ? segments[s][1] : segments[s][0];
      line.push_back(place[to]);
      const auto& meet = at[to];
      s = meet[0] == s ? meet[1] : meet[0];
      from = to;
    }
    lines.push_back(std::move(line));
  };
  // Open lines from their ends at the hull first, then the closed ones.
  for (const auto& [k, meet] : at) {
    if (meet[1] == kNone && !used[meet[0]]) walk(meet[0], k);
  }
  for (std::size_t s = 0; s < segments.size(); ++s) {
    if (!used[s]) walk(s, segments[s][0]);
  }
  return lines;
}

std::vector<Polyline> band(std::span<const Pt> points, std::span<const double> values,
                           std::span<const Triangle> triangles, double lo, double hi) {
  std::vector<Polyline> out;
  std::vector<Pt> poly;
  std::vector<double> vals;
  for (const Triangle& t : triangles) {
    if (!usable(values, t)) continue;
    const double v0 = values[t.a], v1 = values[t.b], v2 = values[t.c];
    if (std::max({v0, v1, v2}) < lo || std::min({v0, v1, v2}) >= hi) continue;
    poly = {points[t.a], points[t.b], points[t.c]};
    vals = {v0, v1, v2};
    clip(poly, vals, lo, true);
    clip(poly, vals, hi, false);
    if (poly.size() >= 3) out.push_back(poly);
  }
  return out;
}

}  // namespace kestrel::inspect

namespace kestrel::inspect {

namespace {

constexpr std::size_t kCorner = static_cast<std::size_t>(-1);

// A corner of a band's piece: a receptor, or where a cut crosses the edge
// between two receptors. Named by these, so that neighbouring triangles
// name their shared corners alike and their shared edges cancel.
struct CornerKey {
  std::size_t a = 0, b = 0, cut = kCorner;
  bool operator<(const CornerKey& o) const { return std::tie(a, b, cut) < std::tie(o.a, o.b, o.cut); }
};

class Corners {
 public:
  Corners(std::span<const Pt> points, std::span<const double> values, std::span<const double> cuts)
      : points_(points), values_(values), cuts_(cuts) {}
  std::size_t receptor(std::size_t i) { return id({i, i, kCorner}, points_[i]); }
  // Where cut c crosses the edge i-j, computed from the lower index so that
  // both triangles of the edge get the same point.
  std::size_t crossing(std::size_t i, std::size_t j, std::size_t c) {
    if (i > j) std::swap(i, j);
    const double level = cuts_[c];
    if (values_[i] == level) return receptor(i);
    if (values_[j] == level) return receptor(j);
    return id({i, j, c}, inspect::crossing(points_[i], points_[j], values_[i], values_[j], level));
  }
  [[nodiscard]] const Pt& at(std::size_t id) const { return place_[id]; }

 private:
  std::size_t id(const CornerKey& k, const Pt& p) {
    const auto [it, fresh] = ids_.try_emplace(k, place_.size());
    if (fresh) place_.push_back(p);
    return it->second;
  }
  std::span<const Pt> points_;
  std::span<const double> values_;
  std::span<const double> cuts_;
  std::map<CornerKey, std::size_t> ids_;
  std::vector<Pt> place_;
};

double ring_area(const Polyline& r) {
  double a = 0;
  for (std::size_t i = 0; i < r.size(); ++i) {
    const Pt& u = r[i];
    const Pt& v = r[(i + 1) % r.size()];
    a += u.x * v.y - v.x * u.y;
  }
  return a / 2;
}

bool inside(const Pt& q, const Polyline& ring) {
  bool in = false;
  for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
    const Pt &a = ring[i], &b = ring[j];
    if ((a.y > q.y) != (b.y > q.y) && q.x < (b.x - a.x) * (q.y - a.y) / (b.y - a.y) + a.x) in = !in;
  }
  return in;
}

// Rings from the edges left after shared ones cancelled, outer rings with
// the holes inside them.
Region region_of(const std::set<std::pair<std::size_t, std::size_t>>& edges, const Corners& corners) {
  std::multimap<std::size_t, std::size_t> from;
  for (const auto& [u, v] : edges) from.emplace(u, v);
  std::vector<Polyline> rings;
  while (!from.empty()) {
    auto it = from.begin();
    const std::size_t start = it->first;
    std::size_t at = it->second;
    from.erase(it);
    Polyline ring{corners.at(start)};
    while (at != start) {
      ring.push_back(corners.at(at));
      const auto next = from.find(at);
      if (next == from.end()) break;  // not closed: cannot happen with whole triangles
      at = next->second;
      from.erase(next);
    }
    if (ring.size() >= 3) rings.push_back(std::move(ring));
  }
  Region region;
  std::vector<Polyline> holes;
  for (Polyline& r : rings) {
    if (ring_area(r) > 0) region.push_back({std::move(r), {}});
    else holes.push_back(std::move(r));
  }
  for (Polyline& h : holes) {
    // The smallest outer ring round the hole's first corner.
    Polygon* best = nullptr;
    for (Polygon& p : region) {
      if (inside(h.front(), p.outer) && (best == nullptr || ring_area(p.outer) < ring_area(best->outer))) best = &p;
    }
    if (best != nullptr) best->holes.push_back(std::move(h));
  }
  return region;
}

}  // namespace

std::vector<Region> bands(std::span<const Pt> points, std::span<const double> values,
                          std::span<const Triangle> triangles, std::span<const double> cuts) {
  Corners corners(points, values, cuts);
  std::vector<std::set<std::pair<std::size_t, std::size_t>>> edges(cuts.size() + 1);
  auto band_of = [&](double v) {
    return static_cast<std::size_t>(std::upper_bound(cuts.begin(), cuts.end(), v) - cuts.begin());
  };
  std::vector<std::size_t> piece;
  for (const Triangle& t : triangles) {
    if (!usable(values, t)) continue;
    const std::size_t v[3] = {t.a, t.b, t.c};
    const std::size_t first = band_of(std::min({values[t.a], values[t.b], values[t.c]}));
    const std::size_t last = band_of(std::max({values[t.a], values[t.b], values[t.c]}));
    for (std::size_t b = first; b <= last; ++b) {
      // The part of a linear field in a slab is convex: the corners inside
      // the band and the cuts' crossings, in order round the triangle.
      piece.clear();
      for (int e = 0; e < 3; ++e) {
        const std::size_t i = v[e], j = v[(e + 1) % 3];
        if (band_of(values[i]) == b) piece.push_back(corners.receptor(i));
        const std::size_t bi = band_of(values[i]), bj = band_of(values[j]);
        if (bi == bj) continue;
        // Cuts between i's band and j's, bounding band b, in order from i to j.
        for (std::size_t k = 0; k < 2; ++k) {
          const std::size_t c = (bi < bj) == (k == 0) ? b - 1 : b;
          if (c >= cuts.size() || c == static_cast<std::size_t>(-1)) continue;
          if (cuts[c] > std::max(values[i], values[j]) || cuts[c] <= std::min(values[i], values[j])) continue;
          piece.push_back(corners.crossing(i, j, c));
        }
      }
      piece.erase(std::unique(piece.begin(), piece.end()), piece.end());
      while (piece.size() > 1 && piece.front() == piece.back()) piece.pop_back();
      if (piece.size() < 3) continue;
      for (std::size_t k = 0; k < piece.size(); ++k) {
        const std::pair<std::size_t, std::size_t> e{piece[k], piece[(k + 1) % piece.size()]};
        if (!edges[b].erase({e.second, e.first})) edges[b].insert(e);
      }
    }
  }
  std::vector<Region> out;
  for (const auto& e : edges) out.push_back(region_of(e, corners));
  return out;
}

std::vector<Triangle> interpolable(std::span<const Pt> points, std::span<const Triangle> triangles,
                                   std::span<const double> spacing, double factor) {
  std::vector<Triangle> kept;
  for (const Triangle& t : triangles) {
    const Pt &a = points[t.a], &b = points[t.b], &c = points[t.c];
    const double ab = std::hypot(b.x - a.x, b.y - a.y), bc = std::hypot(c.x - b.x, c.y - b.y),
                 ca = std::hypot(a.x - c.x, a.y - c.y);
    const double near = std::max({spacing[t.a], spacing[t.b], spacing[t.c]});
    const double twice_area = std::fabs((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x));
    const double radius = twice_area > 0 ? ab * bc * ca / (2 * twice_area) : INFINITY;
    if (std::max({ab, bc, ca}) <= factor * near && radius <= factor * near) kept.push_back(t);
  }
  return kept;
}

}  // namespace kestrel::inspect
