#include "convert/comp.hpp"

#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "convert/postfile.hpp"
#include "io/byte_order.hpp"
#include "dataset/dataset_file.hpp"
#include "dataset/header.hpp"
#include "dataset/period.hpp"
#include "datetime/datetime.hpp"
#include "base/free_line.hpp"
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

// Checks that a dataset makes one unbroken hourly series of one source group.
class SeriesCheck {
 public:
  void add(const PostfileReader& r, const DateHour& end) {
    if (count_ == 0) {
      std::memcpy(&grp0_, r.grpid().data(), sizeof grp0_);
    } else {
      std::uint64_t grp = 0;
      std::memcpy(&grp, r.grpid().data(), sizeof grp);
      if (grp != grp0_) mixed_groups_ = true;
      if (deltt(prev_, end) != 1) ++not_following_;
    }
    if (r.kave() != 1) not_hourly_ = true;
    if (r.longer()) longer_ = true;
    prev_ = end;
    ++count_;
  }

  [[nodiscard]] std::int64_t count() const noexcept { return count_; }

  void report(Report& report, const std::string& name) const {
    if (mixed_groups_) report.warn("WARNING: " + name + " holds records of more than one source group");
    if (not_hourly_) report.warn("WARNING: " + name + " holds records whose averaging period is not 1 hour");
    if (not_following_ > 0) {
      report.warn("WARNING: " + name + " holds " + std::to_string(not_following_) +
              " periods that do not follow the one before by one hour (missing or repeated hours)");
    }
    if (longer_) {
      report.warn("WARNING: " + name +
                  " holds records with more values than the control file has receptors; only the first values were "
              "converted");
    }
  }

 private:
  std::int64_t count_ = 0;
  std::uint64_t grp0_ = 0;  // the first record's 8-character group id
  DateHour prev_;
  bool mixed_groups_ = false;
  bool not_hourly_ = false;
  bool longer_ = false;
  std::int64_t not_following_ = 0;
};

struct RunPeriod {
  DateHour begin;  // the hour before the run's first hour
  std::int32_t irlg = 0;
};

// Without ME STARTEND the first POSTFILE that holds a record gives the run's
// start (its first stamp) and end (its last stamp).
Result<std::pair<DateHour, DateHour>> period_from_postfiles(const Ctrl& ctrl, const std::filesystem::path& dir) {
  for (const auto& [shown, plot] : ctrl.aernam) {
    io::FileSource src(io::resolve_name(dir, shown, "POSTFILE"), file_label("POSTFILE", shown));
    io::RecordReader reader(src);
    std::byte head[4];
    bool any = false;
    std::int32_t first = 0;
    std::int32_t last = 0;
    for (;;) {
      const auto outcome = reader.read(head);
      if (outcome == io::ReadOutcome::end_of_file) break;
      if (outcome == io::ReadOutcome::error) continue;  // too short to hold a stamp
      last = io::get_i32(head);
      if (!any) first = last;
      any = true;
    }
    if (!any) continue;
    const Stamp s1 = decode_kurdat(first);
    const Stamp s2 = decode_kurdat(last);
    auto jul1 = julday(s1.iyr, s1.imo, s1.idy);
    if (!jul1.ok()) return std::move(jul1).status();
    auto jul2 = julday(s2.iyr, s2.imo, s2.idy);
    if (!jul2.ok()) return std::move(jul2).status();
    return std::pair{DateHour{s1.iyr, *jul1, s1.ihr}, DateHour{s2.iyr, *jul2, s2.ihr}};
  }
  constexpr std::string_view msg = "Halted in COMP:  no run period: no STARTEND and no records";
  return Status::halt(std::string(msg), true).line(free_line(msg));
}

Result<RunPeriod> run_period(const Ctrl& ctrl, const std::filesystem::path& dir) {
  DateHour start{ctrl.isyr, ctrl.isjul, ctrl.ishr};
  DateHour end{ctrl.ieyr, ctrl.iejul, ctrl.iehr};
  if (!ctrl.lstartend) {
    auto found = period_from_postfiles(ctrl, dir);
    if (!found.ok()) return std::move(found).status();
    std::tie(start, end) = *found;
  }
  auto begin = incr(start, -1);
  if (!begin.ok()) return std::move(begin).status();
  return RunPeriod{*begin, static_cast<std::int32_t>(deltt(*begin, end))};
}

// One POSTFILE into one dataset.
// Buffers that serve every POSTFILE and dataset of the run.
struct Buffers {
  explicit Buffers(std::size_t nrecin)
      : size(PostfileReader::buffer_for(nrecin)), read(std::make_unique_for_overwrite<std::byte[]>(size)) {
    // The largest record is the receptor record of the header.
    write.reserve_for(8 + 12 * nrecin + 4096);
  }
  std::size_t size;
  std::unique_ptr<std::byte[]> read;
  io::RecordWriter write;
};

// One POSTFILE into one dataset. A halt inside the POSTFILE keeps what was
// written before it.
Status convert_one(const Ctrl& ctrl, Report& report, const std::filesystem::path& dir, const std::string& shown,
                   const dataset::HeaderArgs& header, const dataset::PeriodSource& source, Buffers& buffers) {
  const std::filesystem::path post = io::resolve_name(dir, shown, "POSTFILE");
  io::FileSource src(post, file_label("POSTFILE", shown));
  std::filesystem::path gdx = post;
  gdx += ".gdx";
  dataset::DatasetFile ds(gdx, display(gdx, dir), buffers.write);
  auto& io8 = ds.records();
  dataset::wrout1(io8, header);

  const std::size_t nvalues = ctrl.receptors.size();
  PostfileReader reader(src, nvalues, shown, std::span<std::byte>(buffers.read.get(), buffers.size));
  SeriesCheck series;
  bool retry_noted = false;
  for (;;) {
    const auto result = reader.next();
    if (!retry_noted && !reader.real8()) {
      for (const auto& line : reader.retry_notes()) report.note(line);
      retry_noted = true;
    }
    if (result == PostfileReader::Result::failure) {
      ds.close();
      return reader.failure();
    }
    if (result == PostfileReader::Result::end_of_file) break;

    auto end = period_end(reader.stamp());
    if (!end.ok()) {
      ds.close();
      return std::move(end).status();
    }
    auto begin = incr(*end, -1);
    if (!begin.ok()) {
      ds.close();
      return std::move(begin).status();
    }
    dataset::write_period_head(io8, *begin, *end, source);
    io8.begin().text(header.speclev, 15);
    reader.convert_into(io8.grow(4 * nvalues), ctrl.cfactor);
    io8.end();
    series.add(reader, *end);
    report.reading(shown, reader.position(), reader.size());
  }
  report.read_done();
  if (reader.ended_inside_record()) {
    report.warn("WARNING: " + shown + " ends inside a record; its incomplete last record was not converted");
  }
  series.report(report, shown);
  if (series.count() == 0) {
    report.warn("WARNING: " + shown + " holds no records");
  } else if (series.count() != header.irlg) {
    report.warn("WARNING: " + shown + " holds " + std::to_string(series.count()) + " periods but the run period has " +
                std::to_string(header.irlg) + " hours");
  }
  ds.close();
  return {};
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
  auto period = run_period(ctrl, dir);
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
    if (Status s = convert_one(ctrl, report, dir, aernam.name, header, source, buffers); !s.ok()) return s;
  }
  if (ctrl.aernam.empty()) report.warn("WARNING: the control file names no 1-hour POSTFILE; nothing was converted");
  return {};
}

}  // namespace kestrel
