// The map as GIS files: GeoJSON and KML read back by GDAL's ogrinfo, their
// places compared with PROJ's own cs2cs, for a run in UTM and a run in local
// coordinates placed by --origin; KML's bands coloured as the map's.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>

#include "inspect/format.hpp"
#include "inspect/gis/gis.hpp"
#include "inspect/print/print.hpp"
#include "inspect/inspect_support.hpp"
#include "support.hpp"

namespace kestrel::inspect {
namespace {

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

TEST(InspectGis, GeoJsonAndKmlInLongitudeAndLatitude) {
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

TEST(InspectGis, KmlBandsColouredAsTheMap) {
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

}  // namespace
}  // namespace kestrel::inspect
