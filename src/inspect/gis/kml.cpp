#include <cmath>

#include "inspect/draw/levels.hpp"
#include "inspect/format.hpp"
#include "inspect/gis/gis.hpp"

namespace kestrel::inspect {

namespace {

std::string escaped(std::string_view s) {
  std::string o = xml_text(s);
  for (std::size_t at = 0; (at = o.find('"', at)) != std::string::npos; at += 6) o.replace(at, 1, "&quot;");
  return o;
}

std::string coordinates(const Polyline& line, const Projection& p, bool close) {
  std::string o = "<coordinates>";
  auto one = [&](const Pt& q) {
    const Lonlat g = p(q.x, q.y);
    o += fixed_to(g.lon, 9) + "," + fixed_to(g.lat, 9) + ",0 ";
  };
  for (const Pt& q : line) one(q);
  if (close && !line.empty()) one(line.front());  // KML closes a ring by repeating its first point
  o.back() = '<';
  return o + "/coordinates>";
}

// #rrggbb as KML's aabbggrr.
std::string kml_colour(const std::string& rgb, const char* alpha) {
  if (rgb.size() != 7) return std::string(alpha) + "ffffff";
  return alpha + rgb.substr(5, 2) + rgb.substr(3, 2) + rgb.substr(1, 2);
}

std::string data(std::initializer_list<std::pair<const char*, std::string>> items) {
  std::string o = "<ExtendedData>";
  for (const auto& [name, value] : items) {
    o += "<Data name=\"" + std::string(name) + "\"><value>" + escaped(value) + "</value></Data>";
  }
  return o + "</ExtendedData>";
}

std::string styles(const MapModel& m) {
  std::string o;
  for (std::size_t b = 0; b < m.bands.size(); ++b) {
    // Bands a little see-through, so that the ground shows under them.
    o += "<Style id=\"band" + std::to_string(b) + "\"><LineStyle><width>0</width></LineStyle><PolyStyle><color>" +
         kml_colour(m.scale.band_colour(b), "b4") + "</color><outline>0</outline></PolyStyle></Style>\n";
  }
  o += "<Style id=\"contour\"><LineStyle><color>ff1a1a1a</color><width>1.5</width></LineStyle></Style>\n";
  o += "<Style id=\"source\"><IconStyle><scale>0.8</scale><Icon><href>"
       "http://maps.google.com/mapfiles/kml/shapes/triangle.png</href></Icon></IconStyle>"
       "<LineStyle><color>ff000000</color><width>2</width></LineStyle>"
       "<PolyStyle><color>40000000</color></PolyStyle></Style>\n";
  o += "<Style id=\"receptor\"><IconStyle><scale>0.4</scale><Icon><href>"
       "http://maps.google.com/mapfiles/kml/shapes/shaded_dot.png</href></Icon></IconStyle>"
       "<LabelStyle><scale>0</scale></LabelStyle></Style>\n";
  o += "<Style id=\"highest\"><IconStyle><color>ff0000d0</color><scale>1.1</scale><Icon><href>"
       "http://maps.google.com/mapfiles/kml/shapes/open-diamond.png</href></Icon></IconStyle></Style>\n";
  return o;
}

std::string bands(const MapModel& m, const Projection& p) {
  std::string o = "<Folder><name>bands</name>\n";
  for (std::size_t b = m.bands.size(); b-- > 0;) {
    if (m.bands[b].empty()) continue;
    const Scale& sc = m.scale;
    o += "<Placemark><name>" + escaped(sc.band_text(b) + " " + m.unit) + "</name><styleUrl>#band" +
         std::to_string(b) + "</styleUrl>" +
         data({{"lower", b == 0 ? std::string("0") : general(sc.levels[b - 1], 9)},
               {"upper", b < sc.levels.size() ? general(sc.levels[b], 9) : std::string()},
               {"unit", m.unit_text}}) +
         "<MultiGeometry>";
    for (const Polygon& poly : m.bands[b]) {
      o += "<Polygon><outerBoundaryIs><LinearRing>" + coordinates(poly.outer, p, true) +
           "</LinearRing></outerBoundaryIs>";
      for (const Polyline& h : poly.holes) {
        o += "<innerBoundaryIs><LinearRing>" + coordinates(h, p, true) + "</LinearRing></innerBoundaryIs>";
      }
      o += "</Polygon>";
    }
    o += "</MultiGeometry></Placemark>\n";
  }
  return o + "</Folder>\n";
}

std::string contours(const MapModel& m, const Projection& p) {
  std::string o = "<Folder><name>contours</name>\n";
  for (const Contour& c : m.contours) {
    o += "<Placemark><name>" + escaped(c.label + " " + m.unit) + "</name><styleUrl>#contour</styleUrl>" +
         data({{"level", general(c.level, 9)}, {"unit", m.unit_text}}) + "<MultiGeometry>";
    for (const Polyline& l : c.lines) o += "<LineString>" + coordinates(l, p, false) + "</LineString>";
    o += "</MultiGeometry></Placemark>\n";
  }
  return o + "</Folder>\n";
}

std::string sources(const GisMap& m, const Projection& p) {
  std::string o = "<Folder><name>sources</name>\n";
  for (const SourcePlace& s : m.sources) {
    o += "<Placemark><name>" + escaped(s.id) + "</name><styleUrl>#source</styleUrl>" +
         data({{"id", s.id}, {"type", s.type}}) + "<MultiGeometry><Point>" +
         coordinates({{s.x_km, s.y_km}}, p, false) + "</Point>";
    Polyline l;
    for (const auto& [x, y] : s.outline_km) l.push_back({x, y});
    if (l.size() >= 2 && s.closed) {
      o += "<Polygon><outerBoundaryIs><LinearRing>" + coordinates(l, p, true) + "</LinearRing></outerBoundaryIs></Polygon>";
    } else if (l.size() >= 2) {
      o += "<LineString>" + coordinates(l, p, false) + "</LineString>";
    }
    o += "</MultiGeometry></Placemark>\n";
  }
  return o + "</Folder>\n";
}

std::string receptor(const GisMap& m, const Projection& p, std::size_t k, const std::string& name,
                     const char* style) {
  const MapModel& mm = m.model;
  const std::string value = std::isfinite(mm.values[k]) ? general(mm.values[k], 9) : std::string("none");
  const std::string end = k < m.ends.size() ? m.ends[k] : std::string();
  return "<Placemark><name>" + escaped(name) + "</name><styleUrl>#" + style + "</styleUrl>" +
         data({{"receptor", std::to_string(k + 1)}, {"value", value}, {"end", end}, {"unit", mm.unit_text}}) +
         "<Point>" + coordinates({mm.km[k]}, p, false) + "</Point></Placemark>\n";
}

}  // namespace

std::string kml_of(const GisMap& m, const Projection& p, const std::string& legend_png) {
  const MapModel& mm = m.model;
  std::string o = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>";
  o += "<name>" + escaped(m.title) + "</name>\n<description>" +
       escaped(m.summary.file + "; the run's x and y in " + m.crs + " (" + p.name() + ") from (" +
               fixed_to(m.e0, 3) + ", " + fixed_to(m.n0, 3) + ") m") +
       "</description>\n";
  o += styles(mm) + bands(mm, p) + contours(mm, p) + sources(m, p);
  // The receptors hidden at first: hundreds of icons hide the bands.
  o += "<Folder><name>receptors</name><visibility>0</visibility>\n";
  for (std::size_t k = 0; k < mm.km.size(); ++k) {
    const std::string value = std::isfinite(mm.values[k]) ? value_label(mm.values[k]) : "no value";
    o += receptor(m, p, k, std::to_string(k + 1) + ": " + value, "receptor");
  }
  o += "</Folder>\n";
  if (mm.peak && mm.peak->k < mm.km.size()) {
    o += receptor(m, p, mm.peak->k, "highest: " + value_label(mm.peak->value) + " " + mm.unit, "highest");
  }
  if (!legend_png.empty()) {
    o += "<ScreenOverlay><name>legend</name><Icon><href>" + escaped(legend_png) +
         "</href></Icon><overlayXY x=\"0\" y=\"1\" xunits=\"fraction\" yunits=\"fraction\"/>"
         "<screenXY x=\"10\" y=\"10\" xunits=\"pixels\" yunits=\"insetPixels\"/>"
         "<size x=\"0\" y=\"0\" xunits=\"pixels\" yunits=\"pixels\"/></ScreenOverlay>\n";
  }
  return o + "</Document>\n</kml>\n";
}

}  // namespace kestrel::inspect
