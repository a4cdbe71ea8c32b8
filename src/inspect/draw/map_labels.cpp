#include "inspect/draw/map_labels.hpp"

#include <algorithm>
#include <cmath>

namespace kestrel::inspect {

bool overlaps(const Rect& a, const Rect& b) { return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1; }

bool overlaps(const Rect& a, const Circle& c) {
  const double dx = c.x - std::clamp(c.x, a.x0, a.x1), dy = c.y - std::clamp(c.y, a.y0, a.y1);
  return dx * dx + dy * dy < c.r * c.r;
}

double text_width(std::string_view s, double size, bool bold) {
  double em = 0;
  for (const char c : s) {
    if ((static_cast<unsigned char>(c) & 0xC0) == 0x80) continue;  // a UTF-8 continuation byte
    em += c == ' ' || c == '.' || c == ',' || c == 'i' || c == 'l' ? 0.3 : c >= 'A' && c <= 'Z' ? 0.7 : 0.58;
  }
  return em * size * (bold ? 1.08 : 1.0);
}

bool Obstacles::clear(const Rect& r) const { return hits(r) == 0; }

int Obstacles::hits(const Rect& r) const {
  int n = 0;
  if (r.x0 < bounds.x0 || r.y0 < bounds.y0 || r.x1 > bounds.x1 || r.y1 > bounds.y1) n += 1000;
  for (const Circle& c : marks) n += overlaps(r, c) ? 1 : 0;
  for (const Rect& b : boxes) n += overlaps(r, b) ? 1 : 0;
  return n;
}

Placed place_label(double x, double y, double w, double h, double gap, const Obstacles& around) {
  // Directions: right, left, up, down, then the four diagonals.
  static constexpr double kDir[8][2] = {{1, 0}, {-1, 0}, {0, -1}, {0, 1}, {1, -1}, {-1, -1}, {1, 1}, {-1, 1}};
  Placed best;
  int fewest = -1;
  for (int ring = 0; ring < 12; ++ring) {
    const double d = gap + ring * std::max(8.0, h);
    for (const auto& dir : kDir) {
      // The box's near side or corner at distance d from the point.
      const double cx = x + dir[0] * (d + w / 2), cy = y + dir[1] * (d + h / 2);
      const Rect r{cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2};
      const int n = around.hits(r);
      if (n == 0) return {r, ring > 0};
      if (fewest < 0 || n < fewest) fewest = n, best = {r, ring > 0};
    }
  }
  return best;
}

}  // namespace kestrel::inspect
