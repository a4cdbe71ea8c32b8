// The map's geometry on cases worked out by hand: the triangulation, the
// isolines and bands over it, and where the highest value's label goes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <random>
#include <regex>
#include <sstream>

#include "inspect/draw/contour.hpp"
#include "inspect/draw/envelope.hpp"
#include "inspect/draw/map_labels.hpp"
#include "inspect/draw/triangulate.hpp"
#include "inspect/inspect.hpp"
#include "support.hpp"

namespace kestrel::inspect {
namespace {

constexpr double kPi = std::numbers::pi;

double area(const std::vector<Pt>& p) {
  double a = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    const Pt& u = p[i];
    const Pt& v = p[(i + 1) % p.size()];
    a += u.x * v.y - v.x * u.y;
  }
  return a / 2;
}

double area_of(std::span<const Pt> p, const Triangle& t) { return area({p[t.a], p[t.b], p[t.c]}); }

// A grid of nx x ny points one unit apart, from (0, 0).
std::vector<Pt> grid(int nx, int ny) {
  std::vector<Pt> p;
  for (int j = 0; j < ny; ++j) {
    for (int i = 0; i < nx; ++i) p.push_back({double(i), double(j)});
  }
  return p;
}

TEST(InspectTriangulate, CoversTheHullAndIsDelaunay) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-3, 3);
  std::vector<Pt> scattered(300);
  for (Pt& q : scattered) q = {u(rng), u(rng)};
  // A grid (every square's corners on one circle), a polar network with its
  // dense inner ring, and scattered points.
  std::vector<Pt> polar{{0, 0}};
  for (const double r : {0.1, 0.2, 1.0, 5.0}) {
    for (int d = 0; d < 36; ++d) polar.push_back({r * std::sin(d * kPi / 18), r * std::cos(d * kPi / 18)});
  }
  for (const auto& points : {grid(11, 7), polar, scattered}) {
    const auto tris = triangulate(points);
    ASSERT_FALSE(tris.empty());
    double sum = 0;
    for (const Triangle& t : tris) {
      EXPECT_GT(area_of(points, t), 0) << "counter-clockwise, not flat";
      sum += area_of(points, t);
      // No point strictly inside the circumcircle.
      const Pt &a = points[t.a], &b = points[t.b], &c = points[t.c];
      const double d = 2 * (a.x * (b.y - c.y) + b.x * (c.y - a.y) + c.x * (a.y - b.y));
      const double a2 = a.x * a.x + a.y * a.y, b2 = b.x * b.x + b.y * b.y, c2 = c.x * c.x + c.y * c.y;
      const double cx = (a2 * (b.y - c.y) + b2 * (c.y - a.y) + c2 * (a.y - b.y)) / d;
      const double cy = (a2 * (c.x - b.x) + b2 * (a.x - c.x) + c2 * (b.x - a.x)) / d;
      const double r = std::hypot(a.x - cx, a.y - cy);
      for (const Pt& q : points) EXPECT_GE(std::hypot(q.x - cx, q.y - cy), r * (1 - 1e-9));
    }
    if (points.size() == 77) {
      EXPECT_NEAR(sum, 60.0, 1e-9);  // the 10 x 6 grid
    } else if (points.size() == 145) {
      EXPECT_NEAR(sum, 36 * 0.5 * 25 * std::sin(kPi / 18), 1e-9);  // the outer ring's polygon
    }
  }
}

TEST(InspectTriangulate, DuplicateAndCollinearPoints) {
  // Points on one line give no triangle (and isolines none); a point
  // repeated is left out, the rest triangulated as without it.
  const std::vector<Pt> line{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {-1, -1}};
  EXPECT_TRUE(triangulate(line).empty());
  EXPECT_TRUE(isolines(line, std::vector<double>{0, 1, 2, 3, 4}, triangulate(line), 1.5).empty());
  std::vector<Pt> twice = grid(3, 3);
  twice.push_back({1, 1});
  twice.push_back({2, 0});
  const auto tris = triangulate(twice);
  EXPECT_EQ(tris.size(), 8U);
  for (const Triangle& t : tris) EXPECT_LT(std::max({t.a, t.b, t.c}), 9U);
  EXPECT_EQ(triangulate(std::vector<Pt>{{0, 0}, {0, 0}, {0, 0}}).size(), 0U);
  // The nearest neighbour at another place: duplicates do not count.
  const auto near = nearest_distances(twice);
  EXPECT_DOUBLE_EQ(near[4], 1.0);
  EXPECT_DOUBLE_EQ(near[9], 1.0);
}

TEST(InspectContour, PlaneGivesStraightEvenlySpacedLines) {
  // v = 2x + y over a 9 x 9 grid: the isoline at L is the line 2x + y = L,
  // exactly, one open line across the grid; levels 2 apart lie 2 / sqrt(5) apart.
  const auto p = grid(9, 9);
  std::vector<double> v;
  for (const Pt& q : p) v.push_back(2 * q.x + q.y);
  const auto tris = triangulate(p);
  for (const double level : {3.5, 5.5, 7.5, 9.5}) {
    const auto lines = isolines(p, v, tris, level);
    ASSERT_EQ(lines.size(), 1U) << level;
    const Polyline& l = lines[0];
    ASSERT_GE(l.size(), 2U);
    for (const Pt& q : l) EXPECT_NEAR(2 * q.x + q.y, level, 1e-12);
    // From the grid's edge to its edge: both ends on the hull.
    for (const Pt& end : {l.front(), l.back()}) {
      EXPECT_TRUE(end.x == 0 || end.x == 8 || end.y == 0 || end.y == 8) << end.x << ", " << end.y;
    }
    // Its distance from the line of level 3.5.
    for (const Pt& q : l) EXPECT_NEAR((2 * q.x + q.y - 3.5) / std::sqrt(5.0), (level - 3.5) / std::sqrt(5.0), 1e-12);
  }
  // A level met exactly at points counts them as above: a line, not a tangle.
  const auto at_points = isolines(p, v, tris, 8.0);
  ASSERT_EQ(at_points.size(), 1U);
  for (const Pt& q : at_points[0]) EXPECT_NEAR(2 * q.x + q.y, 8.0, 1e-12);
}

TEST(InspectContour, ConeGivesCircles) {
  // v = 10 - r over a polar network (rings 0.5 km apart, every 10 degrees):
  // the isoline at 7.75 is the circle r = 2.25, closed, every point within
  // 1 % of the radius (the interpolation across a triangle's slanted edge).
  std::vector<Pt> p{{0, 0}};
  for (double r = 0.5; r <= 5; r += 0.5) {
    for (int d = 0; d < 36; ++d) p.push_back({r * std::sin(d * kPi / 18), r * std::cos(d * kPi / 18)});
  }
  std::vector<double> v;
  for (const Pt& q : p) v.push_back(10 - std::hypot(q.x, q.y));
  const auto lines = isolines(p, v, triangulate(p), 7.75);
  ASSERT_EQ(lines.size(), 1U);
  const Polyline& c = lines[0];
  EXPECT_EQ(c.front().x, c.back().x);
  EXPECT_EQ(c.front().y, c.back().y);
  EXPECT_GE(c.size(), 37U);
  for (const Pt& q : c) EXPECT_NEAR(std::hypot(q.x, q.y), 2.25, 0.0225);
  EXPECT_NEAR(std::fabs(area(c)), kPi * 2.25 * 2.25, 0.02 * kPi * 2.25 * 2.25);
}

TEST(InspectContour, BandsTileTheHull) {
  // v = x over a 5 x 3 grid: the band [1, 3) is the 2 x 2 strip; the bands
  // below, within and above the values add up to the whole.
  const auto p = grid(5, 3);
  std::vector<double> v;
  for (const Pt& q : p) v.push_back(q.x);
  const auto tris = triangulate(p);
  auto total = [&](double lo, double hi) {
    double a = 0;
    for (const auto& poly : band(p, v, tris, lo, hi)) a += std::fabs(area(poly));
    return a;
  };
  EXPECT_NEAR(total(1, 3), 4.0, 1e-12);
  EXPECT_NEAR(total(0.5, 1.25), 1.5, 1e-12);
  EXPECT_NEAR(total(-1, 0.5) + total(0.5, 3.2) + total(3.2, INFINITY), 8.0, 1e-12);
  // A value that is not a number leaves its triangles out.
  v[7] = NAN;
  EXPECT_LT(total(-INFINITY, INFINITY), 8.0);
}

TEST(InspectEnvelope, KeepsEachColumnsRangeAndEachDaysMaximum) {
  // Two years of hours from 1988-01-01 hour 01 over 100 columns; the
  // highest and lowest values come once each.
  const Time first{1988, 1, 1};
  const std::int64_t span = 2 * 8784 - 300;
  Envelope env(first, span, 100);
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(0, 100);
  double day0 = 0;
  for (std::int64_t h = 0; h <= span; ++h) {
    const double v = h == 5000 ? 1000.0 : h == 7000 ? 0.0 : u(rng) + 1;
    env.add(add_hours(first, static_cast<std::int32_t>(h)), v);
    if (h < 24) day0 = std::max(day0, v);  // the first day: periods ending 01 to 00 of the next day
  }
  EXPECT_EQ(*std::max_element(env.high().begin(), env.high().end()), 1000.0);
  EXPECT_EQ(*std::max_element(env.daily_max().begin(), env.daily_max().end()), 1000.0);
  EXPECT_EQ(*std::min_element(env.low().begin(), env.low().end()), 0.0);
  EXPECT_TRUE(std::none_of(env.high().begin(), env.high().end(), [](double v) { return std::isnan(v); }));
  EXPECT_EQ(env.daily_max()[0], day0);
  EXPECT_EQ(env.daily_max().size(), static_cast<std::size_t>(span / 24 + 1));
}

TEST(InspectMapLabels, HighestValueCoversNoMarkOnTheSample) {
  // The sample run's dataset with its control file beside it: the map finds
  // the source there; the label of the highest value touches no receptor mark.
  test::TempDir dir;
  const std::filesystem::path sample = std::filesystem::path(KESTREL_TEST_DATA) / ".." / ".." / "examples" / "sample";
  std::filesystem::copy_file(sample / "AERMOD.INP", dir / "AERMOD.INP");
  std::filesystem::copy_file(sample / "receptors.dat", dir / "receptors.dat");
  std::filesystem::copy_file(std::filesystem::path(KESTREL_TEST_DATA) / "sample" / "expected" / "sample_01h.bin.gdx",
                             dir / "sample_01h.bin.gdx");
  for (const bool filled : {false, true}) {
    std::vector<std::string> args{"--svg", (dir / "m.svg").string(), (dir / "sample_01h.bin.gdx").string()};
    if (filled) args.insert(args.begin(), "--filled");
    std::ostringstream out, err;
    ASSERT_EQ(run_inspect(args, out, err), 0) << err.str();
    const std::string svg = test::read_text(dir / "m.svg");
    EXPECT_NE(svg.find("<title>source STACK1 (POINT)</title>"), std::string::npos);
    EXPECT_NE(svg.find("sources (AERMOD.INP)"), std::string::npos);
    const std::regex number_attr("(\\w+)=\"(-?[0-9.]+)\"");
    auto attrs = [&](std::string element) {
      std::map<std::string, double> a;
      for (std::sregex_iterator m(element.begin(), element.end(), number_attr), e; m != e; ++m) {
        a[(*m)[1]] = std::stod((*m)[2]);
      }
      return a;
    };
    const auto at = svg.find("<rect id=\"peak-label\"");
    ASSERT_NE(at, std::string::npos);
    auto box = attrs(svg.substr(at, svg.find('>', at) - at));
    const Rect label{box["x"], box["y"], box["x"] + box["width"], box["y"] + box["height"]};
    std::size_t marks = 0;
    for (auto c = svg.find("<circle"); c != std::string::npos; c = svg.find("<circle", c + 1), ++marks) {
      auto m = attrs(svg.substr(c, svg.find('>', c) - c));
      EXPECT_FALSE(overlaps(label, Circle{m["cx"], m["cy"], m["r"]})) << svg.substr(c, 60);
    }
    EXPECT_EQ(marks, filled ? 76U : 75U);  // under bands, small dots and the legend's
    // Contour lines, labelled with the scale's values.
    EXPECT_NE(svg.find(">0.01</text>"), std::string::npos);
  }
}

TEST(InspectMapLabels, PlacedClearOfMarksAndBoxes) {
  // A point walled in on its right and left: the label goes above it.
  Obstacles around;
  around.bounds = {0, 0, 200, 200};
  around.marks = {{150, 100, 20}, {50, 100, 20}};
  const Placed p = place_label(100, 100, 40, 12, 5, around);
  EXPECT_TRUE(around.clear(p.box));
  EXPECT_LT(p.box.y1, 100);
  EXPECT_FALSE(p.moved);
  // Walled in all round nearby: moved further out, clear all the same.
  for (int d = 0; d < 360; d += 30) around.marks.push_back({100 + 25 * std::cos(d * kPi / 180), 100 + 25 * std::sin(d * kPi / 180), 8});
  const Placed far = place_label(100, 100, 40, 12, 5, around);
  EXPECT_TRUE(around.clear(far.box));
  EXPECT_TRUE(far.moved);
}

}  // namespace
}  // namespace kestrel::inspect
