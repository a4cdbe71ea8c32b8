#include "convert/comp.hpp"

#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "convert/plot_reader.hpp"
#include "convert/postfile.hpp"
#include "convert/series.hpp"
#include "convert/warnings.hpp"
#include "io/byte_order.hpp"
#include "dataset/dataset_file.hpp"
#include "dataset/header.hpp"
#include "dataset/period.hpp"
#include "datetime/datetime.hpp"
#include "base/free_line.hpp"
#include "base/interrupt.hpp"
#include "base/io_error.hpp"
#include "base/text.hpp"
#include "base/version.hpp"
#include "io/names.hpp"

namespace kestrel {


namespace {

// Each expression is evaluated in double and rounded once to float.
float half_sum(float a, float b) { return static_cast<float>((double{a} + double{b}) * 0.5); }
float half_diff(float a, float b) { return static_cast<float>((double{a} - double{b}) * 0.5); }

std::string display(const std::filesystem::path& path, const std::filesystem::path& dir) {
  const auto rel = path.lexically_relative(dir);
  return rel.empty() ? path.string() : rel.string();
}

struct RunPeriod {
  DateHour begin;  // the hour before the run's first hour
  std::int32_t irlg = 0;
};

// The receptors' coordinates in metres, which formatted POSTFILEs repeat.
struct Places {
  explicit Places(const Ctrl& ctrl) {
    for (const Receptor& r : ctrl.receptors) {
      x.push_back(r.xm);
      y.push_back(r.ym);
    }
  }
  std::vector<double> x, y;
};

// The stamps of a POSTFILE's first and last records, up to the first that
// cannot be read (the conversion halts there); none when it has none.
std::optional<std::pair<std::int32_t, std::int32_t>> stamp_range(const std::filesystem::path& dir,
                                                                 const PostfileName& p, const Places& places) {
  io::FileSource src(io::resolve_name(dir, p.name, "POSTFILE"), file_label("POSTFILE", p.name));
  std::optional<std::pair<std::int32_t, std::int32_t>> range;
  const auto add = [&](std::int32_t kurdat) {
    stop_if_interrupted();
    if (!range) range.emplace(kurdat, kurdat);
    range->second = kurdat;
  };
  if (p.plot) {
    PlotReader reader(src, places.x, places.y);
    while (reader.next() == PlotReader::Result::record) add(reader.kurdat());
    return range;
  }
  PostfileReader reader(src, places.x.size(), p.name);
  while (reader.next() == PostfileReader::Result::record) add(reader.kurdat());
  return range;
}

// Without ME STARTEND the first POSTFILE that holds a record gives the run's
// start (its first stamp) and end (its last stamp).
Result<std::pair<DateHour, DateHour>> period_from_postfiles(const Ctrl& ctrl, const std::filesystem::path& dir,
                                                            const Places& places) {
  for (const PostfileName& p : ctrl.aernam) {
    const auto range = stamp_range(dir, p, places);
    if (!range) continue;
    const Stamp s1 = decode_kurdat(range->first);
    const Stamp s2 = decode_kurdat(range->second);
    auto jul1 = julday(s1.iyr, s1.imo, s1.idy);
    if (!jul1.ok()) return std::move(jul1).status();
    auto jul2 = julday(s2.iyr, s2.imo, s2.idy);
    if (!jul2.ok()) return std::move(jul2).status();
    return std::pair{DateHour{s1.iyr, *jul1, s1.ihr}, DateHour{s2.iyr, *jul2, s2.ihr}};
  }
  constexpr std::string_view msg = "Halted in COMP:  no run period: no STARTEND and no records";
  return Status::halt(std::string(msg), true).line(free_line(msg));
}

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

// Buffers that serve every POSTFILE and dataset of the run.
struct Buffers {
  explicit Buffers(std::size_t nrecin)
      : size(PostfileReader::buffer_for(nrecin)), read(std::make_unique_for_overwrite<std::byte[]>(size)) {
    // The largest record is the receptor record of the header.
    write.reserve_for(8 + 12 * nrecin + 4096);
  }
  std::size_t size;
  std::unique_ptr<std::byte[]> read;
  std::optional<PlotBuffers> plot;  // made at the first formatted POSTFILE
  io::RecordWriter write;
};

enum class Step { record, end, halt };

// An unformatted POSTFILE in the conversion loop's terms.
class UnformSource {
 public:
  UnformSource(io::ByteSource& src, std::size_t nrecin, const std::string& name, Buffers& buffers)
      : reader(src, nrecin, name, std::span<std::byte>(buffers.read.get(), buffers.size)) {}

  Step next(Report& report, Status& halt) {
    const auto result = reader.next();
    if (!retry_noted_ && !reader.real8()) {
      for (const auto& line : reader.retry_notes()) report.note(line);
      retry_noted_ = true;
    }
    if (result == PostfileReader::Result::failure) halt = reader.failure();
    return result == PostfileReader::Result::record ? Step::record
           : result == PostfileReader::Result::failure ? Step::halt
                                                       : Step::end;
  }

  PostfileReader reader;

 private:
  bool retry_noted_ = false;
};

// A formatted POSTFILE in the conversion loop's terms.
class PlotSource {
 public:
  PlotSource(io::ByteSource& src, const Places& places, const std::string& name, Buffers& buffers)
      : reader(src, places.x, places.y, buffers.plot ? *buffers.plot : buffers.plot.emplace()), name_(name) {}

  Step next(Report& report, Status& halt) {
    const auto result = reader.next();
    if (!noted_ && reader.fixed_point_values()) {
      report.note(free_line("Note: " + name_ + " holds values with 5 decimals; OU FILEFORM EXP keeps 6 significant digits"));
      noted_ = true;
    }
    if (result == PlotReader::Result::failure) {
      constexpr std::string_view msg = "ERROR reading formatted AERMOD file";
      halt = Status::halt(std::string(msg), false)
                 .line(free_line(std::string(msg) + ": " + name_))
                 .line(free_line("Line " + std::to_string(reader.error_line()) + ": " + std::string(reader.error_text())));
      return Step::halt;
    }
    if (result == PlotReader::Result::end_of_file) return Step::end;
    if (!warned_ && reader.first_misplaced() != 0) {
      report.warn(misplaced_warning(name_, reader.first_misplaced()));
      warned_ = true;
    }
    return Step::record;
  }

  PlotReader reader;

 private:
  const std::string& name_;
  bool noted_ = false;
  bool warned_ = false;
};

// What a conversion writes into: the dataset's records and what they share.
struct Target {
  io::RecordWriter& io8;
  const dataset::HeaderArgs& header;
  const dataset::PeriodSource& source;
  std::size_t nvalues;
  float factor;
};

// The records of one POSTFILE into the dataset's periods.
template <class Source>
Status convert_records(Source& in, const Target& out, Report& report, const std::string& shown, SeriesCheck& series) {
  for (;;) {
    Status halt;
    const Step step = in.next(report, halt);
    if (step == Step::halt) return halt;
    if (step == Step::end) break;
    auto end = period_end(decode_kurdat(in.reader.kurdat()));
    if (!end.ok()) return std::move(end).status();
    auto begin = incr(*end, -1);
    if (!begin.ok()) return std::move(begin).status();
    dataset::write_period_head(out.io8, *begin, *end, out.source);
    out.io8.begin().text(out.header.speclev, 15);
    in.reader.convert_into(out.io8.grow(4 * out.nvalues), out.factor);
    out.io8.end();
    series.add(in.reader.grpid(), in.reader.kave(), in.reader.longer(), *end);
    report.reading(shown, in.reader.position(), in.reader.size());
  }
  report.read_done();
  if (in.reader.ended_inside_record()) {
    report.warn(ended_inside_warning(shown));
  }
  return {};
}

// One POSTFILE into one dataset. A halt inside the POSTFILE keeps what was
// written before it.
Status convert_one(const Ctrl& ctrl, Report& report, const std::filesystem::path& dir, const PostfileName& p,
                   const Places& places, const dataset::HeaderArgs& header, const dataset::PeriodSource& source,
                   Buffers& buffers) {
  const std::string& shown = p.name;
  const std::filesystem::path post = io::resolve_name(dir, shown, "POSTFILE");
  io::FileSource src(post, file_label("POSTFILE", shown));
  std::filesystem::path gdx = post;
  gdx += ".gdx";
  dataset::DatasetFile ds(gdx, display(gdx, dir), buffers.write);
  dataset::wrout1(ds.records(), header);

  const Target target{ds.records(), header, source, ctrl.receptors.size(), ctrl.cfactor};
  SeriesCheck series;
  Status status;
  if (p.plot) {
    PlotSource in(src, places, shown, buffers);
    status = convert_records(in, target, report, shown, series);
  } else {
    UnformSource in(src, ctrl.receptors.size(), shown, buffers);
    status = convert_records(in, target, report, shown, series);
  }
  if (status.ok()) series.report(report, shown, header.irlg);
  // An interrupted run renames nothing into place.
  stop_if_interrupted();
  ds.close();
  return status;
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
  ReceptorBox b;
  if (receptors.empty()) return b;
  b.xmin = b.xmax = receptors[0].x;
  b.ymin = b.ymax = receptors[0].y;
  for (const Receptor& r : receptors.subspan(1)) {
    if (r.x < b.xmin) b.xmin = r.x;
    if (r.x > b.xmax) b.xmax = r.x;
    if (r.y < b.ymin) b.ymin = r.y;
    if (r.y > b.ymax) b.ymax = r.y;
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

Status comp(const Ctrl& ctrl, const std::filesystem::path& dir, Report& report) {
  const std::string speclev = fixed(ctrl.aerspec, 12) + "  1";
  const ReceptorBox box = receptor_box(ctrl.receptors);
  const Places places(ctrl);
  auto period = run_period(ctrl, dir, places);
  if (!period.ok()) return std::move(period).status();

  const std::size_t n = ctrl.receptors.size();
  std::vector<float> xrec(n), yrec(n), zrec(n);
  for (std::size_t i = 0; i < n; ++i) {
    xrec[i] = ctrl.receptors[i].x;
    yrec[i] = ctrl.receptors[i].y;
    zrec[i] = ctrl.receptors[i].zelev;
  }
  dataset::HeaderArgs header;
  header.nx = 2;
  header.ny = 2;
  header.dxkm = box.dgrid;
  header.xorigkm = box.x0;
  header.yorigkm = box.y0;
  header.iyrb = period->begin.yr;
  header.ijulb = period->begin.jul;
  header.ihrb = period->begin.hr;
  header.irlg = period->irlg;
  header.cfactor = ctrl.cfactor;
  header.xrec = xrec;
  header.yrec = yrec;
  header.zrec = zrec;
  header.ver = fixed(mver, 12);
  header.level = fixed(mlevel, 12);
  header.speclev = speclev;
  header.csrcnam = fixed("TOTAL", 16);
  for (std::size_t t = 0; t < 2; ++t) {
    header.atitle[t] = ctrl.atitle[t] ? fixed(*ctrl.atitle[t], kTitleWidth) : std::string(kTitleWidth, '\0');
  }
  const dataset::PeriodSource source{box.xc, box.yc};
  Buffers buffers(n);

  for (const PostfileName& aernam : ctrl.aernam) {
    report.progress(FreeLine().text("Processing: ").text(fixed(aernam.name, kNameWidth)).str());
    if (Status s = convert_one(ctrl, report, dir, aernam, places, header, source, buffers); !s.ok()) return s;
  }
  if (ctrl.aernam.empty()) report.warn("WARNING: the control file names no 1-hour POSTFILE; nothing was converted");
  return {};
}

}  // namespace kestrel
