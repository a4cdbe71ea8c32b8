#include <algorithm>
#include <cstdio>

#include "dataset/header.hpp"
#include "inspect/failure.hpp"
#include "inspect/format.hpp"
#include "inspect/records.hpp"
#include "inspect/summary.hpp"
#include "io/byte_order.hpp"

namespace kestrel::inspect {

namespace {

dataset::HeaderInfo header_of(Records& r) {
  try {
    return dataset::read_header(r.reader(), kMaxReceptors);
  } catch (const dataset::HeaderError& e) {
    throw Failure(e.what());
  }
}

std::string begin_text(const Time& begin) {
  const Time begin4{four_digit(begin.yr), begin.jul, begin.hr};
  std::int32_t mo = 0, dy = 0;
  if (month_day(begin4, mo, dy)) return readable(begin4);
  return "year " + std::to_string(begin.yr) + " day " + std::to_string(begin.jul) + " hour " + std::to_string(begin.hr);
}

std::string extent_text(const Receptors& r) {
  std::string extent = std::to_string(r.x.size());
  if (r.known()) {
    const auto [xmin, xmax] = std::minmax_element(r.x.begin(), r.x.end());
    const auto [ymin, ymax] = std::minmax_element(r.y.begin(), r.y.end());
    char buf[160];
    std::snprintf(buf, sizeof buf, " from (%.4f, %.4f) to (%.4f, %.4f) km", *xmin, *ymin, *xmax, *ymax);
    extent += buf;
  }
  return extent;
}

}  // namespace

Summary open_dataset(const std::filesystem::path& path, const std::string& name) {
  Summary s;
  s.path = path;
  s.file = name;
  s.kind = "dataset";
  s.unit = "g/m3";
  Records r(path, name);
  const dataset::HeaderInfo h = header_of(r);
  const Time begin{h.iyrb, h.ijulb, h.ihrb};
  s.run_begin = Time{four_digit(begin.yr), begin.jul, begin.hr};
  s.run_length = h.irlg;
  s.grid = {true, h.xorigkm, h.yorigkm, h.dxkm, h.nx, h.ny};
  s.receptors.x = h.xrec;
  s.receptors.y = h.yrec;
  s.layout = {true, 4, static_cast<std::int32_t>(h.xrec.size())};

  s.fields.emplace_back("dataset", shown(h.kind) + " version " + shown(h.version));
  s.fields.emplace_back("model", shown(h.model));
  s.fields.emplace_back("program", h.comments.empty() ? "" : shown(h.comments[0]));
  s.fields.emplace_back("begin", begin_text(begin));
  s.fields.emplace_back("run length", std::to_string(h.irlg) + " h");
  char grid[160];
  std::snprintf(grid, sizeof grid, "%d x %d cells of %.4g km from (%.4f, %.4f) km", s.grid.nx, s.grid.ny, s.grid.d,
                s.grid.x0, s.grid.y0);
  s.fields.emplace_back("nominal grid", grid);
  s.fields.emplace_back("receptors", extent_text(s.receptors));
  s.fields.emplace_back("species", shown(h.speclev.substr(0, 12)) + ", level " + shown(h.speclev.substr(12)));
  s.fields.emplace_back("title 1", shown(h.titles[0]));
  s.fields.emplace_back("title 2", shown(h.titles[1]));
  s.fields.emplace_back("title 3", shown(h.titles[2]));
  s.fields.emplace_back("source", shown(h.csrcnam));
  return s;
}

double Period::value(std::size_t k) const {
  return width == 8 ? io::get_f64(values.data() + 8 * k) : io::get_f32(values.data() + 4 * k);
}

void scan_dataset(const Summary& s, const PeriodVisitor& each) {
  Records r(s.path, s.file);
  header_of(r);
  const auto nrec = static_cast<std::size_t>(s.layout.nrec);
  for (;;) {
    const auto times = r.next(32, "a period's times record", true);
    if (times.empty()) return;
    Period p;
    p.end = {io::get_i32(times.data() + 16), io::get_i32(times.data() + 20), io::get_i32(times.data() + 24)};
    r.next(32, "a period's source record");
    p.values = r.next(15 + 4 * nrec, "a period's values record").subspan(15);
    each(p);
  }
}

}  // namespace kestrel::inspect
