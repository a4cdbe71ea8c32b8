#include "inspect/maps.hpp"

#include <filesystem>

#include "inspect/draw/map_model.hpp"
#include "inspect/draw/svg.hpp"
#include "inspect/draw/svg_draw.hpp"
#include "inspect/failure.hpp"
#include "inspect/format.hpp"
#include "inspect/gis/gis.hpp"
#include "inspect/origin.hpp"
#include "inspect/print/print.hpp"
#include "inspect/units.hpp"

namespace kestrel::inspect {

namespace {

namespace fs = std::filesystem;

MapOptions map_options(const Options& o, const Summary& s, const std::optional<ControlFile>& control) {
  MapOptions m{o.grid, o.filled, o.title, o.levels, {}, {}, {}};
  if (control) {
    m.sources = control->sources, m.sources_from = o.control;
  } else if (auto beside = origin_beside(s.path.string())) {
    m.sources = beside->control.sources, m.sources_from = beside->control_name;
  } else {
    m.no_sources = "no sources: no control file beside " + fs::path(s.file).filename().string() +
                   " names it in a POSTFILE line (--control names one)";
  }
  return m;
}

// What the map shows: each receptor's highest value, or the first statistic
// asked for; `ends`, each one's period end where it has one.
MapValues mapped(const Summary& s, const std::string& unit, std::vector<std::string>& ends) {
  MapValues m;
  ends.assign(static_cast<std::size_t>(s.layout.nrec), std::string());
  if (s.statistics.empty() || s.statistics.begin()->second.empty()) {
    m.values = s.highest();
    m.peak = s.peak();
    for (const auto& [group, table] : s.by_group) {
      for (std::size_t k = 0; k < table.size() && k < ends.size(); ++k) {
        if (table[k].count() > 0 && table[k].high() == m.values[k]) ends[k] = iso(table[k].high_end());
      }
    }
  } else {
    const StatAsked& asked = s.statistics.begin()->second.front().asked();
    m.values = s.stat_values(0);
    const auto all = s.stat_top(0, static_cast<std::size_t>(-1));
    if (!all.empty()) m.peak = all.front();
    // Highest first: a receptor's first entry is its value over the groups.
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
      if (it->k < ends.size()) ends[it->k] = it->dated ? iso(it->end) : std::string();
    }
    m.what = asked.title(quantity_of(s));
    m.name = asked.name;
    m.count = asked.kind == StatKind::exceed;
    const StatUnit u = stat_unit(s, asked, unit);
    m.factor = u.factor;
    m.unit = u.unit;
  }
  // Maps draw in the tool's own unit, or the unit asked for.
  if (m.unit.empty()) {
    m.factor = own_to_shown(s, shown_unit(s, unit));
    m.unit = shown_unit(s, unit);
  }
  for (double& v : m.values) v *= m.factor;
  if (m.peak) m.peak->value *= m.factor;
  return m;
}

}  // namespace

std::string legend_name(const std::string& kml) {
  const fs::path p(kml);
  return p.stem().string() + "-legend.png";
}

void write_maps(const Options& o, const Summary& s, const std::optional<ControlFile>& control) {
  if (!s.receptors.known()) throw Failure("a map needs the receptors' coordinates (for a POSTFILE: --control)");
  const MapOptions m = map_options(o, s, control);
  std::vector<std::string> ends;
  const MapValues mv = mapped(s, o.unit, ends);
  const MapModel model = map_model(s, mv, o.levels);
  // The projection first: a system PROJ does not know stops before any file is written.
  std::optional<Projection> projection;
  if (!o.geojson.empty() || !o.kml.empty()) projection.emplace(o.crs, o.origin_e, o.origin_n);
  const std::string svg = map_svg(s, m, mv, model);
  if (!o.svg.empty()) save(o.svg, svg);
  if (!o.png.empty()) save(o.png, png_of(svg, o.dpi));
  if (!o.pdf.empty()) save(o.pdf, pdf_of(svg));
  if (!projection) return;
  const GisMap gis{model, s, map_title(s, m, mv, model), m.sources, ends, o.crs, o.origin_e, o.origin_n};
  if (!o.geojson.empty()) save(o.geojson, geojson_of(gis, *projection));
  if (!o.kml.empty()) {
    std::string legend;
    if (print_available()) {
      legend = legend_name(o.kml);
      save((fs::path(o.kml).parent_path() / legend).string(), png_of(legend_svg(s, model, mv, o.filled), 96));
    }
    save(o.kml, kml_of(gis, *projection, legend));
  }
}

}  // namespace kestrel::inspect
