#include "convert/comp.hpp"

#include <array>
#include <cstring>
#include <memory>
#include <optional>

#include "convert/postfile.hpp"
#include "io/byte_order.hpp"
#include "dataset/dataset_file.hpp"
#include "dataset/header.hpp"
#include "dataset/period.hpp"
#include "datetime/datetime.hpp"
#include "base/free_line.hpp"
#include "base/text.hpp"
#include "io/names.hpp"

namespace kestrel {


namespace {

// Each expression is evaluated in double and rounded once to float.
float half_sum(float a, float b) { return static_cast<float>((double{a} + double{b}) * 0.5); }
float half_diff(float a, float b) { return static_cast<float>((double{a} - double{b}) * 0.5); }

std::string postfile_shown(const std::string& aernam) { return std::string(trim_right(aernam)); }

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
      if (deltt(prev_.yr, prev_.jul, prev_.hr, end.yr, end.jul, end.hr) != 1) ++not_following_;
    }
    if (r.kave() != 1) not_hourly_ = true;
    if (r.longer()) longer_ = true;
    prev_ = end;
    ++count_;
  }

  void report(Channels& ch, const std::string& name) const {
    if (mixed_groups_) ch.warn("WARNING: " + name + " holds records of more than one source group");
    if (not_hourly_) ch.warn("WARNING: " + name + " holds records whose averaging period is not 1 hour");
    if (not_following_ > 0) {
      ch.warn("WARNING: " + name + " holds " + std::to_string(not_following_) +
              " periods that do not follow the one before by one hour (missing or repeated hours)");
    }
    if (longer_) {
      ch.warn("WARNING: " + name +
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
bool period_from_postfiles(const Ctrl& ctrl, Channels& ch, const std::filesystem::path& dir, DateHour& start,
                           DateHour& end, Halt132& halt132) {
  for (std::int32_t k = 0; k < ctrl.nfil; ++k) {
    const std::string shown = postfile_shown(ctrl.aernam[static_cast<std::size_t>(k)]);
    io::FileSource src(resolve_name(dir, shown, "POSTFILE"), "POSTFILE '" + shown + "'");
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
    start = {s1.iyr, 0, s1.ihr};
    end = {s2.iyr, 0, s2.ihr};
    julday(ch.list(), s1.iyr, s1.imo, s1.idy, start.jul, halt132);
    if (!halt132.normal()) return false;
    julday(ch.list(), s2.iyr, s2.imo, s2.idy, end.jul, halt132);
    return halt132.normal();
  }
  constexpr std::string_view msg = "Halted in COMP:  no run period: no STARTEND and no records";
  halt132.set(msg, true);
  ch.to_list(free_line(msg));
  return false;
}

std::optional<RunPeriod> run_period(const Ctrl& ctrl, Channels& ch, const std::filesystem::path& dir,
                                    Halt132& halt132) {
  DateHour start{ctrl.isyr, ctrl.isjul, ctrl.ishr};
  DateHour end{ctrl.ieyr, ctrl.iejul, ctrl.iehr};
  if (!ctrl.lstartend && !period_from_postfiles(ctrl, ch, dir, start, end, halt132)) return std::nullopt;
  RunPeriod p;
  p.begin = start;
  incr(ch.list(), p.begin.yr, p.begin.jul, p.begin.hr, -1, halt132);
  if (!halt132.normal()) return std::nullopt;
  p.irlg = static_cast<std::int32_t>(deltt(p.begin.yr, p.begin.jul, p.begin.hr, end.yr, end.jul, end.hr));
  return p;
}

enum class FileResult { done, halted };

// One POSTFILE into one dataset.
// Buffers that serve every POSTFILE and dataset of the run.
struct Buffers {
  explicit Buffers(std::int32_t nrecin)
      : size(PostfileReader::buffer_for(nrecin)), read(std::make_unique_for_overwrite<std::byte[]>(size)) {
    // The largest record is the receptor record of the header.
    write.reserve_for(8 + 12 * static_cast<std::size_t>(nrecin > 0 ? nrecin : 0) + 4096);
  }
  std::size_t size;
  std::unique_ptr<std::byte[]> read;
  io::RecordWriter write;
};

FileResult convert_one(const Ctrl& ctrl, Channels& ch, const std::filesystem::path& dir, const std::string& shown,
                       const dataset::HeaderArgs& header, const dataset::PeriodSource& source, Buffers& buffers,
                       Halt132& halt132) {
  const std::filesystem::path post = resolve_name(dir, shown, "POSTFILE");
  io::FileSource src(post, "POSTFILE '" + shown + "'");
  std::filesystem::path gdx = post;
  gdx += ".gdx";
  dataset::DatasetFile ds(gdx, display(gdx, dir), buffers.write);
  auto& io8 = ds.records();
  dataset::wrout1(io8, header);

  PostfileReader reader(src, ctrl.nrecin, shown, ch, std::span<std::byte>(buffers.read.get(), buffers.size));
  SeriesCheck series;
  const auto nvalues = static_cast<std::size_t>(ctrl.nrecin);
  for (;;) {
    const auto result = reader.next(halt132);
    if (result == PostfileReader::Result::failure) {
      ds.close();
      return FileResult::halted;
    }
    if (result == PostfileReader::Result::end_of_file) break;

    const DateHour end = period_end(ch.list(), reader.stamp(), halt132);
    DateHour begin = end;
    if (halt132.normal()) incr(ch.list(), begin.yr, begin.jul, begin.hr, -1, halt132);
    if (!halt132.normal()) {
      // The dataset keeps what was written before the halt.
      ds.close();
      return FileResult::halted;
    }
    dataset::write_period_head(io8, begin, end, source);
    io8.begin().text(header.speclev, 15);
    reader.convert_into(io8.grow(4 * nvalues));
    io8.end();
    series.add(reader, end);
  }
  if (reader.ended_inside_record()) {
    ch.warn("WARNING: " + shown + " ends inside a record; its incomplete last record was not converted");
  }
  series.report(ch, shown);
  ds.close();
  return FileResult::done;
}

}  // namespace

DateHour period_end(std::ostream& io, const Stamp& stamp, Halt132& halt132) {
  DateHour end{stamp.iyr, 0, stamp.ihr};
  julday(io, stamp.iyr, stamp.imo, stamp.idy, end.jul, halt132);
  if (halt132.normal() && end.hr == 24) {
    end.hr = 23;
    incr(io, end.yr, end.jul, end.hr, 1, halt132);
  }
  return end;
}

ReceptorBox receptor_box(const Ctrl& ctrl) {
  ReceptorBox b;
  if (ctrl.nrecin < 1) return b;
  b.xmin = b.xmax = ctrl.xrecin[0];
  b.ymin = b.ymax = ctrl.yrecin[0];
  for (std::size_t i = 1; i < static_cast<std::size_t>(ctrl.nrecin); ++i) {
    const float x = ctrl.xrecin[i];
    const float y = ctrl.yrecin[i];
    if (x < b.xmin) b.xmin = x;
    if (x > b.xmax) b.xmax = x;
    if (y < b.ymin) b.ymin = y;
    if (y > b.ymax) b.ymax = y;
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

void comp(const Ctrl& ctrl, const Qa& qa, Channels& ch, const std::filesystem::path& dir, Halt132& halt132) {
  const std::string speclev = fixed(ctrl.aerspec, 12) + "  1";
  const ReceptorBox box = receptor_box(ctrl);
  const auto period = run_period(ctrl, ch, dir, halt132);
  if (!period) return;

  const auto n = static_cast<std::size_t>(ctrl.nrecin);
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
  header.cfactor = cfactor;
  header.xrec = std::span<const float>(ctrl.xrecin.data(), n);
  header.yrec = std::span<const float>(ctrl.yrecin.data(), n);
  header.zrec = std::span<const float>(ctrl.zrecin.data(), n);
  header.ver = qa.ver;
  header.level = qa.level;
  header.speclev = speclev;
  header.csrcnam = fixed("TOTAL", 16);
  header.atitle = ctrl.atitle;
  const dataset::PeriodSource source{box.xc, box.yc};
  Buffers buffers(ctrl.nrecin);

  for (std::int32_t k = 0; k < ctrl.nfil; ++k) {
    const std::string& aernam = ctrl.aernam[static_cast<std::size_t>(k)];
    ch.to_both(FreeLine().text("Processing: ").text(fixed(aernam, 132)).str());
    if (convert_one(ctrl, ch, dir, postfile_shown(aernam), header, source, buffers, halt132) == FileResult::halted) return;
  }
}

}  // namespace kestrel
