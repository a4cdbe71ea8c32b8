// The map on the runs that showed its faults, printed (PNG, PDF) and written
// for GIS (GeoJSON, KML read back by GDAL's ogrinfo, places checked with
// PROJ's cs2cs), and the options refused.
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

#if defined(KESTREL_TEST_CAIRO)
#include <cairo.h>
#endif

namespace kestrel::inspect {
namespace {

namespace fs = std::filesystem;

const fs::path kData = KESTREL_TEST_DATA;

// A number in a file or a tool's output, whatever the locale the tests run under.
double number(const std::string& text) {
  double v = NAN;
  std::from_chars(text.data(), text.data() + text.size(), v);
  return v;
}

// The numbers of a line, split at blanks and tabs.
std::vector<double> numbers(const std::string& line) {
  std::vector<double> out;
  std::stringstream words(line);
  for (std::string w; words >> w;) out.push_back(number(w));
  return out;
}

// A copy of a run's inputs, converted by kestrel when `convert`.
void run_copy(const fs::path& from, const test::TempDir& dir, bool convert = true) {
  for (const auto& e : fs::directory_iterator(from)) fs::copy_file(e.path(), dir / e.path().filename().string());
  if (convert) {
    ASSERT_EQ(test::run_in(dir.path()).status, 0);
  }
}

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

// Runs a program found on PATH; nothing when it is not there.
std::optional<test::RunResult> tool(const std::string& name, const std::vector<std::string>& args,
                                    const fs::path& dir) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "");
  for (std::string d; std::getline(dirs, d, ':');) {
    std::error_code ec;
    if (!d.empty() && fs::is_regular_file(fs::path(d) / name, ec)) return test::run_program(fs::path(d) / name, args, dir);
  }
  return std::nullopt;
}

#if defined(KESTREL_TEST_CAIRO)
struct Png {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;  // 0xRRGGBB
  [[nodiscard]] std::uint32_t at(double x, double y) const {
    return pixels[static_cast<std::size_t>(std::lround(y)) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(std::lround(x))];
  }
};

Png read_png(const fs::path& p) {
  cairo_surface_t* s = cairo_image_surface_create_from_png(p.string().c_str());
  Png png;
  if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
    png.width = cairo_image_surface_get_width(s), png.height = cairo_image_surface_get_height(s);
    const int stride = cairo_image_surface_get_stride(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    for (int y = 0; y < png.height; ++y) {
      for (int x = 0; x < png.width; ++x) {
        std::uint32_t v = 0;
        for (int b = 0; b < 4; ++b) v |= static_cast<std::uint32_t>(data[y * stride + x * 4 + b]) << (8 * b);
        png.pixels.push_back(v & 0xFFFFFFU);
      }
    }
  }
  cairo_surface_destroy(s);
  return png;
}

bool near_colour(std::uint32_t got, std::uint32_t want, int by) {
  for (int shift : {0, 8, 16}) {
    if (std::abs(static_cast<int>((got >> shift) & 0xFF) - static_cast<int>((want >> shift) & 0xFF)) > by) return false;
  }
  return true;
}
#endif

TEST(InspectMaps, PngAndPdfOfARealRun) {
  test::TempDir dir;
  run_copy(kData / "networks" / "aertest-polar" / "input", dir);
  const std::string d = (dir / "AERTEST_01H.BIN.gdx").string();
  const Result r = inspect({"--svg", (dir / "m.svg").string(), "--png", (dir / "m.png").string(), "--dpi", "192",
                            "--pdf", (dir / "m.pdf").string(), d});
  if (!print_available()) {
    EXPECT_EQ(r.err, "kestrel-inspect: --png is not available in this build (see kestrel-inspect --help)\n");
    GTEST_SKIP() << "this build has no librsvg and cairo";
  }
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(dir / "m.png.part"));
  const std::string pdf = test::read_text(dir / "m.pdf");
  EXPECT_EQ(pdf.substr(0, 7), "%PDF-1.");
  EXPECT_NE(pdf.find("/MediaBox [ 0 0 675 570 ]"), std::string::npos) << "900 x 760 px at 3/4 of a point each";
#if defined(KESTREL_TEST_CAIRO)
  const Png png = read_png(dir / "m.png");
  ASSERT_EQ(png.width, 1800);  // 192 dpi: two pixels per px
  ASSERT_EQ(png.height, 1520);
  std::map<std::uint32_t, int> colours;
  for (const auto v : png.pixels) ++colours[v];
  EXPECT_GT(colours.size(), 50U) << "not blank";
  // The highest value's diamond, red, at its left corner; the colour bar's
  // top and bottom, the ramp's ends.
  const std::string svg = test::read_text(dir / "m.svg");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(svg, m, std::regex("<path d=\"M (-?[0-9.]+) (-?[0-9.]+) l [0-9.]+ -[0-9.]+")));
  EXPECT_TRUE(near_colour(png.at(2 * number(m[1]) + 1, 2 * number(m[2])), 0xd00000, 40));
  ASSERT_TRUE(std::regex_search(svg, m, std::regex("<rect id=\"colour-bar\" x=\"([0-9]+)\" y=\"([0-9]+)\" width=\"18\" height=\"300\"")));
  const double bx = 2 * (number(m[1]) + 9), top = 2 * number(m[2]);
  EXPECT_TRUE(near_colour(png.at(bx, top + 4), 0xfde725, 12)) << std::hex << png.at(bx, top + 4);
  EXPECT_TRUE(near_colour(png.at(bx, top + 596), 0x440154, 12)) << std::hex << png.at(bx, top + 596);
  EXPECT_EQ(png.at(4, 4), 0xffffffU);
#endif
}

// Each receptor's longitude and latitude in what ogrinfo reads of a file.
std::map<int, Lonlat> ogr_receptors(const std::string& listing, std::map<std::string, int>& layers) {
  std::map<int, Lonlat> out;
  std::stringstream in(listing);
  int receptor = 0;
  const std::regex receptor_line(R"(^  receptor \((?:Integer|Integer64|String)\) = (\d+))");
  const std::regex layer(R"(^  layer \(String\) = (\w+))");
  const std::regex point(R"(^  POINT (?:Z )?\((-?[0-9.]+) (-?[0-9.]+))");
  for (std::string l; std::getline(in, l);) {
    std::smatch m;
    if (l.rfind("OGRFeature(", 0) == 0) receptor = 0;
    if (std::regex_search(l, m, layer)) ++layers[m[1]];
    if (std::regex_search(l, m, receptor_line)) receptor = static_cast<int>(number(m[1]));
    if (receptor > 0 && std::regex_search(l, m, point)) out[receptor] = {number(m[1]), number(m[2])};
  }
  return out;
}

TEST(InspectMaps, GisFilesInLongitudeAndLatitude) {
  test::TempDir dir;
  run_copy(kData / "networks" / "aertest-polar" / "input", dir);
  // A run in UTM coordinates: the formatted POSTFILE's places moved to UTM
  // zone 17N, read with the places of its first record.
  const double e0 = 552000, n0 = 4178500;
  {
    std::stringstream in(test::read_text(dir / "AERTEST_01H.PLT"));
    std::string out;
    for (std::string l; std::getline(in, l);) {
      if (!l.empty() && l[0] != '*') {
        const auto xy = numbers(l.substr(0, 28));
        l = test::fixed_field(xy.at(0) + e0, 14, 5) + test::fixed_field(xy.at(1) + n0, 14, 5) + l.substr(28);
      }
      out += l + "\n";
    }
    test::write_text(dir / "UTM_01H.PLT", out);
  }
  struct Case {
    std::vector<std::string> args;
    std::string file;
  };
  const std::string gj = (dir / "m.geojson").string(), kml = (dir / "m.kml").string();
  const std::string local = (dir / "AERTEST_01H.BIN.gdx").string(), utm = (dir / "UTM_01H.PLT").string();
  const Case cases[] = {
      {{"--geojson", gj, "--filled", "--crs", "EPSG:32617", "--origin", "552000,4178500", local}, gj},
      {{"--kml", kml, "--crs", "EPSG:32617", "--origin", "552000,4178500", local}, kml},
      {{"--geojson", gj, "--crs", "EPSG:32617", utm}, gj},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back() + " " + c.file);
    const Result r = inspect(c.args);
    if (!projection_available()) {
      EXPECT_EQ(r.err, "kestrel-inspect: " + c.args[0] + " is not available in this build (see kestrel-inspect --help)\n");
      GTEST_SKIP() << "this build has no PROJ";
    }
    ASSERT_EQ(r.status, 0) << r.err;
    const auto ogr = tool("ogrinfo", {"-ro", "-al", c.file}, dir.path());
    if (!ogr) GTEST_SKIP() << "ogrinfo (gdal-bin) is not installed";
    ASSERT_EQ(ogr->status, 0) << ogr->err;
    std::map<std::string, int> layers;
    auto places = ogr_receptors(ogr->console, layers);
    ASSERT_EQ(places.size(), 144U);
    if (c.args.back() == local && c.file == gj) {
      EXPECT_EQ(layers["receptor"], 144);
      EXPECT_EQ(layers["source"], 1);
      EXPECT_EQ(layers["highest"], 1);
      EXPECT_GE(layers["band"], 5);
      EXPECT_GE(layers["contour"], 5);
    }
    // PROJ's own cs2cs on the same places: receptors 1, 46 (the highest) and 144.
    const ControlFile control = read_control_file((dir / "AERMOD.INP").string());
    std::string input;
    for (const int k : {1, 46, 144}) {
      input += fmt("%.6f %.6f\n", e0 + control.x_m[k - 1], n0 + control.y_m[k - 1]);
    }
    test::write_text(dir / "in.txt", input);
    const auto cs = tool("cs2cs", {"-f", "%.10f", "EPSG:32617", "EPSG:4326", (dir / "in.txt").string()}, dir.path());
    if (!cs) GTEST_SKIP() << "cs2cs (proj-bin) is not installed";
    std::stringstream lines(cs->console);
    for (const int k : {1, 46, 144}) {
      std::string line;
      std::getline(lines, line);
      const auto latlon = numbers(line);
      ASSERT_GE(latlon.size(), 2U) << line;
      const double lat = latlon[0], lon = latlon[1];
      EXPECT_NEAR(places[k].lon, lon, 1e-7) << "receptor " << k;
      EXPECT_NEAR(places[k].lat, lat, 1e-7) << "receptor " << k;
    }
  }
}

TEST(InspectMaps, KmlBandsColouredAsTheMap) {
  test::TempDir dir;
  run_copy(kData / "networks" / "aertest-polar" / "input", dir);
  const Result r = inspect({"--svg", (dir / "m.svg").string(), "--kml", (dir / "m.kml").string(), "--filled", "--levels",
                            "196x0.1,0.25,0.5,1", "--crs", "EPSG:32617", "--origin", "552000,4178500",
                            (dir / "AERTEST_01H.BIN.gdx").string()});
  if (!projection_available()) GTEST_SKIP() << "this build has no PROJ";
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string svg = test::read_text(dir / "m.svg"), kml = test::read_text(dir / "m.kml");
  // Each band's colour on the map, by its name.
  std::map<std::string, std::string> on_map, in_kml;
  const std::regex band_path("<path fill=\"(#[0-9a-f]{6})\"[^>]*><title>([^<]*)</title>");
  for (std::sregex_iterator m(svg.begin(), svg.end(), band_path), e; m != e; ++m) on_map[(*m)[2]] = (*m)[1];
  // KML's colours are aabbggrr, named through the placemark's style.
  std::map<std::string, std::string> style;
  const std::regex style_colour("<Style id=\"(band[0-9]+)\">.*?<PolyStyle><color>([0-9a-f]{8})</color>");
  for (std::sregex_iterator m(kml.begin(), kml.end(), style_colour), e; m != e; ++m) {
    const std::string c = (*m)[2];
    style[(*m)[1]] = "#" + c.substr(6, 2) + c.substr(4, 2) + c.substr(2, 2);
  }
  const std::regex placemark("<Placemark><name>([^<]*)</name><styleUrl>#(band[0-9]+)</styleUrl>");
  for (std::sregex_iterator m(kml.begin(), kml.end(), placemark), e; m != e; ++m) in_kml[(*m)[1]] = style[(*m)[2]];
  EXPECT_EQ(in_kml.size(), 5U);
  EXPECT_EQ(in_kml, on_map);
  EXPECT_EQ(in_kml["below 19.6 µg/m³"], "#e9e4ef");
  // The legend beside it, as the screen overlay names it.
  if (print_available()) {
    EXPECT_NE(kml.find("<ScreenOverlay><name>legend</name><Icon><href>m-legend.png</href>"), std::string::npos);
    EXPECT_EQ(test::read_text(dir / "m-legend.png").substr(1, 3), "PNG");
  } else {
    EXPECT_EQ(kml.find("<ScreenOverlay>"), std::string::npos);
  }
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
