#include "inspect/kestrel_calls.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "base/io_error.hpp"
#include "base/report.hpp"
#include "base/text.hpp"
#include "base/version.hpp"
#include "convert/comp.hpp"
#include "convert/plot_reader.hpp"
#include "convert/plot_scan.hpp"
#include "convert/postfile.hpp"
#include "inspect/failure.hpp"
#include "io/files.hpp"
#include "setup/params.hpp"
#include "setup/receptors.hpp"
#include "setup/setup.hpp"

namespace kestrel::inspect {

const std::int32_t kMaxReceptors = static_cast<std::int32_t>(MXREC);

std::string version_line() {
  return "kestrel-inspect " + std::string(mver) + " (level " + std::string(mlevel) + ")";
}

Box nominal_box(std::span<const float> x_km, std::span<const float> y_km) {
  std::vector<Receptor> receptors(std::min(x_km.size(), y_km.size()));
  for (std::size_t i = 0; i < receptors.size(); ++i) receptors[i].x = x_km[i], receptors[i].y = y_km[i];
  const ReceptorBox box = receptor_box(receptors);
  return {box.x0, box.y0, box.dgrid};
}

float km_of(double metres) { return metres_to_km(static_cast<float>(metres)); }

namespace {

// A source's outline as AERMOD places it: an area's corner at LOCATION, its
// sides turned clockwise by its angle about that corner; a circle's centre;
// a line's two ends.
SourcePlace source_place(const SourceLocation& src) {
  SourcePlace p{src.id, src.x / 1000.0, src.y / 1000.0, src.type, {}, false};
  const auto& a = src.params;
  const auto& l = src.location;
  auto km = [&](double dx, double dy) { p.outline_km.emplace_back((src.x + dx) / 1000.0, (src.y + dy) / 1000.0); };
  auto rectangle = [&](double sx, double sy, double degrees) {
    const double t = degrees * 3.14159265358979323846 / 180, c = std::cos(t), s = std::sin(t);
    for (const auto& [u, v] : {std::pair{0.0, 0.0}, {sx, 0.0}, {sx, sy}, {0.0, sy}}) km(u * c + v * s, -u * s + v * c);
    p.closed = true;
  };
  if (src.type == "AREA" && a.size() >= 3) {
    rectangle(a[2], a.size() >= 4 ? a[3] : a[2], a.size() >= 5 ? a[4] : 0.0);
  } else if (src.type == "OPENPIT" && a.size() >= 4) {
    rectangle(a[2], a[3], a.size() >= 6 ? a[5] : 0.0);
  } else if (src.type == "AREACIRC" && a.size() >= 3) {
    const int n = a.size() >= 4 && a[3] >= 3 && a[3] <= 100 ? static_cast<int>(a[3]) : 20;
    for (int i = 0; i < n; ++i) {
      const double t = 2 * 3.14159265358979323846 * i / n;
      km(a[2] * std::sin(t), a[2] * std::cos(t));
    }
    p.closed = true;
  } else if (src.type == "AREAPOLY" && src.vertices.size() >= 6) {
    for (std::size_t i = 0; i + 1 < src.vertices.size(); i += 2) {
      p.outline_km.emplace_back(src.vertices[i] / 1000.0, src.vertices[i + 1] / 1000.0);
    }
    p.closed = true;
  } else if (src.type == "RLINEXT" && l.size() >= 5) {
    p.outline_km = {{l[0] / 1000.0, l[1] / 1000.0}, {l[3] / 1000.0, l[4] / 1000.0}};
  } else if ((src.type == "LINE" || src.type == "RLINE" || src.type == "BUOYLINE") && l.size() >= 4) {
    p.outline_km = {{l[0] / 1000.0, l[1] / 1000.0}, {l[2] / 1000.0, l[3] / 1000.0}};
  }
  return p;
}

}  // namespace

ControlFile read_control_file(const std::string& control) {
  namespace fs = std::filesystem;
  const fs::path p(control);
  SilentReport report;
  std::optional<Result<Ctrl>> read;
  try {
    read.emplace(setup(p.parent_path().empty() ? fs::path(".") : p.parent_path(), p.filename().string(), report));
  } catch (const IoError& e) {
    throw Failure(e.what());
  }
  if (!read->ok()) throw Failure("control file " + control + ": " + read->status().text());
  const Ctrl& ctrl = **read;
  ControlFile c;
  for (const Receptor& r : ctrl.receptors) {
    c.x.push_back(r.x);
    c.y.push_back(r.y);
    c.x_m.push_back(r.xm);
    c.y_m.push_back(r.ym);
  }
  c.box = nominal_box(c.x, c.y);
  c.species = fixed(ctrl.aerspec, 12);
  for (const dataset::OutputType t : ctrl.types) c.types.emplace_back(dataset::traits(t).keyword);
  c.flux_factor = ctrl.ffactor;
  for (const SourceLocation& src : ctrl.sources) c.sources.push_back(source_place(src));
  for (const PostfileName& f : ctrl.aernam) {
    c.postfiles.push_back(f.name);
    c.groups.push_back(f.group);
    c.plot.push_back(f.plot);
  }
  c.conc_factor = ctrl.cfactor;
  c.included = ctrl.included;
  c.flux_factor_f = ctrl.ffactor;
  return c;
}

std::optional<Time> stamp_end(std::int32_t kurdat) {
  const auto end = period_end(decode_kurdat(kurdat));
  if (!end.ok()) return std::nullopt;
  return *end;
}

const std::size_t kMaxPlotLine = plot::kMaxLine;

namespace {

bool all_digits(std::string_view f) {
  return !f.empty() && std::all_of(f.begin(), f.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::optional<PlotLine> read_plot_line(std::string_view line, std::size_t columns) {
  std::string_view f[8 + plot::kMaxColumns];
  const std::size_t c = std::clamp<std::size_t>(columns, 1, plot::kMaxColumns);
  if (line.size() > plot::kMaxLine || plot::split_fields(line, f, 8 + c) < 8 + c) return std::nullopt;
  double xy[2] = {};
  for (std::size_t i = 0; i < 5 + c; ++i) {
    const auto v = plot::read_number(f[i]);
    if (!v) return std::nullopt;
    if (i < 2) xy[i] = *v;
  }
  const std::string_view date = f[7 + c];
  PlotLine p{xy[0], xy[1], f[5 + c].substr(0, 8), f[6 + c].substr(0, 8), 0};
  if (!all_digits(date)) return std::nullopt;
  const auto [ptr, ec] = std::from_chars(date.data(), date.data() + date.size(), p.date);
  if (ec != std::errc{} || ptr != date.data() + date.size()) return std::nullopt;
  return p;
}

std::optional<std::size_t> plot_columns(std::string_view line) { return plot::value_columns(line); }

std::string cannot_read_line(std::int64_t n, std::string_view line) {
  return "cannot read Line " + std::to_string(n) + ": " + std::string(plot::trim(line.substr(0, 256)));
}

struct PlotFile::Reader {
  Reader(const std::filesystem::path& path, const std::string& name, std::span<const double> x_m,
         std::span<const double> y_m, std::size_t columns, std::size_t slice_)
      : source(path, "'" + name + "'"),
        reader(source, x_m, y_m, columns),
        receptors(std::min(x_m.size(), y_m.size())),
        slice(slice_) {}
  io::FileSource source;
  PlotReader reader;
  std::size_t receptors;
  std::size_t slice;
};

PlotFile::PlotFile(const std::filesystem::path& path, const std::string& name, std::span<const double> x_m,
                   std::span<const double> y_m, std::size_t columns, std::size_t slice)
    : reader_(std::make_unique<Reader>(path, name, x_m, y_m, columns, slice)) {}

PlotFile::~PlotFile() = default;

bool PlotFile::next(std::span<std::byte> out) {
  PlotReader& r = reader_->reader;
  switch (r.next()) {
    case PlotReader::Result::record:
      if (out.size() < 4 * reader_->receptors) throw Failure("no room for a record's values");
      r.convert_into(out.data(), 1.0F, reader_->slice);
      return true;
    case PlotReader::Result::end_of_file:
      return false;
    case PlotReader::Result::failure:
      break;
  }
  throw Failure(cannot_read_line(r.error_line(), r.error_text()));
}

std::int32_t PlotFile::stamp() const { return reader_->reader.kurdat(); }
std::int32_t PlotFile::kave() const { return reader_->reader.kave(); }
std::string_view PlotFile::group() const { return reader_->reader.grpid(); }
bool PlotFile::longer() const { return reader_->reader.longer(); }
std::int32_t PlotFile::first_misplaced() const { return reader_->reader.first_misplaced(); }
bool PlotFile::fixed_point_values() const { return reader_->reader.fixed_point_values(); }
bool PlotFile::ended_inside_record() const { return reader_->reader.ended_inside_record(); }

bool month_day(const Time& t, std::int32_t& mo, std::int32_t& dy) { return calendar_date(t.yr, t.jul, mo, dy); }

std::int64_t hours_between(const Time& a, const Time& b) { return deltt(a, b); }

std::optional<Time> from_date(std::int32_t yr, std::int32_t mo, std::int32_t dy, std::int32_t hr) {
  const auto jul = julday(yr, mo, dy);
  if (!jul.ok()) return std::nullopt;
  return Time{yr, *jul, hr};
}

Time add_hours(Time t, std::int32_t hours) {
  const auto moved = incr(t, hours);
  return moved.ok() ? *moved : t;
}

}  // namespace kestrel::inspect
