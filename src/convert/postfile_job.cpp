#include "convert/postfile_job.hpp"

#include <cstdio>
#include <optional>
#include <span>
#include <system_error>

#include "base/free_line.hpp"
#include "base/interrupt.hpp"
#include "base/io_error.hpp"
#include "base/text.hpp"
#include "base/version.hpp"
#include "convert/comp.hpp"
#include "convert/plot_reader.hpp"
#include "convert/postfile.hpp"
#include "convert/series.hpp"
#include "convert/warnings.hpp"
#include "datetime/datetime.hpp"
#include "io/names.hpp"

namespace kestrel {

namespace {

std::string display(const std::filesystem::path& path, const std::filesystem::path& dir) {
  const auto rel = path.lexically_relative(dir);
  return rel.empty() ? path.string() : rel.string();
}

// Buffers that serve one job: its POSTFILE and its datasets, a writer each.
struct Buffers {
  Buffers(std::size_t nrecin, std::size_t numtyp, bool plot, bool second_thread)
      : size(PostfileReader::buffer_for(nrecin, numtyp)),
        read(std::make_unique_for_overwrite<std::byte[]>(plot ? 0 : size)) {
    write.reserve(numtyp);
    for (std::size_t t = 0; t < numtyp; ++t) {
      // The datasets share what one alone would have.
      write.emplace_back(io::RecordWriter::kDefaultFlush / numtyp);
      // The largest record is the receptor record of the header.
      write.back().reserve_for(8 + 12 * nrecin + 4096);
    }
    if (plot) plot_buffers.emplace(PlotBuffers::kSegment, PlotBuffers::kSlots, second_thread);
  }
  std::size_t size;
  std::unique_ptr<std::byte[]> read;
  std::optional<PlotBuffers> plot_buffers;
  std::vector<io::RecordWriter> write;
};

enum class Step { record, end, halt };

// An unformatted POSTFILE in the conversion loop's terms.
class UnformSource {
 public:
  UnformSource(io::ByteSource& src, std::size_t nrecin, std::size_t numtyp, const std::string& name, Buffers& buffers)
      : reader(src, nrecin, name, std::span<std::byte>(buffers.read.get(), buffers.size), numtyp) {}

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
  PlotSource(io::ByteSource& src, const Places& places, std::size_t numtyp, const std::string& name,
             const std::string& subject, Buffers& buffers)
      : reader(src, places.x, places.y, *buffers.plot_buffers, numtyp),
        name_(name),
        subject_(subject),
        numtyp_(numtyp) {}

  Step next(Report& report, Status& halt) {
    const auto result = reader.next();
    if (!noted_ && reader.fixed_point_values()) {
      report.note(free_line("Note: " + name_ + " holds values with 5 decimals; OU FILEFORM EXP keeps 6 significant digits"));
      noted_ = true;
    }
    if (result == PlotReader::Result::failure) {
      halt = plot_failure(reader, name_, numtyp_);
      return Step::halt;
    }
    if (result == PlotReader::Result::end_of_file) return Step::end;
    if (!warned_ && reader.first_misplaced() != 0) {
      report.warn(misplaced_warning(subject_, reader.first_misplaced()));
      warned_ = true;
    }
    return Step::record;
  }

  PlotReader reader;

 private:
  const std::string& name_;
  const std::string& subject_;
  std::size_t numtyp_;
  bool noted_ = false;
  bool warned_ = false;
};

// What a conversion writes into: the datasets and what their records share.
struct Target {
  std::span<const Output> outputs;
  std::span<const std::unique_ptr<dataset::DatasetFile>> files;  // one per output
  const dataset::PeriodSource& source;
  std::size_t nvalues;
  std::string_view group;  // empty: every record
};

// The records of one POSTFILE into the dataset's periods.
template <class Source>
Status convert_records(Source& in, const Target& out, Report& report, const PostfileJob& job, SeriesCheck& series) {
  for (;;) {
    Status halt;
    const Step step = in.next(report, halt);
    if (step == Step::halt) return halt;
    if (step == Step::end) break;
    report.reading(job.postfile.name, in.reader.position(), in.reader.size());
    if (!out.group.empty() && trim_right(in.reader.grpid()) != out.group) continue;
    auto end = period_end(decode_kurdat(in.reader.kurdat()));
    if (!end.ok()) return std::move(end).status();
    auto begin = incr(*end, -1);
    if (!begin.ok()) return std::move(begin).status();
    for (std::size_t k = 0; k < out.outputs.size(); ++k) {
      const Output& o = out.outputs[k];
      io::RecordWriter& io8 = out.files[k]->records();
      dataset::write_period_head(io8, *begin, *end, out.source);
      io8.begin().text(o.speclev, 15);
      in.reader.convert_into(io8.grow(4 * out.nvalues), o.factor, o.slice);
      io8.end();
    }
    series.add(in.reader.grpid(), in.reader.kave(), in.reader.longer(), *end);
  }
  report.read_done();
  if (in.reader.ended_inside_record()) report.warn(ended_inside_warning(job.subject));
  return {};
}

std::string period_text(const DateHour& t) {
  std::int32_t mo = 0;
  std::int32_t dy = 0;
  if (!calendar_date(t.yr, t.jul, mo, dy)) mo = dy = 0;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d", static_cast<int>(t.yr), static_cast<int>(mo),
                static_cast<int>(dy), static_cast<int>(t.hr));
  return buf;
}

}  // namespace

Places::Places(const Ctrl& ctrl) {
  x.reserve(ctrl.receptors.size());
  y.reserve(ctrl.receptors.size());
  for (const Receptor& r : ctrl.receptors) {
    x.push_back(r.xm);
    y.push_back(r.ym);
  }
}

CompPlan::CompPlan(const Ctrl& c, std::filesystem::path d) : ctrl(c), dir(std::move(d)), places(c) {
  const std::size_t n = ctrl.receptors.size();
  xrec.resize(n);
  yrec.resize(n);
  zrec.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    xrec[i] = ctrl.receptors[i].x;
    yrec[i] = ctrl.receptors[i].y;
    zrec[i] = ctrl.receptors[i].zelev;
  }
  const ReceptorBox box = receptor_box(ctrl.receptors);
  header.nx = 2;
  header.ny = 2;
  header.dxkm = box.dgrid;
  header.xorigkm = box.x0;
  header.yorigkm = box.y0;
  header.xrec = xrec;
  header.yrec = yrec;
  header.zrec = zrec;
  header.ver = fixed(mver, 12);
  header.level = fixed(mlevel, 12);
  header.csrcnam = fixed("TOTAL", 16);
  for (std::size_t t = 0; t < 2; ++t) {
    header.atitle[t] = ctrl.atitle[t] ? fixed(*ctrl.atitle[t], kTitleWidth) : std::string(kTitleWidth, '\0');
  }
  source = dataset::PeriodSource{box.xc, box.yc};
}

std::vector<PostfileJob> postfile_jobs(const Ctrl& ctrl, const std::filesystem::path& dir) {
  std::vector<PostfileJob> jobs;
  jobs.reserve(ctrl.aernam.size());
  for (const PostfileName& p : ctrl.aernam) {
    PostfileJob job{p, io::resolve_name(dir, p.name, "POSTFILE"), {}, p.name, 0, {}};
    std::error_code ec;
    const auto size = std::filesystem::file_size(job.path, ec);
    job.size = ec ? 0 : size;
    jobs.push_back(std::move(job));
  }
  // Lines that name one file (as found on disk) each take their own group.
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    for (std::size_t k = 0; k < jobs.size(); ++k) {
      std::error_code ec;
      if (k == i || !std::filesystem::equivalent(jobs[i].path, jobs[k].path, ec)) continue;
      jobs[i].group = jobs[i].postfile.group;
      jobs[i].subject = jobs[i].postfile.name + " (group " + jobs[i].group + ")";
      break;
    }
  }
  for (PostfileJob& job : jobs) {
    std::filesystem::path base = job.path;
    if (!job.group.empty()) base += "." + job.group;
    for (std::size_t k = 0; k < ctrl.types.size(); ++k) {
      const dataset::OutputType t = ctrl.types[k];
      std::filesystem::path path = base;
      path += dataset::traits(t).suffix;
      job.outputs.push_back({t, k, ctrl.factor(t), fixed(ctrl.aerspec, 12) + std::string(dataset::traits(t).level),
                             path, display(path, dir)});
    }
  }
  return jobs;
}

std::string crc_line(const std::string& name, const io::FileCrc& crc) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(crc.crc));
  return "CRC-32 of " + name + ": " + hex + ", " + std::to_string(crc.size) + " bytes";
}

std::string dataset_line(const std::string& name, std::int64_t periods, std::size_t receptors, const DateHour& first,
                         const DateHour& last) {
  std::string s = "Dataset " + name + ": ";
  if (periods == 0) return s + "no periods of " + count_of(receptors, "receptor");
  return s + count_of(periods, "period") + " of " + count_of(receptors, "receptor") +
         ", ending " + period_text(first) + " to " + period_text(last);
}

Converted convert_postfile(const CompPlan& plan, const PostfileJob& job, Report& report, bool second_thread) {
  const Ctrl& ctrl = plan.ctrl;
  report.progress(FreeLine().text("Processing: ").text(fixed(job.postfile.name, kNameWidth)).str());
  io::FileSource src(job.path, file_label("POSTFILE", job.postfile.name));
  const std::size_t numtyp = ctrl.types.size();
  Buffers buffers(ctrl.receptors.size(), numtyp, job.postfile.plot, second_thread);
  // Beside a concentration dataset alone, the list says which dataset holds what.
  const bool name_each = job.outputs.size() > 1 || job.outputs[0].type != dataset::OutputType::conc;
  std::vector<std::unique_ptr<dataset::DatasetFile>> files;
  std::vector<std::string> names;
  for (std::size_t k = 0; k < job.outputs.size(); ++k) {
    const Output& o = job.outputs[k];
    if (name_each) {
      const auto& t = dataset::traits(o.type);
      report.progress(free_line("Writing: " + o.shown + " (" + std::string(t.what) + ", " + std::string(t.unit) + ")"));
    }
    files.push_back(std::make_unique<dataset::DatasetFile>(o.path, o.shown, buffers.write[k]));
    dataset::HeaderArgs h = plan.header;
    h.type = o.type;
    h.cfactor = o.factor;
    h.speclev = o.speclev;
    dataset::wrout1(files.back()->records(), h);
    names.push_back(o.shown);
  }

  const Target target{job.outputs, files, plan.source, ctrl.receptors.size(), job.group};
  SeriesCheck series;
  Converted out;
  if (job.postfile.plot) {
    PlotSource in(src, plan.places, numtyp, job.postfile.name, job.subject, buffers);
    out.status = convert_records(in, target, report, job, series);
  } else {
    UnformSource in(src, ctrl.receptors.size(), numtyp, job.postfile.name, buffers);
    out.status = convert_records(in, target, report, job, series);
    // Records of the wrong shape convert into nothing: the previous datasets stay.
    if (in.reader.misread()) return out;
  }
  if (out.status.ok()) {
    series.report(report, job.subject, plan.header.irlg, std::span(names).first(files.size() > 1 ? names.size() : 0));
  }
  // An interrupted run puts nothing into place.
  stop_if_interrupted();
  for (std::size_t k = 0; k < files.size(); ++k) {
    files[k]->finish();
    std::string line;
    std::string check;
    std::optional<DatasetAccount> account;
    if (out.status.ok()) {
      line = free_line(dataset_line(names[k], series.count(), ctrl.receptors.size(), series.first(), series.last()));
      check = free_line(crc_line(names[k], files[k]->written()));
      account = DatasetAccount{names[k], job.outputs[k].type, series.count(), ctrl.receptors.size(), series.first(),
                               series.last()};
    }
    out.datasets.push_back({std::move(files[k]), std::move(line), std::move(check), std::move(account)});
  }
  return out;
}

}  // namespace kestrel
