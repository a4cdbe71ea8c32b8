#include "convert/comp.hpp"

#include <algorithm>
#include <optional>
#include <tuple>
#include <utility>

#include "base/free_line.hpp"
#include "base/interrupt.hpp"
#include "base/io_error.hpp"
#include "convert/plot_reader.hpp"
#include "datetime/datetime.hpp"
#include "io/byte_order.hpp"
#include "io/names.hpp"

namespace kestrel {

namespace {

// Each expression is evaluated in double and rounded once to float.
float half_sum(float a, float b) { return static_cast<float>((double{a} + double{b}) * 0.5); }
float half_diff(float a, float b) { return static_cast<float>((double{a} - double{b}) * 0.5); }

struct RunPeriod {
  DateHour begin;  // the hour before the run's first hour
  std::int32_t irlg = 0;
};

// The stamps of a POSTFILE's first and last records, up to the first that
// cannot be read (the conversion halts there); none when it has none, and
// then the halt its conversion would meet, if any.
struct Stamps {
  std::optional<std::pair<std::int32_t, std::int32_t>> range;
  std::optional<Status> failure;
};

Stamps stamp_range(const std::filesystem::path& dir, const PostfileName& p, const Places& places,
                   std::size_t numtyp) {
  io::FileSource src(io::resolve_name(dir, p.name, "POSTFILE"), file_label("POSTFILE", p.name));
  Stamps out;
  const auto add = [&](std::int32_t kurdat) {
    stop_if_interrupted();
    if (!out.range) out.range.emplace(kurdat, kurdat);
    out.range->second = kurdat;
  };
  if (p.plot) {
    // On the caller's thread alone: a scheduler counts every thread it runs on.
    PlotBuffers one_thread(PlotBuffers::kSegment, PlotBuffers::kSlots, false);
    PlotReader reader(src, places.x, places.y, one_thread, numtyp);
    auto r = PlotReader::Result::record;
    while ((r = reader.next()) == PlotReader::Result::record) add(reader.kurdat());
    if (r == PlotReader::Result::failure && !out.range) out.failure = plot_failure(reader, p.name, numtyp);
    return out;
  }
  PostfileReader reader(src, places.x.size(), p.name, numtyp);
  auto r = PostfileReader::Result::record;
  while ((r = reader.next()) == PostfileReader::Result::record) add(reader.kurdat());
  if (r == PostfileReader::Result::failure && !out.range) {
    // The lines its conversion writes: the retry, then the halt's.
    const Status halt = reader.failure();
    Status s = Status::halt(halt.message(), halt.see_list());
    for (const std::string& l : reader.retry_notes()) s.line(l);
    for (const std::string& l : halt.lines()) s.line(l);
    out.failure = std::move(s);
  }
  return out;
}

// Without ME STARTEND the first POSTFILE that holds a record gives the run's
// start (its first stamp) and end (its last stamp). When none holds one, what
// stopped the first POSTFILE's reading is the halt.
Result<std::pair<DateHour, DateHour>> period_from_postfiles(const Ctrl& ctrl, const std::filesystem::path& dir,
                                                            const Places& places) {
  std::optional<Status> first_failure;
  for (const PostfileName& p : ctrl.aernam) {
    Stamps stamps = stamp_range(dir, p, places, ctrl.types.size());
    if (!stamps.range) {
      if (!first_failure && stamps.failure) first_failure = std::move(stamps.failure);
      continue;
    }
    const auto& range = stamps.range;
    const Stamp s1 = decode_kurdat(range->first);
    const Stamp s2 = decode_kurdat(range->second);
    auto jul1 = julday(s1.iyr, s1.imo, s1.idy);
    if (!jul1.ok()) return std::move(jul1).status();
    auto jul2 = julday(s2.iyr, s2.imo, s2.idy);
    if (!jul2.ok()) return std::move(jul2).status();
    return std::pair{DateHour{s1.iyr, *jul1, s1.ihr}, DateHour{s2.iyr, *jul2, s2.ihr}};
  }
  if (first_failure) return std::move(*first_failure);
  constexpr std::string_view msg = "Halted in COMP:  no run period: no STARTEND and no records";
  return Status::halt(std::string(msg), true).line(free_line(msg));
}

}  // namespace

Status plot_failure(const PlotReader& reader, const std::string& name, std::size_t numtyp) {
  constexpr std::string_view msg = "ERROR reading formatted AERMOD file";
  Status halt = Status::halt(std::string(msg), false)
                    .line(free_line(std::string(msg) + ": " + name))
                    .line(free_line("Line " + std::to_string(reader.error_line()) + ": " +
                                    std::string(reader.error_text())));
  // A line of another run's output types says so.
  const auto columns = plot::value_columns(reader.error_text());
  if (columns && *columns != numtyp) {
    halt.line(free_line("Its lines hold " + std::to_string(*columns) + " value columns; CO MODELOPT selects " +
                        std::to_string(numtyp) + " output type" + (numtyp == 1 ? "" : "s")));
  }
  return halt;
}

namespace {

Result<RunPeriod> run_period(const Ctrl& ctrl, const std::filesystem::path& dir, const Places& places) {
  DateHour start{ctrl.isyr, ctrl.isjul, ctrl.ishr};
  DateHour end{ctrl.ieyr, ctrl.iejul, ctrl.iehr};
  if (!ctrl.lstartend) {
    auto found = period_from_postfiles(ctrl, dir, places);
    if (!found.ok()) return std::move(found).status();
    std::tie(start, end) = *found;
  }
  auto begin = incr(start, -1);
  if (!begin.ok()) return std::move(begin).status();
  return RunPeriod{*begin, static_cast<std::int32_t>(deltt(*begin, end))};
}

}  // namespace

Result<DateHour> period_end(const Stamp& stamp) {
  auto jul = julday(stamp.iyr, stamp.imo, stamp.idy);
  if (!jul.ok()) return std::move(jul).status();
  const DateHour end{stamp.iyr, *jul, stamp.ihr};
  // Hour 24 is hour 0 of the next day.
  if (end.hr == 24) return incr({end.yr, end.jul, 23}, 1);
  return end;
}

ReceptorBox receptor_box(std::span<const Receptor> receptors) {
  std::vector<float> x(receptors.size()), y(receptors.size());
  for (std::size_t i = 0; i < receptors.size(); ++i) {
    x[i] = receptors[i].x;
    y[i] = receptors[i].y;
  }
  return receptor_box(x, y);
}

ReceptorBox receptor_box(std::span<const float> x, std::span<const float> y) {
  ReceptorBox b;
  const std::size_t n = std::min(x.size(), y.size());
  if (n == 0) return b;
  b.xmin = b.xmax = x[0];
  b.ymin = b.ymax = y[0];
  for (std::size_t i = 1; i < n; ++i) {
    if (x[i] < b.xmin) b.xmin = x[i];
    if (x[i] > b.xmax) b.xmax = x[i];
    if (y[i] < b.ymin) b.ymin = y[i];
    if (y[i] > b.ymax) b.ymax = y[i];
  }
  b.xc = half_sum(b.xmin, b.xmax);
  b.yc = half_sum(b.ymin, b.ymax);
  b.delxby2 = half_diff(b.xmax, b.xmin);
  b.delyby2 = half_diff(b.ymax, b.ymin);
  b.dgrid = b.delxby2 > b.delyby2 ? b.delxby2 : b.delyby2;
  b.x0 = static_cast<float>(double{b.xc} - double{b.dgrid});
  b.y0 = static_cast<float>(double{b.yc} - double{b.dgrid});
  return b;
}

std::vector<std::string> check_postfiles(const Ctrl& ctrl, const std::filesystem::path& dir) {
  std::vector<std::string> failures;
  for (const PostfileName& p : ctrl.aernam) {
    try {
      const io::FileSource src(io::resolve_name(dir, p.name, "POSTFILE"), file_label("POSTFILE", p.name));
    } catch (const IoError& e) {
      failures.emplace_back(e.what());
    }
  }
  return failures;
}

Result<std::unique_ptr<CompPlan>> plan_comp(const Ctrl& ctrl, const std::filesystem::path& dir) {
  auto plan = std::make_unique<CompPlan>(ctrl, dir);
  auto period = run_period(ctrl, dir, plan->places);
  if (!period.ok()) return std::move(period).status();
  plan->header.iyrb = period->begin.yr;
  plan->header.ijulb = period->begin.jul;
  plan->header.ihrb = period->begin.hr;
  plan->header.irlg = period->irlg;
  return plan;
}

Status comp(const Ctrl& ctrl, const std::filesystem::path& dir, Report& report) {
  if (const auto failures = check_postfiles(ctrl, dir); !failures.empty()) throw IoError(failures.front());
  auto plan = plan_comp(ctrl, dir);
  if (!plan.ok()) return std::move(plan).status();
  for (const PostfileJob& job : postfile_jobs(ctrl, dir)) {
    Converted c = convert_postfile(**plan, job, report, true);
    for (FinishedDataset& d : c.datasets) {
      d.file->commit();
      if (!d.line.empty()) report.note(d.line);
    }
    if (!c.status.ok()) return std::move(c.status);
  }
  if (ctrl.aernam.empty()) report.warn("WARNING: the control file names no 1-hour POSTFILE; nothing was converted");
  return {};
}

}  // namespace kestrel
