#include <algorithm>
#include <cstdio>
#include <initializer_list>

#include "base/io_error.hpp"
#include "dataset/dataset_reader.hpp"
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

void add_json(Summary& s, const dataset::HeaderInfo& h) {
  auto add = [&](const char* k, Json v) { s.json_fields.emplace_back(k, std::move(v)); };
  add("dataset", shown(h.kind));
  add("version", shown(h.version));
  add("model", shown(h.model));
  add("program", h.comments.empty() ? std::string() : shown(h.comments[0]));
  add("begin", is_date(*s.run_begin) ? Json(iso(*s.run_begin)) : Json(nullptr));
  add("run_length_h", h.irlg);
  add("averaging_h", json_number(h.iavg * (h.nsecdt / 3600.0)));
  add("nominal_grid", json_object({{"nx", h.nx}, {"ny", h.ny}, {"cell_km", h.dxkm}, {"x0_km", h.xorigkm},
                                   {"y0_km", h.yorigkm}}));
  add("receptors", h.xrec.size());
  if (s.receptors.known()) add("extent_km", extent_json(s.receptors));
  add("species", s.species);
  add("level", shown(h.speclev.substr(12)));
  add("titles", std::vector<std::string>{shown(h.titles[0]), shown(h.titles[1]), shown(h.titles[2])});
  add("source", s.source);
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
  // The one dataset reader, which the join and Python read with too: each
  // period where it lies, its records' markers and label checked.
  io::FileSource source(s.path, file_label("", s.file));
  try {
    dataset::DatasetReader reader(source, kMaxReceptors);
    for (std::int64_t k = 0; k < reader.periods(); ++k) {
      const auto v = reader.view(k);
      Period p;
      p.end = {v.head.end.yr, v.head.end.jul, v.head.end.hr};
      p.values = v.values;
      each(p);
    }
    reader.check_end();
  } catch (const dataset::DatasetError& e) {
    throw Failure(e.what());
  }
}

}  // namespace kestrel::inspect
