#include <cmath>

#include "inspect/draw/levels.hpp"
#include "inspect/format.hpp"
#include "inspect/gis/gis.hpp"

namespace kestrel::inspect {

namespace {

// Nine decimals of a degree: about 0.1 mm, finer than any receptor's place.
std::string position(const Lonlat& p) { return "[" + fixed_to(p.lon, 9) + ", " + fixed_to(p.lat, 9) + "]"; }

std::string ring(const Polyline& r, const Projection& p) {
  // GeoJSON closes a ring by repeating its first position.
  std::string o = "[";
  for (const Pt& q : r) o += position(p(q.x, q.y)) + ", ";
  return o + position(p(r.front().x, r.front().y)) + "]";
}

std::string feature(const std::string& geometry, const std::string& properties) {
  return "{\"type\": \"Feature\", \"geometry\": " + geometry + ", \"properties\": {" + properties + "}}";
}

// A JSON string with UTF-8 kept as it is (µg/m³ stays readable).
std::string geo_string(std::string_view s) {
  std::string o = "\"";
  for (const char c : s) {
    if (c == '"' || c == '\\') o += '\\', o += c;
    else if (static_cast<unsigned char>(c) < 0x20) o += fmt("\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
    else o += c;
  }
  return o + "\"";
}

std::string number(double v) { return std::isfinite(v) ? general(v, 9) : "null"; }

void bands(const GisMap& m, const Projection& p, std::vector<std::string>& out) {
  const Scale& sc = m.model.scale;
  for (std::size_t b = 0; b < m.model.bands.size(); ++b) {
    if (m.model.bands[b].empty()) continue;
    std::string polygons;
    for (const Polygon& poly : m.model.bands[b]) {
      polygons += (polygons.empty() ? "[" : ", [") + ring(poly.outer, p);
      for (const Polyline& h : poly.holes) polygons += ", " + ring(h, p);
      polygons += "]";
    }
    const double lower = b == 0 ? 0.0 : sc.levels[b - 1];
    const double upper = b < sc.levels.size() ? sc.levels[b] : NAN;
    out.push_back(feature("{\"type\": \"MultiPolygon\", \"coordinates\": [" + polygons + "]}",
                          "\"layer\": \"band\", \"band\": " + geo_string(sc.band_text(b)) + ", \"lower\": " +
                              number(lower) + ", \"upper\": " + number(upper) + ", \"unit\": " +
                              geo_string(m.model.unit_text) + ", \"fill\": " + geo_string(sc.band_colour(b))));
  }
}

void contours(const GisMap& m, const Projection& p, std::vector<std::string>& out) {
  for (const Contour& c : m.model.contours) {
    std::string lines;
    for (const Polyline& l : c.lines) {
      std::string one;
      for (const Pt& q : l) one += (one.empty() ? "[" : ", ") + position(p(q.x, q.y));
      lines += (lines.empty() ? "" : ", ") + one + "]";
    }
    out.push_back(feature("{\"type\": \"MultiLineString\", \"coordinates\": [" + lines + "]}",
                          "\"layer\": \"contour\", \"level\": " + number(c.level) + ", \"label\": " +
                              geo_string(c.label) + ", \"unit\": " + geo_string(m.model.unit_text)));
  }
}

void sources(const GisMap& m, const Projection& p, std::vector<std::string>& out) {
  for (const SourcePlace& s : m.sources) {
    const std::string props = "\"layer\": \"source\", \"id\": " + geo_string(s.id) + ", \"type\": " +
                              geo_string(s.type) + ", \"x_m\": " + number(s.x_km * 1000) + ", \"y_m\": " +
                              number(s.y_km * 1000);
    std::string geometry = "{\"type\": \"Point\", \"coordinates\": " + position(p(s.x_km, s.y_km)) + "}";
    if (s.outline_km.size() >= 2) {
      Polyline l;
      for (const auto& [x, y] : s.outline_km) l.push_back({x, y});
      if (s.closed) {
        geometry = "{\"type\": \"Polygon\", \"coordinates\": [" + ring(l, p) + "]}";
      } else {
        std::string one;
        for (const Pt& q : l) one += (one.empty() ? "[" : ", ") + position(p(q.x, q.y));
        geometry = "{\"type\": \"LineString\", \"coordinates\": " + one + "]}";
      }
    }
    out.push_back(feature(geometry, props));
  }
}

std::string receptor_properties(const GisMap& m, std::size_t k) {
  const MapModel& mm = m.model;
  return "\"receptor\": " + std::to_string(k + 1) + ", \"value\": " + number(mm.values[k]) + ", \"end\": " +
         (k < m.ends.size() && !m.ends[k].empty() ? geo_string(m.ends[k]) : "null") + ", \"unit\": " +
         geo_string(mm.unit_text) + ", \"x_m\": " + number(mm.km[k].x * 1000) + ", \"y_m\": " +
         number(mm.km[k].y * 1000);
}

}  // namespace

std::string geojson_of(const GisMap& m, const Projection& p) {
  std::vector<std::string> features;
  bands(m, p, features);
  contours(m, p, features);
  sources(m, p, features);
  const MapModel& mm = m.model;
  for (std::size_t k = 0; k < mm.km.size(); ++k) {
    features.push_back(feature("{\"type\": \"Point\", \"coordinates\": " + position(p(mm.km[k].x, mm.km[k].y)) + "}",
                               "\"layer\": \"receptor\", " + receptor_properties(m, k)));
  }
  if (mm.peak && mm.peak->k < mm.km.size()) {
    const std::size_t k = mm.peak->k;
    features.push_back(feature("{\"type\": \"Point\", \"coordinates\": " + position(p(mm.km[k].x, mm.km[k].y)) + "}",
                               "\"layer\": \"highest\", \"what\": " + geo_string(mm.what) + ", \"label\": " +
                                   geo_string(value_label(mm.peak->value) + " " + mm.unit) + ", " +
                                   receptor_properties(m, k)));
  }
  // The run's own system is said in a foreign member: GeoJSON itself is always WGS 84.
  std::string o = "{\"type\": \"FeatureCollection\", \"name\": " + geo_string(m.title) +
                  ",\n\"kestrel\": {\"file\": " + geo_string(m.summary.file) + ", \"crs\": " + geo_string(m.crs) +
                  ", \"crs_name\": " + geo_string(p.name()) + ", \"origin_m\": [" + number(m.e0) + ", " +
                  number(m.n0) + "]},\n\"features\": [\n";
  for (std::size_t i = 0; i < features.size(); ++i) o += features[i] + (i + 1 < features.size() ? ",\n" : "\n");
  return o + "]}\n";
}

}  // namespace kestrel::inspect
