// The map on the runs that showed its faults, and the options of its
// pictures and GIS files refused.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "inspect/draw/map_labels.hpp"
#include "inspect/format.hpp"
#include "inspect/gis/gis.hpp"
#include "inspect/print/print.hpp"
#include "inspect_support.hpp"
#include "support.hpp"


namespace kestrel::inspect {
namespace {

// The numbers of each path's "M x y L x y ... Z" rings, as the map writes them.
std::vector<std::vector<std::pair<double, double>>> rings_of(const std::string& d) {
  std::vector<std::vector<std::pair<double, double>>> rings;
  const std::regex point("([ML])(-?[0-9.]+) (-?[0-9.]+)");
  for (std::sregex_iterator m(d.begin(), d.end(), point), e; m != e; ++m) {
    if ((*m)[1] == "M") rings.emplace_back();
    rings.back().emplace_back(number((*m)[2]), number((*m)[3]));
  }
  return rings;
}

double ring_area(const std::vector<std::pair<double, double>>& r) {
  double a = 0;
  for (std::size_t i = 0; i < r.size(); ++i) {
    const auto& [x0, y0] = r[i];
    const auto& [x1, y1] = r[(i + 1) % r.size()];
    a += x0 * y1 - x1 * y0;
  }
  return a / 2;
}

// The filled area of every band path, px^2 (holes subtracted).
double banded_area(const std::string& svg) {
  double total = 0;
  const std::regex band("<path fill=\"#[0-9a-f]{6}\" stroke=\"#[0-9a-f]{6}\" d=\"([^\"]*)\"");
  for (std::sregex_iterator m(svg.begin(), svg.end(), band), e; m != e; ++m) {
    for (const auto& r : rings_of((*m)[1])) total += ring_area(r);
  }
  return std::fabs(total);
}

std::size_t count(const std::string& s, const std::string& part) {
  std::size_t n = 0;
  for (auto at = s.find(part); at != std::string::npos; at = s.find(part, at + 1)) ++n;
  return n;
}

TEST(InspectMaps, FaultsOnTheRunsThatShowedThem) {
  test::TempDir gas, hrdow, polar, alone;
  run_copy(kData / "testgas-deposition" / "input", gas);
  run_copy(kData / "hrdow-shared" / "input", hrdow);
  run_copy(kData / "networks" / "aertest-polar" / "input", polar);
  fs::copy_file(kData / "sample" / "expected" / "sample_01h.bin.gdx", alone / "sample_01h.bin.gdx");
  const std::string svg = (alone / "m.svg").string();
  const std::string p = (polar / "AERTEST_01H.BIN.gdx").string();
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> has, lacks;  // parts of the SVG
  };
  const Case cases[] = {
      // Flux and group datasets find the control file that names their POSTFILE; titles name the flux.
      {{(gas / "ALL_01H.BIN.dflx.gdx").string()},
       {"<title>source STACK1 (POINT)</title>", "sources (AERMOD.INP)",
        ">BENZENE, 1-hour, dry deposition: highest value at each receptor, µg/m²/h<"},
       {"no sources"}},
      {{(gas / "ALL_01H.BIN.wflx.gdx").string()}, {"wet deposition: highest", "sources (AERMOD.INP)"}, {}},
      {{(hrdow / "HRDOW_STACK12_01H.BIN.STACK1.gdx").string()},
       {"<title>source STACK1 (POINT)</title>", "sources (AERMOD.INP)"},
       {}},
      // Without a control file beside it, the map says so.
      {{(alone / "sample_01h.bin.gdx").string()},
       {"no sources: no control file beside sample_01h.bin.gdx names it in a POSTFILE line (--control names one)"},
       {"<title>source"}},
      // Values three digits; "contour" only where one is drawn.
      {{p}, {">754<", ">754 µg/m³<", ">contour<"}, {">753.656", ">below"}},
      {{"--levels", "5000", p}, {">below 5000<"}, {">contour<"}},
      // Below the lowest level its own colour and legend entry; receptors kept as dots under bands.
      {{"--filled", "--levels", "196x0.1,0.25,0.5,1", p},
       {">below 19.6<", "fill=\"#e9e4ef\"", ">19.6 to 49<", ">196 and above<", ">receptor<", "left blank across gaps"},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back() + (c.args.size() > 1 ? " " + c.args[0] + " " + c.args[1] : ""));
    std::vector<std::string> args{"--svg", svg};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Result r = inspect(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string doc = test::read_text(svg);
    for (const auto& h : c.has) EXPECT_NE(doc.find(h), std::string::npos) << h;
    for (const auto& l : c.lacks) EXPECT_EQ(doc.find(l), std::string::npos) << l;
  }
  // The polar run's bands cover its rings but not the hole round the stack,
  // where no receptor is: the 36-gon of 1 km less that of 175 m (px^2 at
  // the map's scale, 600 px across 2 km and 8 % more).
  ASSERT_EQ(inspect({"--svg", svg, "--filled", p}).status, 0);
  const std::string filled = test::read_text(svg);
  const double px_per_km = 600 / (2 * 1.08), gon = 36 * 0.5 * std::sin(std::acos(-1.0) / 18);
  EXPECT_NEAR(banded_area(filled), gon * (1 - 0.175 * 0.175) * px_per_km * px_per_km, 0.01 * gon * px_per_km * px_per_km);
  EXPECT_EQ(count(filled, "<circle"), 145U);  // 144 dots and the legend's
}

TEST(InspectMaps, SourceLabelsClearOfEachOther) {
  // EPA's all-source-types run: fifteen sources, ten of them within 100 m of
  // (0, 0). Labels name sources that share a place once, keep clear of each
  // other and of every source's mark.
  const ControlFile c = read_control_file((kData / "networks" / "allsrcs-networks" / "input" / "AERMOD.INP").string());
  ASSERT_EQ(c.sources.size(), 15U);
  test::TempDir dir;
  run_copy(kData / "networks" / "allsrcs-networks" / "input", dir);
  const std::string svg = (dir / "m.svg").string();
  ASSERT_EQ(inspect({"--svg", svg, (dir / "ALLSRCS_STACK_01H.BIN.gdx").string()}).status, 0);
  const std::string doc = test::read_text(svg);
  const auto at = doc.find("<g font-size=\"11\" font-weight=\"bold\"");
  ASSERT_NE(at, std::string::npos);
  const std::string labels = doc.substr(at, doc.find("</g>", at) - at);
  const std::regex text("<text x=\"(-?[0-9.]+)\" y=\"(-?[0-9.]+)\">([^<]*)</text>");
  std::vector<Rect> boxes;
  std::map<std::string, int> named;
  for (std::sregex_iterator m(labels.begin(), labels.end(), text), e; m != e; ++m) {
    const double x = number((*m)[1]), y = number((*m)[2]);
    boxes.push_back({x, y - 10, x + text_width((*m)[3].str(), 11, true), y + 2});
    std::stringstream words((*m)[3].str());
    for (std::string w; std::getline(words, w, ' ');) ++named[w.back() == ',' ? w.substr(0, w.size() - 1) : w];
  }
  for (const SourcePlace& s : c.sources) EXPECT_EQ(named[s.id], 1) << s.id;
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    for (std::size_t j = i + 1; j < boxes.size(); ++j) EXPECT_FALSE(overlaps(boxes[i], boxes[j])) << i << " " << j;
  }
  const std::regex mark("<path d=\"M(-?[0-9.]+) (-?[0-9.]+) l5.5 9.5 h-11 z\">");
  for (std::sregex_iterator m(doc.begin(), doc.end(), mark), e; m != e; ++m) {
    const Circle tri{number((*m)[1]), number((*m)[2]) + 5, 5};
    for (const Rect& b : boxes) EXPECT_FALSE(overlaps(b, tri)) << (*m)[0];
  }
}

TEST(InspectMaps, LongTitlesWrapToThePicture) {
  test::TempDir dir;
  fs::copy_file(kData / "sample" / "expected" / "sample_01h.bin.gdx", dir / "d.gdx");
  const std::string title(40, 'W');
  const std::string long_title = "Sulphur dioxide, " + title + " design value of the modelled facility at every receptor";
  ASSERT_EQ(inspect({"--svg", (dir / "m.svg").string(), "--title", long_title, (dir / "d.gdx").string()}).status, 0);
  const std::string doc = test::read_text(dir / "m.svg");
  const std::regex heading("<text x=\"80.00\" y=\"[0-9.]+\" font-size=\"17\" font-weight=\"bold\">([^<]*)</text>");
  std::string joined;
  int lines = 0;
  for (std::sregex_iterator m(doc.begin(), doc.end(), heading), e; m != e; ++m, ++lines) {
    EXPECT_LE(80 + text_width((*m)[1].str(), 17, true), 900.0) << (*m)[1];
    joined += (joined.empty() ? "" : " ") + (*m)[1].str();
  }
  EXPECT_GE(lines, 2);
  EXPECT_EQ(joined, long_title);
  EXPECT_NE(doc.find("height=\"781\""), std::string::npos) << "the picture grows by the lines added";
}

TEST(InspectMaps, OptionsRefused) {
  const std::string d = (kData / "sample" / "expected" / "sample_01h.bin.gdx").string();
  struct Case {
    std::vector<std::string> args;
    std::string err;  // after "kestrel-inspect: "
    bool needs_gis = false, needs_print = false;
  };
  const std::string crs_why =
      "--geojson needs --crs: AERMOD does not record the coordinate system of the run's x and y, so name it (--crs "
      "EPSG:32617 for UTM zone 17N, and --origin E,N for a run in local coordinates) (see kestrel-inspect --help)";
  const Case cases[] = {
      {{"--geojson", "m.geojson", d}, crs_why, true},
      {{"--kml", "m.kml", "--origin", "1,2", d}, "--kml needs --crs" + crs_why.substr(crs_why.find(':')), true},
      {{"--crs", "EPSG:32617", d}, "--crs goes with --geojson or --kml (see kestrel-inspect --help)"},
      {{"--geojson", "m.geojson", "--crs", "EPSG:32617", "--origin", "552000", d},
       "--origin takes the easting and northing of the run's (0, 0), in metres: --origin 552000,4178500 (see "
       "kestrel-inspect --help)",
       true},
      {{"--geojson", "m.geojson", "--crs", "EPSG:999999", d}, d + ": --crs: PROJ does not know 'EPSG:999999'", true},
      {{"--geojson", "m.geojson", "--crs", "EPSG:4326", d},
       d + ": --crs: 'EPSG:4326' (WGS 84) is not a projected system; the run's x and y are metres east and north", true},
      {{"--levels", "10,50", d}, "--levels goes with a map (--svg, --png, --pdf, --geojson or --kml) (see kestrel-inspect --help)"},
      {{"--svg", "m.svg", "--levels", "0,50", d},
       "--levels: every level must be above 0 (the map is drawn on a log scale) (see kestrel-inspect --help)"},
      {{"--png", "m.png", "--dpi", "20", d}, "--dpi takes 30 to 1200 (see kestrel-inspect --help)", false, true},
      {{"--svg", "m.svg", "--dpi", "300", d}, "--dpi goes with --png (see kestrel-inspect --help)"},
      {{"--pdf", "m.pdf", d, d}, "--pdf draws one file at a time (see kestrel-inspect --help)", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    if ((c.needs_gis && !projection_available()) || (c.needs_print && !print_available())) continue;
    const Result r = inspect(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "kestrel-inspect: " + c.err + "\n");
  }
}

}  // namespace
}  // namespace kestrel::inspect
