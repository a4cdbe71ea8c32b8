#include "inspect/inspect.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "base/io_error.hpp"
#include "convert/warnings.hpp"
#include "dataset/join_list.hpp"
#include "io/platform.hpp"
#include "inspect/check/check.hpp"
#include "inspect/draw/svg.hpp"
#include "inspect/maps.hpp"
#include "inspect/origin.hpp"
#include "inspect/outputs.hpp"
#include "inspect/failure.hpp"
#include "inspect/format.hpp"
#include "inspect/options.hpp"
#include "inspect/reading/readers.hpp"
#include "inspect/reading/records.hpp"
#include "inspect/report.hpp"
#include "inspect/units.hpp"

namespace kestrel::inspect {

namespace {

namespace fs = std::filesystem;

// The POSTFILE's stamps and groups, known after its records are read.
void add_record_fields(Summary& s, std::int32_t lo, std::int32_t hi) {
  s.fields.emplace_back("stamps", std::to_string(lo) + " to " + std::to_string(hi));
  std::string groups;
  for (const auto& g : s.groups) groups += (groups.empty() ? "" : ", ") + g;
  s.fields.emplace_back("source groups", groups);
  if (s.periods > 0) {
    s.json_fields.emplace_back("first_stamp", lo);
    s.json_fields.emplace_back("last_stamp", hi);
  }
  s.json_fields.emplace_back("source_groups", std::vector<std::string>(s.groups.begin(), s.groups.end()));
  // One averaging time, as AERMOD writes POSTFILEs, is a number like a dataset's.
  const std::vector<std::int32_t> averages(s.averages.begin(), s.averages.end());
  s.json_fields.emplace_back("averaging_h", averages.empty()      ? Json(nullptr)
                                            : averages.size() == 1 ? Json(averages.front())
                                                                   : Json(averages));
}

// How a formatted POSTFILE wrote its values, known after its records are read.
void add_plot_fields(Summary& s) {
  if (s.periods == 0) return;
  s.fields.emplace_back("values written", s.plot.fixed_point ? "with 5 decimals (F13.5)" : "with exponents");
  s.json_fields.emplace_back("fixed_point_values", s.plot.fixed_point);
}

// The statistics asked for, for one group of the file; exceed's threshold
// from the unit shown to the tool's own.
std::vector<Statistic> statistics_for(const Summary& s, std::span<const StatAsked> asked_stats, const std::string& unit) {
  std::vector<Statistic> out;
  const double to_own = 1.0 / own_to_shown(s, shown_unit(s, unit));
  for (const StatAsked& asked : asked_stats) {
    out.emplace_back(asked, static_cast<std::size_t>(s.layout.nrec), quantity_of(s), asked.threshold * to_own);
  }
  return out;
}

// The surface file of the run `file` came from: --met, else the ME SURFFILE
// of its control file (--control, or the one beside it whose POSTFILE line
// names it); nothing, with `why`, when none is to be found.
std::optional<SurfaceHours> surface_for(const Options& o, const std::string& file, std::string& why) {
  std::string control = o.control;
  if (control.empty() && o.met.empty()) {
    if (auto origin = origin_beside(file)) control = origin->control_name;
  }
  return analysis::surface_of_run(o.met, control, why);
}

// Reads the file's periods into its statistics, writing CSV rows on the way;
// each period's calm or missing mark is looked up once, for all of them.
void tally(Summary& s, CsvOut& csv, std::span<const StatAsked> asked_stats, const std::string& unit,
           const HourMarks& marks) {
  std::optional<HourCheck> hours;
  if (s.run_begin) hours.emplace(*s.run_begin, s.run_length);
  const auto nrec = static_cast<std::size_t>(s.layout.nrec);
  const double to_own = s.layout.to_own;
  std::int32_t lo = std::numeric_limits<std::int32_t>::max(), hi = std::numeric_limits<std::int32_t>::min();
  std::vector<ReceptorStat>* table = nullptr;
  std::vector<Statistic>* asked = nullptr;
  std::vector<double> own(nrec);
  std::string table_group;
  const PeriodVisitor visit = [&](const Period& p) {
    ++s.periods;
    if (!s.first) s.first = p.end;
    s.last = p.end;
    if (hours) hours->add(p.end);
    std::string group = s.source;
    if (!s.layout.dataset) {
      group = shown(p.group);
      s.groups.insert(group);
      s.averages.insert(p.kave);
      lo = std::min(lo, p.stamp);
      hi = std::max(hi, p.stamp);
    }
    if (table == nullptr || group != table_group) {
      table = &s.by_group[group];
      table->resize(nrec);
      asked = &s.statistics[group];
      if (asked->empty()) *asked = statistics_for(s, asked_stats, unit);
      table_group = group;
    }
    for (std::size_t k = 0; k < nrec; ++k) {
      const double v = p.value(k);
      s.stats.add(v, p.end, static_cast<std::int32_t>(k + 1));
      own[k] = v * to_own;
      (*table)[k].add(own[k], p.end);
      csv.row(s, p, k, v);
    }
    if (asked->empty()) return;
    const HourMark mark = marks.at(p.end);
    for (Statistic& st : *asked) st.add(p.end, mark, own);
  };
  if (s.layout.plot) {
    s.plot = scan_plot(s, visit);
    s.ended_inside = s.plot.ended_inside;
  } else {
    s.ended_inside = !scan(s, visit);
  }
  for (auto& [group, list] : s.statistics) {
    for (Statistic& st : list) st.finish();
  }
  if (hours) s.hours = hours->result();
  if (!s.layout.dataset) add_record_fields(s, lo, hi);
  if (s.layout.plot) add_plot_fields(s);
}

// Warnings, worded as kestrel's, on what reading the file found.
void warn(const Summary& s, bool control, std::ostream& err) {
  const std::string holds = "WARNING: " + s.file + " holds ";
  if (s.plot.misplaced != 0) err << misplaced_warning(s.file, s.plot.misplaced) << "\n";
  if (s.ended_inside) err << ended_inside_warning(s.file) << "\n";
  for (const auto& [group, list] : s.statistics) {
    for (const Statistic& st : list) {
      if (!st.years()) continue;
      const std::string w = st.years()->warning(st.asked().name);
      if (w.empty()) continue;
      err << "WARNING: " << s.file << (s.statistics.size() > 1 ? " (group " + group + ")" : std::string()) << ": " << w
          << "\n";
    }
  }
  if (s.plot.longer && control) {
    err << longer_warning(s.file) << "\n";
  } else if (s.plot.longer) {
    err << holds << "records with more lines than its first one; only the first " << count_of(s.layout.nrec, "line")
        << " of each were read\n";
  }
}

// Where a POSTFILE's values of the chosen type stand: the control file's
// MODELOPT lists the types in the records' order.
TypeChoice type_choice(const Options& o, const ControlFile* c) {
  TypeChoice t;
  // Without a control file a formatted POSTFILE's own column line tells.
  t.type = o.type;
  if (c == nullptr) return t;
  t.sets = c->types.size();
  const auto at = o.type.empty() ? c->types.begin() : std::find(c->types.begin(), c->types.end(), o.type);
  if (at == c->types.end()) throw Failure("the control file's MODELOPT has no " + o.type);
  t.type = *at;
  t.slice = static_cast<std::size_t>(at - c->types.begin());
  // AERMOD's hourly deposition: per second in g/m2/s, then in ug/m2 per hour.
  if (t.type != "CONC") t.to_own = c->flux_factor * 3600.0 * 1.0e6;
  return t;
}

CsvColumns csv_columns(const Options& o) {
  CsvColumns c;
  c.unit = o.unit;
  c.file = o.files.size() > 1;
  for (const auto& f : o.files) {
    std::error_code ec;
    if (!fs::is_directory(f, ec) && !is_dataset(f, f)) c.group = true;
  }
  return c;
}

int inspect_files(const Options& o, std::ostream& out, std::ostream& err, std::string& current) {
  Receptors control;
  std::string species;
  std::optional<ControlFile> control_file;
  if (!o.control.empty()) {
    current = o.control;
    control_file = read_control_file(o.control);
    control = receptors_of(*control_file);
    species = shown(control_file->species);
  }
  const TypeChoice type = type_choice(o, control_file ? &*control_file : nullptr);
  const CsvColumns columns = o.csv || o.receptors_csv ? csv_columns(o) : CsvColumns{};
  std::vector<StatAsked> asked_stats;
  for (const std::string& name : o.stats) asked_stats.push_back(parse_stat(name));
  CsvOut csv(o.csv ? &out : nullptr, columns);
  csv.header();
  if (o.receptors_csv) print_receptors_header(columns, asked_stats, out);
  std::vector<Json> docs;
  for (std::size_t i = 0; i < o.files.size(); ++i) {
    current = o.files[i];
    Summary s = open_file(current, o.real, o.receptors, control, type);
    if (!s.layout.dataset) s.species = species;
    shown_unit(s, o.unit);  // a unit that does not fit the file fails before it is read
    std::optional<SurfaceHours> surface;
    const bool needs_marks =
        std::any_of(asked_stats.begin(), asked_stats.end(), [](const StatAsked& a) { return a.needs_marks(); });
    // Only the blocks and periods need the hours: the 1-hour ranks are the data's own.
    std::string why;
    if (needs_marks || (!o.met.empty() && !asked_stats.empty())) surface = surface_for(o, current, why);
    s.marks_known = surface.has_value();
    tally(s, csv, asked_stats, o.unit, HourMarks(surface ? &*surface : nullptr));
    if (!surface && needs_marks) {
      err << "WARNING: " << s.file << ": " << why << ": " << analysis::kMarksUnknown
          << " (--met FILE names the surface file)\n";
    }
    warn(s, control.known(), err);
    // The pictures first: a picture that cannot be written leaves no summary behind.
    if (o.map()) write_maps(o, s, control_file);
    if (!o.svg_series.empty()) write_series(s, o.svg_series, o.receptor);
    if (o.json) {
      docs.push_back(summary_json(s, o.unit));
    } else if (o.receptors_csv) {
      print_receptors(s, columns, out);
    } else if (!o.csv) {
      if (i > 0) out << "\n";
      print_summary(s, o.unit, out);
      // A joined dataset says what it was joined from.
      if (s.layout.dataset) {
        if (const auto list = dataset::read_join_list(io::path_from_utf8(current))) {
          out << "  joined by kestrel-join " << list->front() << ", list file " << current << ".kst:\n";
          for (std::size_t k = 1; k < list->size(); ++k) out << "   " << (*list)[k] << "\n";
        }
      }
    }
  }
  if (o.json) print_json(docs.size() == 1 ? docs.front() : Json(docs), out);
  return 0;
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
    check_outputs(o);
    if (!o.check.empty()) return run_check(o.check, o.control, o.files, out, current);
    return inspect_files(o, out, err, current);
  } catch (const Failure& e) {
    err << "kestrel-inspect: " << current << ": " << e.what() << "\n";
  } catch (const IoError& e) {
    err << "kestrel-inspect: " << e.what() << "\n";
  }
  return 2;
}

}  // namespace kestrel::inspect
