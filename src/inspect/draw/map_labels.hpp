// Where labels go on the map: clear of marks and of each other.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace kestrel::inspect {

struct Rect {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};
struct Circle {
  double x = 0, y = 0, r = 0;
};

bool overlaps(const Rect& a, const Rect& b);
bool overlaps(const Rect& a, const Circle& c);

// The size of a line of text, px: widths estimated from sans-serif digits
// and letters at `size`, a little generous.
double text_width(std::string_view s, double size, bool bold);

// What a label must stay clear of.
struct Obstacles {
  std::vector<Circle> marks;
  std::vector<Rect> boxes;
  Rect bounds;  // and inside which it must stay
  [[nodiscard]] bool clear(const Rect& r) const;
  [[nodiscard]] int hits(const Rect& r) const;
};

// A box of w x h beside the point (x, y), at least `gap` away: right, left,
// above and below first, then the diagonals, then further out. The first
// clear one; when none is, the one touching fewest things. `moved` tells
// whether it lies beyond the first ring (and wants a leader line).
struct Placed {
  Rect box;
  bool moved = false;
};
Placed place_label(double x, double y, double w, double h, double gap, const Obstacles& around);

}  // namespace kestrel::inspect
