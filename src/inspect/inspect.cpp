#include "inspect/inspect.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "convert/comp.hpp"
#include "convert/postfile.hpp"
#include "io/byte_order.hpp"
#include "io/record_io.hpp"
#include "datetime/datetime.hpp"
#include "base/io_error.hpp"
#include "base/version.hpp"
#include "base/report.hpp"
#include "base/text.hpp"
#include "setup/params.hpp"
#include "setup/setup.hpp"

namespace kestrel::inspect {

namespace {

namespace fs = std::filesystem;
using io::get_f32;
using io::get_f64;
using io::get_i32;
using io::ReadOutcome;

constexpr std::string_view kUsage =
    "usage: kestrel-inspect [--csv | --json] [--svg FILE] [--real4 | --real8] [--receptors N]\n"
    "                       [--control FILE] FILE...\n"
    "Summarises converted datasets (.gdx) and AERMOD unformatted POSTFILEs.\n"
    "  --csv           every value in long form: time (ISO 8601, period end), receptor, x_km, y_km, value\n"
    "                  (g/m3 for a dataset, ug/m3 for a POSTFILE)\n"
    "  --json          the summary as JSON\n"
    "  --svg FILE      a map of the receptors coloured by their highest value\n"
    "  --real4/--real8 the POSTFILE's value width (default: inferred)\n"
    "  --receptors N   the POSTFILE's receptor count (default: inferred)\n"
    "  --control FILE  the AERMOD control file: receptors and their coordinates\n";

// A failure with a message for the user; ends in exit status 2.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Options {
  bool csv = false;
  bool json = false;
  std::string svg;
  int real = 0;  // 0 = infer
  std::int32_t receptors = 0;
  std::string control;
  std::vector<std::string> files;
};

Options parse_args(std::span<const std::string> args) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw Failure(a + " needs a value");
      return args[++i];
    };
    if (a == "--csv") {
      o.csv = true;
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--svg") {
      o.svg = value();
    } else if (a == "--real4") {
      o.real = 4;
    } else if (a == "--real8") {
      o.real = 8;
    } else if (a == "--receptors") {
      const std::string& v = value();
      char* end = nullptr;
      const long n = std::strtol(v.c_str(), &end, 10);
      if (*end != '\0' || n < 1 || n > static_cast<long>(MXREC)) throw Failure("--receptors takes 1 to 10000");
      o.receptors = static_cast<std::int32_t>(n);
    } else if (a == "--control") {
      o.control = value();
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      throw Failure("unknown option " + a);
    } else {
      o.files.push_back(a);
    }
  }
  if (o.files.empty()) throw Failure("no file named");
  if (o.csv && o.json) throw Failure("--csv and --json exclude each other");
  if (!o.svg.empty() && o.files.size() != 1) throw Failure("--svg draws one file at a time");
  return o;
}

using Time = DateHour;

// A period's time as a calendar date: ISO 8601 for machines, or for people.
std::string format_time(const Time& t, bool iso8601) {
  std::int32_t mo = 0, dy = 0;
  char buf[64];
  if (!calendar_date(t.yr, t.jul, mo, dy)) {
    std::snprintf(buf, sizeof buf, "year %d day %d hour %d", t.yr, t.jul, t.hr);
  } else {
    std::snprintf(buf, sizeof buf, iso8601 ? "%04d-%02d-%02dT%02d:00" : "%04d-%02d-%02d hour %02d", t.yr, mo, dy, t.hr);
  }
  return buf;
}

std::string iso(const Time& t) { return format_time(t, true); }
std::string readable(const Time& t) { return format_time(t, false); }

std::string num(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.7g", v);
  return buf;
}

std::string json_string(std::string_view s) {
  std::string o = "\"";
  for (const char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      o.push_back('\\');
      o.push_back(c);
    } else if (u < 0x20 || u >= 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      o += buf;
    } else {
      o.push_back(c);
    }
  }
  return o + "\"";
}

std::string json_number(double v) { return std::isfinite(v) ? num(v) : "null"; }

// Texts from a file, shown without trailing blanks and with zero bytes (a
// title never set) as nothing.
std::string shown(std::string_view s) {
  std::string o(s);
  for (char& c : o) {
    if (c == '\0') c = ' ';
  }
  return std::string(trim(o));
}

struct Top {
  double value = 0;
  Time time;
  std::int32_t receptor = 0;  // 1-based
};

// Value statistics over a whole file, in one pass and fixed memory.
class Stats {
 public:
  void add(double v, const Time& t, std::int32_t receptor) {
    if (!std::isfinite(v)) {
      ++nonfinite_;
      return;
    }
    ++count_;
    sum_ += v;
    min_ = std::min(min_, v);
    max_ = std::max(max_, v);
    if (top_.size() < 10 || v > top_.back().value) {
      top_.push_back({v, t, receptor});
      std::stable_sort(top_.begin(), top_.end(), [](const Top& a, const Top& b) { return a.value > b.value; });
      if (top_.size() > 10) top_.pop_back();
    }
  }
  [[nodiscard]] std::int64_t count() const { return count_; }
  [[nodiscard]] std::int64_t nonfinite() const { return nonfinite_; }
  [[nodiscard]] double min() const { return count_ ? min_ : std::nan(""); }
  [[nodiscard]] double max() const { return count_ ? max_ : std::nan(""); }
  [[nodiscard]] double mean() const { return count_ ? sum_ / static_cast<double>(count_) : std::nan(""); }
  [[nodiscard]] const std::vector<Top>& top() const { return top_; }

 private:
  std::int64_t count_ = 0;
  std::int64_t nonfinite_ = 0;
  double sum_ = 0;
  double min_ = std::numeric_limits<double>::infinity();
  double max_ = -std::numeric_limits<double>::infinity();
  std::vector<Top> top_;
};

struct Grid {
  bool known = false;
  float x0 = 0, y0 = 0, d = 0;
  std::int32_t nx = 0, ny = 0;
};

struct Receptors {
  std::vector<float> x, y;  // km; empty when unknown
  Grid grid;                // the nominal grid the conversion gives them
  [[nodiscard]] bool known() const { return !x.empty(); }
};

// Everything the outputs need about one file.
struct Summary {
  std::string file;
  std::string kind;  // "dataset" or "POSTFILE"
  std::vector<std::pair<std::string, std::string>> fields;  // readable header fields, in order
  std::int64_t periods = 0;
  std::optional<Time> first, last;
  std::int64_t missing = -1, repeated = -1, outside = -1;
  std::string unit;
  Stats stats;
  Receptors receptors;
  std::vector<double> highest;  // per receptor, for the map
  Grid grid;
  std::set<std::string> groups;
};

// Reads records, failing clearly on anything that is not a whole record.
class Records {
 public:
  Records(const fs::path& path, const std::string& name)
      : source_(path, "'" + name + "'"), reader_(source_), name_(name) {}

  std::span<const std::byte> next(std::size_t need, const char* what, bool allow_eof = false) {
    std::span<const std::byte> view;
    const auto outcome = reader_.read_view(need, view);
    if (outcome == ReadOutcome::ok) return view;
    if (outcome == ReadOutcome::end_of_file && allow_eof && !reader_.ended_inside_record()) return {};
    if (outcome == ReadOutcome::end_of_file) throw Failure(std::string("ends inside or before ") + what);
    throw Failure(std::string(what) + " is shorter than it must be");
  }
  // The first `most` bytes of the next record, or all of a shorter one.
  std::span<const std::byte> next_upto(std::size_t most, const char* what) {
    std::span<const std::byte> view;
    const auto outcome = reader_.read_view(most, view);
    if (outcome == ReadOutcome::end_of_file) throw Failure(std::string("ends inside or before ") + what);
    if (outcome == ReadOutcome::error && reader_.length() < 0) throw Failure(std::string(what) + " has a negative length");
    return view;
  }
  [[nodiscard]] std::int64_t length() const { return reader_.length(); }
  void rewind() { reader_.rewind(); }
  [[nodiscard]] std::uint64_t size() const { return source_.size(); }

 private:
  io::FileSource source_;
  io::RecordReader reader_;
  std::string name_;
};

bool is_dataset(const fs::path& path, const std::string& name) {
  Records r(path, name);
  std::span<const std::byte> view;
  try {
    view = r.next(16, "the first record", true);
  } catch (const Failure&) {
    return false;
  }
  return r.length() == 96 && view.size() == 16 &&
         std::string_view(reinterpret_cast<const char*>(view.data()), 8) == "CONC.DAT";
}

// A two-digit year in a header gets the POSTFILEs' century window.
std::int32_t four_digit(std::int32_t yr) { return yr < 100 ? decode_kurdat(yr * 1000000 + 10101).iyr : yr; }

// The hours from `begin` that the periods' end times fall on.
class HourCheck {
 public:
  HourCheck(const Time& begin, std::int32_t irlg) : begin_(begin) {
    if (irlg > 0 && irlg <= 1000000) seen_.assign(static_cast<std::size_t>(irlg), 0);
  }
  void add(const Time& end) {
    const std::int64_t h = deltt(begin_, end);
    if (h >= 1 && h <= static_cast<std::int64_t>(seen_.size())) {
      ++seen_[static_cast<std::size_t>(h - 1)];
    } else {
      ++outside_;
    }
  }
  void report(Summary& s) const {
    s.missing = static_cast<std::int64_t>(std::count(seen_.begin(), seen_.end(), 0U));
    s.repeated = 0;
    for (const auto n : seen_) s.repeated += n > 1 ? n - 1 : 0;
    s.outside = outside_;
  }

 private:
  Time begin_;
  std::vector<std::uint32_t> seen_;
  std::int64_t outside_ = 0;
};

class CsvOut {
 public:
  explicit CsvOut(std::ostream* out) : out_(out) {}
  void row(const Time& t, std::int32_t receptor, const Receptors& r, double v) {
    if (out_ == nullptr) return;
    std::string line = iso(t);
    line += ',' + std::to_string(receptor) + ',';
    if (r.known()) line += num(r.x[static_cast<std::size_t>(receptor - 1)]) + ',' + num(r.y[static_cast<std::size_t>(receptor - 1)]);
    else line += ',';
    line += ',' + num(v) + '\n';
    *out_ << line;
  }

 private:
  std::ostream* out_;
};

Summary read_dataset(const fs::path& path, const std::string& name, CsvOut& csv) {
  Summary s;
  s.file = name;
  s.kind = "dataset";
  s.unit = "g/m3";
  Records r(path, name);
  auto text = [](std::span<const std::byte> v, std::size_t at, std::size_t n) {
    return std::string(reinterpret_cast<const char*>(v.data()) + at, n);
  };
  const auto rec1 = r.next(96, "the first header record");
  s.fields.emplace_back("dataset", shown(text(rec1, 0, 16)) + " version " + shown(text(rec1, 16, 16)));
  const std::int32_t ncom = get_i32(r.next(4, "the comment count").data());
  if (ncom < 0 || ncom > 1000) throw Failure("comment count " + std::to_string(ncom) + " is out of range");
  std::string program;
  for (std::int32_t i = 0; i < ncom; ++i) {
    const auto c = r.next_upto(132, "a comment record");
    if (i == 0) program = shown(text(c, 0, c.size()));
  }
  const auto h = r.next(320, "the run description record");
  const std::string model = shown(text(h, 0, 12));
  const Time begin{get_i32(h.data() + 36), get_i32(h.data() + 40), get_i32(h.data() + 44)};
  const std::int32_t irlg = get_i32(h.data() + 56);
  s.grid = {true, get_f32(h.data() + 88), get_f32(h.data() + 92), get_f32(h.data() + 76), get_i32(h.data() + 68),
            get_i32(h.data() + 72)};
  const std::int32_t nrec = get_i32(h.data() + 172);
  if (nrec < 0 || nrec > static_cast<std::int32_t>(MXREC)) {
    throw Failure("receptor count " + std::to_string(nrec) + " is out of range");
  }
  const auto titles = r.next(240, "the title record");
  const std::string speclev = text(r.next(15, "the species record"), 0, 15);
  if (nrec > 0) {
    const auto rec = r.next(12 * static_cast<std::size_t>(nrec), "the receptor record");
    for (std::int32_t k = 0; k < nrec; ++k) {
      s.receptors.x.push_back(get_f32(rec.data() + 4 * k));
      s.receptors.y.push_back(get_f32(rec.data() + 4 * (nrec + k)));
    }
  }
  const std::string source = shown(text(r.next(20, "the source record"), 4, 16));

  std::int32_t mo = 0, dy = 0;
  std::string begin_text = "year " + std::to_string(begin.yr) + " day " + std::to_string(begin.jul) + " hour " +
                           std::to_string(begin.hr);
  const Time begin4{four_digit(begin.yr), begin.jul, begin.hr};
  if (calendar_date(begin4.yr, begin4.jul, mo, dy)) begin_text = readable(begin4);
  s.fields.emplace_back("model", model);
  s.fields.emplace_back("program", program);
  s.fields.emplace_back("begin", begin_text);
  s.fields.emplace_back("run length", std::to_string(irlg) + " h");
  char grid[160];
  std::snprintf(grid, sizeof grid, "%d x %d cells of %.4g km from (%.4f, %.4f) km", s.grid.nx, s.grid.ny, s.grid.d,
                s.grid.x0, s.grid.y0);
  s.fields.emplace_back("nominal grid", grid);
  std::string extent = std::to_string(nrec);
  if (nrec > 0) {
    const auto [xmin, xmax] = std::minmax_element(s.receptors.x.begin(), s.receptors.x.end());
    const auto [ymin, ymax] = std::minmax_element(s.receptors.y.begin(), s.receptors.y.end());
    char buf[160];
    std::snprintf(buf, sizeof buf, " from (%.4f, %.4f) to (%.4f, %.4f) km", *xmin, *ymin, *xmax, *ymax);
    extent += buf;
  }
  s.fields.emplace_back("receptors", extent);
  s.fields.emplace_back("species", shown(speclev.substr(0, 12)) + ", level " + shown(speclev.substr(12)));
  s.fields.emplace_back("title 1", shown(text(titles, 0, 80)));
  s.fields.emplace_back("title 2", shown(text(titles, 80, 80)));
  s.fields.emplace_back("title 3", shown(text(titles, 160, 80)));
  s.fields.emplace_back("source", source);

  HourCheck hours(begin4, irlg);
  s.highest.assign(static_cast<std::size_t>(nrec), -std::numeric_limits<double>::infinity());
  for (;;) {
    const auto times = r.next(32, "a period's times record", true);
    if (times.empty()) break;
    const Time end{get_i32(times.data() + 16), get_i32(times.data() + 20), get_i32(times.data() + 24)};
    r.next(32, "a period's source record");
    const auto values = r.next(15 + 4 * static_cast<std::size_t>(nrec), "a period's values record");
    ++s.periods;
    if (!s.first) s.first = end;
    s.last = end;
    hours.add(end);
    for (std::int32_t k = 0; k < nrec; ++k) {
      const double v = get_f32(values.data() + 15 + 4 * k);
      s.stats.add(v, end, k + 1);
      auto& hi = s.highest[static_cast<std::size_t>(k)];
      if (std::isfinite(v)) hi = std::max(hi, v);
      csv.row(end, k + 1, s.receptors, v);
    }
  }
  hours.report(s);
  return s;
}

// How plausible the first records' values are as `width`-byte reals: the
// spread of their binary exponents (reading the wrong width multiplies it
// or makes it random), plus a heavy cost for NaN, infinite or negative values.
double implausibility(std::span<const std::byte> values, int width) {
  std::int64_t n = 0, bad = 0;
  double sum = 0, sum2 = 0;
  const std::size_t count = values.size() / static_cast<std::size_t>(width);
  for (std::size_t i = 0; i < count; ++i) {
    const double v = width == 8 ? get_f64(values.data() + 8 * i) : get_f32(values.data() + 4 * i);
    if (!std::isfinite(v) || v < 0) {
      ++bad;
      continue;
    }
    if (v == 0) continue;
    const double e = std::log2(v);
    sum += e;
    sum2 += e * e;
    ++n;
  }
  const double spread = n > 1 ? std::sqrt(std::max(0.0, sum2 / n - (sum / n) * (sum / n))) : 0.0;
  double cost = spread + (count ? 1000.0 * static_cast<double>(bad) / static_cast<double>(count) : 0.0);
  if (width == 4) {
    // Doubles with short mantissas (1.25, 0.5, ...) read as floats: every
    // first float of a pair is zero, every second one is not.
    std::size_t pairs = 0, zero_then_value = 0;
    for (std::size_t i = 0; i + 1 < count; i += 2, ++pairs) {
      if (get_f32(values.data() + 4 * i) == 0.0F && get_f32(values.data() + 4 * i + 4) != 0.0F) ++zero_then_value;
    }
    if (pairs > 0 && 2 * zero_then_value > pairs) cost += 1000.0;
  }
  return cost;
}

Receptors control_receptors(const std::string& control) {
  SilentReport report;
  const fs::path p(control);
  std::optional<Result<Ctrl>> read;
  try {
    read.emplace(setup(p.parent_path().empty() ? fs::path(".") : p.parent_path(), p.filename().string(), report));
  } catch (const IoError& e) {
    throw Failure(e.what());
  }
  if (!read->ok()) throw Failure("control file " + control + ": " + read->status().text());
  const Ctrl& ctrl = **read;
  Receptors r;
  for (const Receptor& rec : ctrl.receptors) {
    r.x.push_back(rec.x);
    r.y.push_back(rec.y);
  }
  const ReceptorBox box = receptor_box(ctrl.receptors);
  r.grid = {true, box.x0, box.y0, box.dgrid, 2, 2};
  return r;
}

Summary read_postfile(const fs::path& path, const std::string& name, const Options& o, const Receptors& control,
                      CsvOut& csv) {
  Summary s;
  s.file = name;
  s.kind = "POSTFILE";
  s.unit = "ug/m3";
  s.receptors = control;
  Records r(path, name);
  const auto head = r.next(16, "the first record", true);
  if (head.empty()) throw Failure("holds no record");
  const std::int64_t payload = r.length() - 16;
  if (payload < 0) throw Failure("first record is too short for a POSTFILE record");
  std::int32_t nrec = o.receptors ? o.receptors : (control.known() ? static_cast<std::int32_t>(control.x.size()) : 0);
  int width = o.real;
  if (width == 0 && nrec > 0) {
    if (payload >= 8LL * nrec) width = 8;
    else if (payload >= 4LL * nrec) width = 4;
    else throw Failure("records are too short for " + std::to_string(nrec) + " receptors");
  }
  if (width == 0) {
    const bool can8 = payload % 8 == 0 && payload > 0;
    const bool can4 = payload % 4 == 0 && payload > 0;
    if (!can4) throw Failure("record length " + std::to_string(payload + 16) + " fits neither 8-byte nor 4-byte reals");
    width = 4;
    if (can8) {
      r.rewind();
      const auto first = r.next(static_cast<std::size_t>(std::min<std::int64_t>(payload, 80000)) + 16, "the first record");
      const auto values = first.subspan(16);
      width = implausibility(values, 8) <= implausibility(values, 4) ? 8 : 4;
    }
  }
  if (nrec == 0) nrec = static_cast<std::int32_t>(std::min<std::int64_t>(payload / width, MXREC));
  if (nrec < 1) throw Failure("records hold no values");
  if (control.known() && static_cast<std::size_t>(nrec) != control.x.size()) {
    throw Failure("the control file has " + std::to_string(control.x.size()) + " receptors, the records " +
                  std::to_string(nrec));
  }
  s.fields.emplace_back("value width", std::to_string(width) + "-byte reals");
  s.fields.emplace_back("receptors", std::to_string(nrec));
  r.rewind();
  s.highest.assign(static_cast<std::size_t>(nrec), -std::numeric_limits<double>::infinity());
  std::int32_t lo = std::numeric_limits<std::int32_t>::max(), hi = std::numeric_limits<std::int32_t>::min();
  for (;;) {
    const auto rec = r.next(16 + static_cast<std::size_t>(width) * static_cast<std::size_t>(nrec), "a record", true);
    if (rec.empty()) break;
    const std::int32_t kurdat = get_i32(rec.data());
    s.groups.insert(shown(std::string(reinterpret_cast<const char*>(rec.data()) + 8, 8)));
    ++s.periods;
    lo = std::min(lo, kurdat);
    hi = std::max(hi, kurdat);
    // The period's end as the conversion writes it.
    const auto end_or_halt = period_end(decode_kurdat(kurdat));
    if (!end_or_halt.ok()) {
      throw Failure("record " + std::to_string(s.periods) + " has an impossible stamp " + std::to_string(kurdat));
    }
    const Time end = *end_or_halt;
    if (!s.first) s.first = end;
    s.last = end;
    for (std::int32_t k = 0; k < nrec; ++k) {
      const double v = width == 8 ? get_f64(rec.data() + 16 + 8 * k) : get_f32(rec.data() + 16 + 4 * k);
      s.stats.add(v, end, k + 1);
      auto& h = s.highest[static_cast<std::size_t>(k)];
      if (std::isfinite(v)) h = std::max(h, v * 1.0e-6);
      csv.row(end, k + 1, s.receptors, v);
    }
  }
  s.fields.emplace_back("stamps", std::to_string(lo) + " to " + std::to_string(hi));
  std::string groups;
  for (const auto& g : s.groups) groups += (groups.empty() ? "" : ", ") + g;
  s.fields.emplace_back("source groups", groups);
  s.grid = control.grid;
  return s;
}

void print_summary(const Summary& s, std::ostream& out) {
  out << s.file << ": " << s.kind << "\n";
  for (const auto& [k, v] : s.fields) out << "  " << k << ": " << v << "\n";
  out << "  periods: " << s.periods << "\n";
  if (s.first) out << "  first period ends: " << readable(*s.first) << "\n";
  if (s.last) out << "  last period ends: " << readable(*s.last) << "\n";
  if (s.missing >= 0) {
    out << "  against the run period: " << s.missing << " hours missing, " << s.repeated << " repeated, " << s.outside
        << " outside\n";
  }
  out << "  values (" << s.unit << "): min " << num(s.stats.min()) << ", max " << num(s.stats.max()) << ", mean "
      << num(s.stats.mean()) << "\n";
  if (s.stats.nonfinite() > 0) out << "  values that are not numbers: " << s.stats.nonfinite() << "\n";
  out << "  highest values:\n";
  for (const auto& t : s.stats.top()) {
    out << "    " << num(t.value) << " at " << readable(t.time) << ", receptor " << t.receptor;
    if (s.receptors.known()) {
      char buf[80];
      std::snprintf(buf, sizeof buf, " (%.4f, %.4f) km", s.receptors.x[static_cast<std::size_t>(t.receptor - 1)],
                    s.receptors.y[static_cast<std::size_t>(t.receptor - 1)]);
      out << buf;
    }
    out << "\n";
  }
}

void print_json(const Summary& s, std::ostream& out) {
  out << "{\"file\": " << json_string(s.file) << ", \"kind\": " << json_string(s.kind);
  out << ", \"header\": {";
  bool first = true;
  for (const auto& [k, v] : s.fields) {
    out << (first ? "" : ", ") << json_string(k) << ": " << json_string(v);
    first = false;
  }
  out << "}, \"periods\": " << s.periods;
  out << ", \"first_period_end\": " << (s.first ? json_string(iso(*s.first)) : "null");
  out << ", \"last_period_end\": " << (s.last ? json_string(iso(*s.last)) : "null");
  if (s.missing >= 0) {
    out << ", \"hours_missing\": " << s.missing << ", \"hours_repeated\": " << s.repeated
        << ", \"periods_outside_run\": " << s.outside;
  }
  out << ", \"unit\": " << json_string(s.unit) << ", \"min\": " << json_number(s.stats.min())
      << ", \"max\": " << json_number(s.stats.max()) << ", \"mean\": " << json_number(s.stats.mean())
      << ", \"highest\": [";
  first = true;
  for (const auto& t : s.stats.top()) {
    out << (first ? "" : ", ") << "{\"value\": " << json_number(t.value) << ", \"time\": " << json_string(iso(t.time))
        << ", \"receptor\": " << t.receptor;
    if (s.receptors.known()) {
      out << ", \"x_km\": " << json_number(s.receptors.x[static_cast<std::size_t>(t.receptor - 1)])
          << ", \"y_km\": " << json_number(s.receptors.y[static_cast<std::size_t>(t.receptor - 1)]);
    }
    out << "}";
    first = false;
  }
  out << "]}";
}

std::string short_num(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.3g", v);
  return buf;
}

// A colour ramp from dark blue through green to yellow.
std::string colour(double t) {
  static const std::array<std::array<int, 3>, 5> kStops = {
      {{68, 1, 84}, {59, 82, 139}, {33, 145, 140}, {94, 201, 98}, {253, 231, 37}}};
  t = std::clamp(t, 0.0, 1.0) * 4.0;
  const auto i = std::min<std::size_t>(3, static_cast<std::size_t>(t));
  const double f = t - static_cast<double>(i);
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", static_cast<int>(kStops[i][0] + f * (kStops[i + 1][0] - kStops[i][0])),
                static_cast<int>(kStops[i][1] + f * (kStops[i + 1][1] - kStops[i][1])),
                static_cast<int>(kStops[i][2] + f * (kStops[i + 1][2] - kStops[i][2])));
  return buf;
}

void write_svg(const Summary& s, const std::string& file) {
  if (!s.receptors.known()) throw Failure("--svg needs the receptors' coordinates (for a POSTFILE: --control)");
  double x0 = s.receptors.x[0], x1 = x0, y0 = s.receptors.y[0], y1 = y0;
  for (std::size_t k = 0; k < s.receptors.x.size(); ++k) {
    x0 = std::min<double>(x0, s.receptors.x[k]), x1 = std::max<double>(x1, s.receptors.x[k]);
    y0 = std::min<double>(y0, s.receptors.y[k]), y1 = std::max<double>(y1, s.receptors.y[k]);
  }
  if (s.grid.known) {
    x0 = std::min<double>(x0, s.grid.x0), y0 = std::min<double>(y0, s.grid.y0);
    x1 = std::max<double>(x1, s.grid.x0 + s.grid.d * s.grid.nx), y1 = std::max<double>(y1, s.grid.y0 + s.grid.d * s.grid.ny);
  }
  const double span = std::max({x1 - x0, y1 - y0, 1e-6});
  const double size = 600, margin = 40, legend = 160;
  auto px = [&](double x) { return margin + (x - x0) / span * size; };
  auto py = [&](double y) { return margin + size - (y - y0) / span * size; };
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (const double v : s.highest) {
    if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
  }
  if (!std::isfinite(lo)) lo = hi = 0;
  std::ostringstream o;
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
                "font-family=\"sans-serif\" font-size=\"12\">\n",
                size + 2 * margin + legend, size + 2 * margin, size + 2 * margin + legend, size + 2 * margin);
  o << buf << "<title>Highest value per receptor</title>\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  if (s.grid.known) {
    o << "<g fill=\"none\" stroke=\"#888\" stroke-dasharray=\"4 3\">\n";
    for (int i = 0; i <= s.grid.nx && i <= 100; ++i) {
      const double x = s.grid.x0 + s.grid.d * i;
      std::snprintf(buf, sizeof buf, "<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\"/>\n", px(x), py(s.grid.y0), px(x),
                    py(s.grid.y0 + s.grid.d * s.grid.ny));
      o << buf;
    }
    for (int j = 0; j <= s.grid.ny && j <= 100; ++j) {
      const double y = s.grid.y0 + s.grid.d * j;
      std::snprintf(buf, sizeof buf, "<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\"/>\n", px(s.grid.x0), py(y),
                    px(s.grid.x0 + s.grid.d * s.grid.nx), py(y));
      o << buf;
    }
    o << "</g>\n";
  }
  o << "<g stroke=\"black\" stroke-width=\"0.5\">\n";
  for (std::size_t k = 0; k < s.receptors.x.size(); ++k) {
    const double v = k < s.highest.size() ? s.highest[k] : 0;
    const double t = hi > lo ? (v - lo) / (hi - lo) : 1.0;
    std::snprintf(buf, sizeof buf, "<circle cx=\"%.2f\" cy=\"%.2f\" r=\"5\" fill=\"%s\"><title>receptor %zu: %s g/m3</title></circle>\n",
                  px(s.receptors.x[k]), py(s.receptors.y[k]), colour(t).c_str(), k + 1, num(v).c_str());
    o << buf;
  }
  o << "</g>\n";
  // Legend: the colour ramp with its end values in g/m3.
  const double lx = size + 2 * margin + 20;
  o << "<defs><linearGradient id=\"ramp\" x1=\"0\" y1=\"1\" x2=\"0\" y2=\"0\">";
  for (int i = 0; i <= 4; ++i) {
    std::snprintf(buf, sizeof buf, "<stop offset=\"%d%%\" stop-color=\"%s\"/>", i * 25, colour(i / 4.0).c_str());
    o << buf;
  }
  o << "</linearGradient></defs>\n";
  std::snprintf(buf, sizeof buf, "<rect x=\"%.0f\" y=\"%.0f\" width=\"20\" height=\"300\" fill=\"url(#ramp)\" stroke=\"black\"/>\n",
                lx, margin + 20);
  o << buf;
  std::snprintf(buf, sizeof buf, "<text x=\"%.0f\" y=\"%.0f\">highest, g/m3</text>\n", lx, margin + 10);
  o << buf;
  std::snprintf(buf, sizeof buf, "<text x=\"%.0f\" y=\"%.0f\">%s</text>\n<text x=\"%.0f\" y=\"%.0f\">%s</text>\n", lx + 26,
                margin + 30, short_num(hi).c_str(), lx + 26, margin + 320, short_num(lo).c_str());
  o << buf;
  std::snprintf(buf, sizeof buf, "<text x=\"%.0f\" y=\"%.0f\">map %.4g km wide; dashed: the dataset's nominal grid</text>\n",
                margin, size + 2 * margin - 12, span);
  o << buf;
  std::string title = "Highest hourly value per receptor: " + s.file;
  std::string escaped;
  for (const char c : title) {
    if (c == '&') escaped += "&amp;";
    else if (c == '<') escaped += "&lt;";
    else if (c == '>') escaped += "&gt;";
    else escaped.push_back(c);
  }
  std::snprintf(buf, sizeof buf, "<text x=\"%.0f\" y=\"24\" font-size=\"15\">", margin);
  o << buf << escaped << "</text>\n</svg>\n";
  std::ofstream f(file, std::ios::binary | std::ios::trunc);
  f << o.str();
  f.close();
  if (!f) throw Failure("cannot write " + file);
}

}  // namespace

int run_inspect(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  for (const auto& a : args) {
    if (a == "-h" || a == "--help") {
      out << kUsage;
      return 0;
    }
    if (a == "--version") {
      out << "kestrel-inspect " << mver << " (level " << mlevel << ")\n";
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
      const Summary s = is_dataset(path, current) ? read_dataset(path, current, csv)
                                                  : read_postfile(path, current, o, control, csv);
      if (o.json) {
        if (i > 0) out << ", ";
        print_json(s, out);
      } else if (!o.csv) {
        if (i > 0) out << "\n";
        print_summary(s, out);
      }
      if (!o.svg.empty()) write_svg(s, o.svg);
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
