#include "inspect/draw/contour.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
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
