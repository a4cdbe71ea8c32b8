#include "calls.hpp"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "base/interrupt.hpp"
#include "base/io_error.hpp"
#include "base/report.hpp"
#include "base/text.hpp"
#include "convert/postfile_table.hpp"
#include "dataset/dataset_reader.hpp"
#include "analysis/met.hpp"
#include "analysis/statistic.hpp"
#include "inspect/failure.hpp"
#include "inspect/origin.hpp"
#include "inspect/units.hpp"
#include "io/byte_order.hpp"
#include "setup/params.hpp"
#include "setup/setup.hpp"

namespace kestrel::python {

namespace {

namespace fs = std::filesystem;

// Days from 1970-01-01 to the first of January of `y` (proleptic Gregorian,
// as numpy's datetime64 counts).
std::int64_t days_to_year(std::int64_t y) noexcept {
  const std::int64_t z = y - 1;
  return 365 * (y - 1970) + (z / 4 - z / 100 + z / 400) - (1969 / 4 - 1969 / 100 + 1969 / 400);
}

// A two-digit year as a dataset's header may hold it gets the POSTFILEs' window.
std::int32_t four_digit(std::int32_t yr) noexcept { return yr >= 100 ? yr : yr >= 50 ? 1900 + yr : 2000 + yr; }

// An I/O failure names its file; one that is not there is a missing file.
[[noreturn]] void io_failure(const IoError& e, const std::vector<std::string>& paths) {
  std::error_code ec;
  for (const std::string& p : paths) {
    if (!fs::exists(fs::path(p), ec)) throw PyFailure{PyFailure::Kind::missing, e.what()};
  }
  throw PyFailure{PyFailure::Kind::file, e.what()};
}

// A halt's text as the list file words it: its lines, else its message.
std::string halt_text(const Status& s) {
  std::string out;
  for (const std::string& l : s.lines()) {
    const std::string_view t = trim(l);
    if (t.empty()) continue;
    if (!out.empty()) out += "; ";
    out += t;
  }
  return out.empty() ? s.message() : out;
}

// Whether a file begins as records do: a length marker, that many bytes,
// the same marker again. Text does not.
bool framed_records(const std::string& path) {
  io::FileSource probe(fs::path(path), file_label("POSTFILE", path));
  std::byte head[4] = {};
  if (probe.read_at(0, head) != 4) return false;
  const std::uint32_t n = io::get_le32(head);
  std::byte tail[4] = {};
  if (n == 0 || n > probe.size() || probe.read_at(4 + std::uint64_t{n}, tail) != 4) return false;
  return io::get_le32(tail) == n;
}

template <class F>
auto guarded(const std::vector<std::string>& paths, F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const IoError& e) {
    io_failure(e, paths);
  } catch (const dataset::DatasetError& e) {
    throw PyFailure{PyFailure::Kind::input, "'" + paths.front() + "' " + e.what()};
  } catch (const inspect::Failure& e) {
    throw PyFailure{PyFailure::Kind::input, e.what()};
  } catch (const Interrupted&) {
    throw PyFailure{PyFailure::Kind::interrupted, "interrupted"};
  } catch (const std::bad_alloc&) {
    throw PyFailure{PyFailure::Kind::file, "out of memory"};
  }
}

}  // namespace

std::int64_t hours_since_epoch(const DateHour& t) noexcept {
  return (days_to_year(four_digit(t.yr)) + t.jul - 1) * 24 + t.hr;
}

DateHour date_hour_of(std::int64_t hours) noexcept {
  const std::int64_t days = hours >= 0 ? hours / 24 : -((-hours + 23) / 24);
  const std::int64_t hr = hours - days * 24;
  auto y = static_cast<std::int64_t>(1970 + days / 366);
  while (days_to_year(y + 1) <= days) ++y;
  while (days_to_year(y) > days) --y;
  return {static_cast<std::int32_t>(y), static_cast<std::int32_t>(days - days_to_year(y) + 1),
          static_cast<std::int32_t>(hr)};
}

DatasetData read_dataset(const std::string& path) {
  return guarded({path}, [&] {
    io::FileSource src(fs::path(path), file_label("dataset", path));
    dataset::DatasetReader reader(src, static_cast<std::int32_t>(MXREC));
    // A cut file is refused as the programs refuse it.
    reader.check_end();
    DatasetData d;
    d.header = reader.header();
    d.periods = reader.periods();
    const std::size_t nrec = reader.receptors();
    const auto n = static_cast<std::size_t>(d.periods);
    d.values = std::make_unique_for_overwrite<float[]>(std::max<std::size_t>(n * nrec, 1));
    d.ends.resize(n);
    d.begins.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
      if (k % 64 == 0) stop_if_interrupted();
      const dataset::PeriodHead h =
          reader.read(static_cast<std::int64_t>(k), std::span<float>(d.values.get() + k * nrec, nrec));
      d.ends[k] = hours_since_epoch(h.end);
      d.begins[k] = hours_since_epoch(h.begin);
    }
    return d;
  });
}

PostfileData read_postfile(const std::string& path, const std::string& control, const std::string& type) {
  return guarded({path, control}, [&] {
    const fs::path c(control);
    SilentReport report;
    Result<Ctrl> ctrl = setup(c.parent_path().empty() ? fs::path(".") : c.parent_path(), c.filename().string(), report);
    if (!ctrl.ok()) throw PyFailure{PyFailure::Kind::input, "control file " + control + ": " + halt_text(ctrl.status())};
    const auto t = std::find_if(dataset::kOutputTypes.begin(), dataset::kOutputTypes.end(),
                                [&](dataset::OutputType o) { return dataset::traits(o).keyword == type; });
    if (t == dataset::kOutputTypes.end()) throw PyFailure{PyFailure::Kind::input, "no output type " + type};
    PostfileData d;
    for (const dataset::OutputType o : ctrl->types) d.types.emplace_back(dataset::traits(o).keyword);
    if (std::find(ctrl->types.begin(), ctrl->types.end(), *t) == ctrl->types.end()) {
      std::string selected;
      for (const std::string& k : d.types) selected += (selected.empty() ? "" : " ") + k;
      throw PyFailure{PyFailure::Kind::input,
                      "control file " + control + ": CO MODELOPT selects " + selected + ", not " + type};
    }
    // Formatted or not as the control file's POSTFILE line for this file
    // says, else as its first bytes show: text starts with a printable byte.
    bool plot = false;
    bool named = false;
    std::error_code ec;
    for (const PostfileName& p : ctrl->aernam) {
      if (fs::equivalent(c.parent_path().empty() ? fs::path(p.name) : c.parent_path() / p.name, fs::path(path), ec)) {
        plot = p.plot;
        named = true;
        break;
      }
    }
    if (!named) plot = !framed_records(path);
    PostfileTable table;
    const Status s = read_postfile_table(*ctrl, fs::path(path), path, plot, *t, table);
    if (!s.ok()) throw PyFailure{PyFailure::Kind::input, halt_text(s)};
    for (const Receptor& r : ctrl->receptors) {
      d.x.push_back(r.x);
      d.y.push_back(r.y);
      d.z.push_back(r.zelev);
    }
    d.values = std::move(table.values);
    d.ends.reserve(table.ends.size());
    for (const DateHour& e : table.ends) d.ends.push_back(hours_since_epoch(e));
    d.group = std::move(table.group);
    d.groups = std::move(table.groups);
    d.kave = std::move(table.kave);
    d.warnings = std::move(table.warnings);
    d.species = std::string(trim(ctrl->aerspec));
    for (const auto& title : ctrl->atitle) d.titles.push_back(title ? std::string(trim(*title)) : std::string());
    d.factor = ctrl->factor(*t);
    d.type = type;
    return d;
  });
}

namespace {

// The surface file of the run, found as kestrel-inspect finds it: `met`,
// else the ME SURFFILE of `control`, else of the control file beside
// `source` whose POSTFILE line names it.
std::optional<analysis::SurfaceHours> surface_for(const std::string& met, std::string control,
                                                  const std::string& source, std::string& why) {
  if (met.empty() && control.empty() && !source.empty()) {
    if (auto origin = inspect::origin_beside(source)) control = origin->control_name;
  }
  return analysis::surface_of_run(met, control, why);
}

}  // namespace

StatisticData statistic(const float* values, std::int64_t periods, std::int64_t receptors,
                        const std::vector<std::int64_t>& ends, const StatisticAsked& a) {
  return guarded({""}, [&] {
    using analysis::StatKind;
    const analysis::StatAsked asked = analysis::parse_stat(a.name);
    const double own_to_shown = inspect::unit_factor(a.own_unit, a.shown);
    const bool flux = a.own_unit == "ug/m2/h";
    const auto q = flux ? analysis::Quantity::deposition : analysis::Quantity::concentration;
    const auto nrec = static_cast<std::size_t>(receptors);
    std::optional<analysis::SurfaceHours> surface;
    std::string why;
    if (!a.met.empty() || asked.needs_marks()) {
      surface = surface_for(a.met, a.control, a.source, why);
    }
    const analysis::HourMarks marks(surface ? &*surface : nullptr);
    // NaT is INT64's minimum: no end outside the calendar's years is turned into a date.
    static const std::int64_t first = days_to_year(1) * 24, last = days_to_year(10000) * 24;
    for (std::size_t k = 0; k < ends.size(); ++k) {
      if (ends[k] < first || ends[k] >= last) {
        throw inspect::Failure("time " + std::to_string(k) + " is no period end in the years 1 to 9999 (NaT?)");
      }
    }
    analysis::Statistic st(asked, nrec, q, asked.threshold / own_to_shown);
    std::vector<double> own(nrec);
    for (std::int64_t k = 0; k < periods; ++k) {
      if (k % 256 == 0) stop_if_interrupted();
      const float* row = values + static_cast<std::size_t>(k) * nrec;
      for (std::size_t i = 0; i < nrec; ++i) own[i] = static_cast<double>(row[i]) * a.to_own;
      const DateHour end = date_hour_of(ends[static_cast<std::size_t>(k)]);
      st.add(end, marks.at(end), own);
    }
    st.finish();
    StatisticData d;
    d.title = asked.title(q);
    d.column = asked.column();
    d.dated = asked.dated();
    d.flagged = asked.kind == StatKind::avg;
    const bool count = asked.kind == StatKind::exceed;
    const bool total = flux && (asked.kind == StatKind::avg || asked.kind == StatKind::avg_years ||
                                asked.kind == StatKind::period || asked.kind == StatKind::annual);
    // A deposition's totals: the hour's ug/m2/h times its hour is ug/m2.
    const bool grams = a.shown == "g/m2/s";
    d.unit = count ? "hours" : total ? (grams ? "g/m2" : "ug/m2") : a.shown;
    const double factor = count ? 1.0 : total ? (grams ? 1.0e-6 : 1.0) : own_to_shown;
    for (std::size_t i = 0; i < nrec; ++i) {
      const analysis::StatValue v = st.at(i);
      d.values.push_back(v.value * factor);
      d.ends.push_back(v.end ? hours_since_epoch(*v.end) : kNoEnd);
      d.flags.push_back(v.flag == analysis::Flag::none ? std::string() : std::string(1, static_cast<char>(v.flag)));
    }
    if (st.years() && !st.years()->warning(asked.name).empty()) d.warnings.push_back(st.years()->warning(asked.name));
    if (!surface && asked.needs_marks()) d.warnings.push_back(why + ": " + analysis::kMarksUnknown + " (met= names the surface file)");
    return d;
  });
}

}  // namespace kestrel::python
