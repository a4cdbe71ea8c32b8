#include "inspect/inspect.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/io_error.hpp"
#include "inspect/failure.hpp"
#include "inspect/format.hpp"
#include "inspect/options.hpp"
#include "inspect/records.hpp"
#include "inspect/report.hpp"
#include "inspect/svg.hpp"

namespace kestrel::inspect {

namespace {

namespace fs = std::filesystem;

Receptors control_receptors(const std::string& control) {
  const ControlFile c = read_control_file(control);
  Receptors r;
  r.x = c.x;
  r.y = c.y;
  r.grid = {true, c.x0, c.y0, c.d, 2, 2};
  return r;
}

// Reads the file's periods into its statistics, writing CSV rows on the way.
void tally(Summary& s, CsvOut& csv) {
  std::optional<HourCheck> hours;
  if (s.run_begin) hours.emplace(*s.run_begin, s.run_length);
  const auto nrec = static_cast<std::size_t>(s.layout.nrec);
  // The map is in g/m3; a POSTFILE holds micrograms per cubic metre.
  const double to_map = s.layout.dataset ? 1.0 : 1.0e-6;
  s.highest.assign(nrec, -std::numeric_limits<double>::infinity());
  std::int32_t lo = std::numeric_limits<std::int32_t>::max(), hi = std::numeric_limits<std::int32_t>::min();
  const bool whole = scan(s, [&](const Period& p) {
    ++s.periods;
    if (!s.first) s.first = p.end;
    s.last = p.end;
    if (hours) hours->add(p.end);
    if (!s.layout.dataset) {
      s.groups.insert(shown(p.group));
      lo = std::min(lo, p.stamp);
      hi = std::max(hi, p.stamp);
    }
    for (std::size_t k = 0; k < nrec; ++k) {
      const double v = p.value(k);
      const auto receptor = static_cast<std::int32_t>(k + 1);
      s.stats.add(v, p.end, receptor);
      if (std::isfinite(v)) s.highest[k] = std::max(s.highest[k], v * to_map);
      csv.row(p.end, receptor, s.receptors, v);
    }
  });
  if (!whole) throw Failure("ends inside or before a record");
  if (hours) s.hours = hours->result();
  if (!s.layout.dataset) {
    s.fields.emplace_back("stamps", std::to_string(lo) + " to " + std::to_string(hi));
    std::string groups;
    for (const auto& g : s.groups) groups += (groups.empty() ? "" : ", ") + g;
    s.fields.emplace_back("source groups", groups);
  }
}

}  // namespace

int run_inspect(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  for (const auto& a : args) {
    if (a == "-h" || a == "--help") {
      out << usage();
      return 0;
    }
    if (a == "--version") {
      out << version_line() << "\n";
      return 0;
    }
  }
  Options o;
  try {
    o = parse_args(args);
  } catch (const Failure& e) {
    err << "kestrel-inspect: " << e.what() << " (see kestrel-inspect --help)\n";
    return 2;
  }
  std::string current;
  try {
    Receptors control;
    if (!o.control.empty()) {
      current = o.control;
      control = control_receptors(o.control);
    }
    CsvOut csv(o.csv ? &out : nullptr);
    if (o.csv) out << "time,receptor,x_km,y_km,value\n";
    if (o.json && o.files.size() > 1) out << "[";
    for (std::size_t i = 0; i < o.files.size(); ++i) {
      current = o.files[i];
      const fs::path path(current);
      std::error_code ec;
      if (fs::is_directory(path, ec)) throw Failure("is a folder");
      Summary s = is_dataset(path, current) ? open_dataset(path, current)
                                            : open_postfile(path, current, o.real, o.receptors, control);
      tally(s, csv);
      if (o.json) {
        if (i > 0) out << ", ";
        print_json(s, out);
      } else if (!o.csv) {
        if (i > 0) out << "\n";
        print_summary(s, out);
      }
      if (!o.svg.empty()) write_map(s, o.svg);
    }
    if (o.json) out << (o.files.size() > 1 ? "]\n" : "\n");
  } catch (const Failure& e) {
    err << "kestrel-inspect: " << current << ": " << e.what() << "\n";
    return 2;
  } catch (const IoError& e) {
    err << "kestrel-inspect: " << e.what() << "\n";
    return 2;
  }
  return 0;
}

}  // namespace kestrel::inspect
