// The map's levels and numbers, the bands joined across triangles and the
// triangles left blank: tables of decisions and cases worked out by hand.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <numbers>
#include <string>

#include "inspect/draw/contour.hpp"
#include "inspect/draw/levels.hpp"
#include "inspect/failure.hpp"
#include "inspect/format.hpp"

namespace kestrel::inspect {
namespace {

TEST(InspectLevels, ParsedAndRefused) {
  struct Case {
    const char* text;
    std::vector<double> levels;  // empty: refused
    const char* says;            // a part of the refusal
  };
  const Case cases[] = {
      {"10,50,100,196", {10, 50, 100, 196}, ""},
      {"196,10,50", {10, 50, 196}, ""},  // any order, drawn rising
      {"196x0.1,0.25,0.5,1", {19.6, 49, 98, 196}, ""},
      {"75X0.5,1,2", {37.5, 75, 150}, ""},
      {"2.5e-3", {0.0025}, ""},
      {"10,,50", {}, "'' in '10,,50' is not a number"},
      {"ten", {}, "'ten' in 'ten' is not a number"},
      {"inf", {}, "'inf' in 'inf' is not a number"},
      {"10,nan", {}, "'nan' in '10,nan' is not a number"},
      {"1e300x1e10", {}, "'1e300x1e10' gives a level past the largest number"},
      {"0,10", {}, "above 0"},
      {"-5,10", {}, "above 0"},
      {"0x0.5,1", {}, "the limit before 'x'"},
      {"10,10", {}, "given twice"},
      {"100x0.1,0.1", {}, "given twice"},
      {"1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25", {}, "at most 24"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    if (c.levels.empty()) {
      try {
        (void)parse_levels(c.text);
        ADD_FAILURE() << "accepted";
      } catch (const Failure& e) {
        EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
      }
      continue;
    }
    const auto got = parse_levels(c.text);
    ASSERT_EQ(got.size(), c.levels.size());
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], c.levels[i], 1e-12 * c.levels[i]);
  }
}

TEST(InspectLevels, FewestDigitsThatTellThemApart) {
  struct Case {
    std::vector<double> levels;
    std::vector<std::string> labels;
  };
  const Case cases[] = {
      {{1, 2, 5, 10, 20, 50}, {"1", "2", "5", "10", "20", "50"}},
      {{19.6, 49, 98, 196}, {"19.6", "49", "98", "196"}},  // 20 would be 2 % off
      {{100, 100.4, 101}, {"100", "100.4", "101"}},         // three digits would make two 100s
      {{0.001, 0.002, 0.005}, {"0.001", "0.002", "0.005"}},
      {{65.268, 130.536}, {"65", "130"}},  // each within 0.5 %
      {{1e-5, 1e-4}, {"1e-05", "0.0001"}},
      {{5e8, 1e9}, {"500000000", "1e+09"}},
  };
  for (const Case& c : cases) EXPECT_EQ(level_labels(c.levels), c.labels);
  // Values: three significant digits, rounded before the decimals are chosen.
  const std::pair<double, const char*> values[] = {{304.6338, "305"},  {753.656, "754"},    {99.96, "100"},
                                                   {0.00098491, "0.000985"}, {1234567, "1230000"}, {0, "0"},
                                                   {-2.345, "-2.35"},  {2.5e-5, "2.5e-05"}};
  for (const auto& [v, text] : values) EXPECT_EQ(value_label(v), text) << v;
}

TEST(InspectLevels, PrintfWithoutTheLocale) {
  // A decimal-comma locale where there is one: picture and GIS numbers keep the point.
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  const bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  const std::pair<std::string, std::string> cases[] = {
      {fmt("%.2f", 1.5), "1.50"},
      {fmt("x=\"%.1f\" r=\"%.3f\"", -0.05, 2.0), "x=\"-0.1\" r=\"2.000\""},  // -0.05 is below -0.05 in binary
      {fmt("%g|%.4g|%.0e", 0.0001234, 304.6338, 12345.0), "0.0001234|304.6|1e+04"},
      {fmt("%.*f", 3, 2.0 / 3), "0.667"},
      {fmt("%d|%02d|%zu|%02x|%5d|%-4d|", -7, 3, std::size_t{42}, 171, 12, 5), "-7|03|42|ab|   12|5   |"},
      {fmt("%s and %s, 100%%", std::string("a"), "b"), "a and b, 100%"},
      {fmt("#%02x%02x%02x", 68, 1, 84), "#440154"},
  };
  for (const auto& [got, want] : cases) EXPECT_EQ(got, want);
  std::setlocale(LC_NUMERIC, before.c_str());
  if (!comma) GTEST_SKIP() << "no de_DE.UTF-8 locale here: checked in the C locale only";
}

double area(const Polyline& r) {
  double a = 0;
  for (std::size_t i = 0; i < r.size(); ++i) a += r[i].x * r[(i + 1) % r.size()].y - r[(i + 1) % r.size()].x * r[i].y;
  return a / 2;
}

double region_area(const Region& region) {
  double a = 0;
  for (const Polygon& p : region) {
    a += area(p.outer);
    for (const Polyline& h : p.holes) a += area(h);  // holes run clockwise: negative
  }
  return a;
}

TEST(InspectBands, JoinedAcrossTrianglesWithHoles) {
  // A cone, v = 10 - r, on a 21 x 21 grid 0.5 apart centred on 0: the band
  // from 6 up to 8 is one ring with one hole, whose areas are those of the
  // circles r = 4 and r = 2 to within the grid's error; the bands tile the
  // grid's square.
  std::vector<Pt> p;
  std::vector<double> v;
  for (int j = -10; j <= 10; ++j) {
    for (int i = -10; i <= 10; ++i) {
      p.push_back({i * 0.5, j * 0.5});
      v.push_back(10 - std::hypot(i * 0.5, j * 0.5));
    }
  }
  const auto tris = triangulate(p);
  const std::vector<double> cuts{4, 6, 8};
  const auto b = bands(p, v, tris, cuts);
  ASSERT_EQ(b.size(), 4U);
  double total = 0;
  for (const Region& r : b) total += region_area(r);
  EXPECT_NEAR(total, 100.0, 1e-9);
  ASSERT_EQ(b[2].size(), 1U) << "one polygon, not a piece per triangle";
  ASSERT_EQ(b[2][0].holes.size(), 1U);
  const double pi = std::numbers::pi;
  EXPECT_NEAR(area(b[2][0].outer), pi * 16, 0.03 * pi * 16);
  EXPECT_NEAR(-area(b[2][0].holes[0]), pi * 4, 0.05 * pi * 4);
  EXPECT_EQ(b[3].size(), 1U);
  EXPECT_TRUE(b[3][0].holes.empty());
  // A value met exactly at grid points (v = 5 at r = 5) joins as well.
  EXPECT_NEAR(region_area(bands(p, v, tris, std::vector<double>{5})[1]),
              region_area(bands(p, v, tris, std::vector<double>{5 - 1e-9})[1]), 1e-6);
}

TEST(InspectBands, BlankWhereReceptorsAreFarApart) {
  // A polar network of rings at 175, 350, 500 and 1000 m every 10 degrees,
  // nothing inside the first ring, and a cluster of four receptors 5 km
  // away: the hole round the source and the way to the cluster are blank,
  // the rings are interpolated across.
  std::vector<Pt> p;
  for (const double r : {0.175, 0.35, 0.5, 1.0}) {
    for (int d = 0; d < 36; ++d) p.push_back({r * std::sin(d * std::numbers::pi / 18), r * std::cos(d * std::numbers::pi / 18)});
  }
  for (const auto& [x, y] : {std::pair{5.0, 5.0}, {5.1, 5.0}, {5.0, 5.1}, {5.1, 5.1}}) p.push_back({x, y});
  const auto all = triangulate(p);
  const auto kept = interpolable(p, all, nearest_distances(p), 4.0);
  auto covered = [&](const std::vector<Triangle>& tris) {
    double a = 0;
    for (const Triangle& t : tris) a += area({p[t.a], p[t.b], p[t.c]});
    return a;
  };
  const double ring_polygon = 36 * 0.5 * std::sin(std::numbers::pi / 18);  // r^2 times this
  EXPECT_NEAR(covered(kept), ring_polygon * (1 - 0.175 * 0.175) + 0.01, 1e-9);
  EXPECT_GT(covered(all), covered(kept) + 1);
  for (const Triangle& t : kept) {
    const int far = (p[t.a].x > 2) + (p[t.b].x > 2) + (p[t.c].x > 2);
    EXPECT_TRUE(far == 0 || far == 3) << "a triangle between the rings and the cluster";
  }
}

}  // namespace
}  // namespace kestrel::inspect
