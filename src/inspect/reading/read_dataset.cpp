#include <algorithm>
#include <cstdio>
#include <initializer_list>

#include "dataset/header.hpp"
#include "inspect/failure.hpp"
#include "inspect/format.hpp"
#include "inspect/reading/readers.hpp"
#include "inspect/reading/records.hpp"
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

bool is_date(const Time& t) {
  std::int32_t mo = 0, dy = 0;
  return month_day(t, mo, dy);
}

std::string begin_text(const Time& begin) {
  const Time begin4{four_digit(begin.yr), begin.jul, begin.hr};
  if (is_date(begin4)) return readable(begin4);
  return "year " + std::to_string(begin.yr) + " day " + std::to_string(begin.jul) + " hour " + std::to_string(begin.hr);
}

std::string json_object(std::initializer_list<std::pair<const char*, double>> items) {
  std::string o = "{";
  for (const auto& [k, v] : items) o += (o.size() > 1 ? ", " : "") + json_string(k) + ": " + json_number(v);
  return o + "}";
}

void add_json(Summary& s, const dataset::HeaderInfo& h) {
  auto add = [&](const char* k, std::string v) { s.json_fields.emplace_back(k, std::move(v)); };
  add("dataset", json_string(shown(h.kind)));
  add("version", json_string(shown(h.version)));
  add("model", json_string(shown(h.model)));
  add("program", json_string(h.comments.empty() ? "" : shown(h.comments[0])));
  add("begin", is_date(*s.run_begin) ? json_string(iso(*s.run_begin)) : "null");
  add("run_length_h", std::to_string(h.irlg));
  add("averaging_h", json_number(h.iavg * (h.nsecdt / 3600.0)));
  add("nominal_grid", json_object({{"nx", h.nx}, {"ny", h.ny}, {"cell_km", h.dxkm}, {"x0_km", h.xorigkm},
                                   {"y0_km", h.yorigkm}}));
  add("receptors", std::to_string(h.xrec.size()));
  if (s.receptors.known()) add("extent_km", extent_json(s.receptors));
  add("species", json_string(s.species));
  add("level", json_string(shown(h.speclev.substr(12))));
  std::string titles = "[";  // appended: GCC 12 at -O3 sees overlap in "[" + std::string
  titles.append(json_string(shown(h.titles[0]))).append(", ").append(json_string(shown(h.titles[1])));
  titles.append(", ").append(json_string(shown(h.titles[2]))).append("]");
  add("titles", titles);
  add("source", json_string(s.source));
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
  s.layout.to_own = 1.0e6;
  // Flux datasets: per second in the file, per hour in the tool's own unit.
  if (shown(h.kind) == "DFLX.DAT" || shown(h.kind) == "WFLX.DAT") {
    s.unit = "g/m2/s";
    s.own_unit = "ug/m2/h";
    s.layout.to_own = 1.0e6 * 3600.0;
  }
  s.species = shown(h.speclev.substr(0, 12));
  // The level after the species tells total deposition from dry.
  const std::string level = shown(h.speclev.substr(12));
  if (s.own_unit == "ug/m2/h") s.deposition = level == "TF" ? "total deposition" : level == "WF" ? "wet deposition" : "dry deposition";
  s.source = shown(h.csrcnam);
  const std::int64_t seconds = static_cast<std::int64_t>(h.iavg) * h.nsecdt;
  if (seconds > 0 && seconds % 3600 == 0) s.averages.insert(static_cast<std::int32_t>(seconds / 3600));

  s.fields.emplace_back("dataset", shown(h.kind) + " version " + shown(h.version));
  s.fields.emplace_back("model", shown(h.model));
  s.fields.emplace_back("program", h.comments.empty() ? "" : shown(h.comments[0]));
  s.fields.emplace_back("begin", begin_text(begin));
  s.fields.emplace_back("run length", std::to_string(h.irlg) + " h");
  std::string grid = std::to_string(s.grid.nx);
  grid.append(" x ").append(std::to_string(s.grid.ny)).append(" cells of ").append(general(s.grid.d, 4));
  grid.append(" km from (").append(fixed4(s.grid.x0)).append(", ").append(fixed4(s.grid.y0)).append(") km");
  s.fields.emplace_back("nominal grid", grid);
  s.fields.emplace_back("receptors", extent_text(s.receptors));
  s.fields.emplace_back("species", shown(h.speclev.substr(0, 12)) + ", level " + shown(h.speclev.substr(12)));
  s.fields.emplace_back("title 1", shown(h.titles[0]));
  s.fields.emplace_back("title 2", shown(h.titles[1]));
  s.fields.emplace_back("title 3", shown(h.titles[2]));
  s.fields.emplace_back("source", s.source);
  add_json(s, h);
  return s;
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
