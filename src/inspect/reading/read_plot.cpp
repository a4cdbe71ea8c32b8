#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

#include "inspect/failure.hpp"
#include "inspect/format.hpp"
#include "inspect/reading/readers.hpp"
#include "io/files.hpp"

namespace kestrel::inspect {

namespace {

// A file's lines, each kept up to one character past the longest a data
// line may be: enough to tell that it is too long.
class Lines {
 public:
  Lines(const std::filesystem::path& path, const std::string& name)
      : source_(path, "'" + name + "'"), buffer_(std::size_t{64} << 10) {}

  // The next line without its line feed, cut after kMaxPlotLine + 1
  // characters; false at the end of the file.
  bool next(std::string& line) {
    line.clear();
    bool any = false;
    for (;;) {
      if (at_ == len_ && !fill()) return any;
      any = true;
      const char* begin = buffer_.data() + at_;
      const auto* nl = static_cast<const char*>(std::memchr(begin, '\n', len_ - at_));
      const std::size_t n = nl != nullptr ? static_cast<std::size_t>(nl - begin) : len_ - at_;
      line.append(begin, std::min(n, kMaxPlotLine + 1 - line.size()));
      at_ += n;
      if (nl != nullptr) {
        ++at_;
        return true;
      }
    }
  }

 private:
  bool fill() {
    len_ = source_.read_at(offset_, {reinterpret_cast<std::byte*>(buffer_.data()), buffer_.size()});
    offset_ += len_;
    at_ = 0;
    return len_ > 0;
  }

  io::FileSource source_;
  std::vector<char> buffer_;
  std::uint64_t offset_ = 0;
  std::size_t at_ = 0, len_ = 0;
};

// Only these count as blanks before the first character: the bytes that
// start an unformatted POSTFILE's record length may be other control bytes.
bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool same_record(const PlotLine& a, const PlotLine& b) {
  return a.date == b.date && a.ave == b.ave && a.group == b.group;
}

// The value columns of the first data line; 1 when there is none.
std::size_t first_columns(const std::filesystem::path& path, const std::string& name) {
  Lines lines(path, name);
  std::string line;
  while (lines.next(line)) {
    if (!line.empty() && line[0] == '*') continue;
    return plot_columns(line).value_or(1);
  }
  return 1;
}

// The places of the first record's lines, as the converter would take
// them for the receptors'.
Receptors first_record(const std::filesystem::path& path, const std::string& name, std::size_t columns) {
  Lines lines(path, name);
  std::string line, first;
  Receptors r;
  std::optional<PlotLine> key;
  for (std::int64_t n = 1; lines.next(line); ++n) {
    if (!line.empty() && line[0] == '*') continue;
    const auto p = read_plot_line(line, columns);
    if (!p && !key) throw Failure(cannot_read_line(n, line));
    if (!p) break;  // the reader stops there too, with the line's number
    if (!key) {
      first = line;  // the views of `key` point into it
      key = read_plot_line(first, columns);
    } else if (!same_record(*p, *key)) {
      break;
    }
    if (r.x_m.size() == static_cast<std::size_t>(kMaxReceptors)) {
      throw Failure("its first record has more lines than kestrel takes receptors (" + std::to_string(kMaxReceptors) +
                    ")");
    }
    r.x_m.push_back(p->x_m);
    r.y_m.push_back(p->y_m);
  }
  if (r.x_m.empty()) throw Failure("holds no record");
  for (std::size_t i = 0; i < r.x_m.size(); ++i) {
    r.x.push_back(km_of(r.x_m[i]));
    r.y.push_back(km_of(r.y_m[i]));
  }
  const Box box = nominal_box(r.x, r.y);
  r.grid = {true, box.x0, box.y0, box.d, 2, 2};
  return r;
}

}  // namespace

bool is_plot(const std::filesystem::path& path, const std::string& name) {
  io::FileSource source(path, "'" + name + "'");
  std::array<char, 4096> head{};
  const std::size_t n = source.read_at(0, {reinterpret_cast<std::byte*>(head.data()), head.size()});
  const std::string_view text(head.data(), n);
  const auto at = std::find_if_not(text.begin(), text.end(), blank);
  if (at == text.end()) return false;
  if (*at == '*') return true;
  // Iterators, not find(): GCC 11 sees an unbounded memchr in the latter.
  const auto end = std::find(at, text.end(), '\n');
  return plot_line_start(std::string_view(&*at, static_cast<std::size_t>(end - at)));
}

// The output types its column line names, in the values' order ("AVERAGE
// CONC", "TOTAL DEPO", "DRY DEPO", "WET DEPO"); empty when it has none.
std::vector<std::string> header_types(const std::filesystem::path& path, const std::string& name) {
  Lines lines(path, name);
  std::string line;
  while (lines.next(line) && !line.empty() && line[0] == '*') {
    const std::size_t y = line.find(" Y ");
    const std::size_t zelev = line.find("ZELEV");
    if (y == std::string::npos || zelev == std::string::npos || zelev < y) continue;
    std::vector<std::string> types;
    const std::string_view names = std::string_view(line).substr(y + 3, zelev - y - 3);
    std::string_view before;
    for (std::size_t at = 0; at < names.size();) {
      const std::size_t start = names.find_first_not_of(' ', at);
      if (start == std::string_view::npos) break;
      const std::size_t end = std::min(names.find(' ', start), names.size());
      const std::string_view word = names.substr(start, end - start);
      if (word == "CONC") types.emplace_back("CONC");
      if (word == "DEPO") types.emplace_back(before == "DRY" ? "DDEP" : before == "WET" ? "WDEP" : "DEPOS");
      before = word;
      at = end;
    }
    return types;
  }
  return {};
}

// The type asked for without a control file, from the file's own column line.
TypeChoice from_header(const std::filesystem::path& path, const std::string& name, TypeChoice type) {
  if (type.sets != 0 || type.type.empty()) return type;
  const auto types = header_types(path, name);
  const auto at = std::find(types.begin(), types.end(), type.type);
  if (at == types.end()) {
    std::string held;
    for (const auto& t : types) held += (held.empty() ? "" : ", ") + t;
    throw Failure("its column line names no " + type.type + (held.empty() ? "" : " (it names " + held + ")") +
                  "; give the run's control file with --control");
  }
  type.sets = types.size();
  type.slice = static_cast<std::size_t>(at - types.begin());
  // AERMOD's default deposition unit, grams per square metre, to ug/m2 per hour.
  if (type.type != "CONC") type.to_own = 1.0e6;
  return type;
}

Summary open_plot(const std::filesystem::path& path, const std::string& name, const Receptors& control,
                  const TypeChoice& asked) {
  const TypeChoice type = from_header(path, name, asked);
  Summary s;
  s.path = path;
  s.file = name;
  s.kind = "formatted POSTFILE";
  // Without the control file's types, the first data line tells the columns.
  const std::size_t columns = type.sets != 0 ? type.sets : first_columns(path, name);
  s.receptors = control.known() ? control : first_record(path, name, columns);
  s.grid = s.receptors.grid;
  s.layout = {false, 4, static_cast<std::int32_t>(s.receptors.x.size()), true};
  s.layout.sets = columns;
  s.layout.slice = type.slice;
  set_postfile_units(s, type);
  s.fields.emplace_back("receptors", extent_text(s.receptors) +
                                         (control.known() ? " (the control file's)" : " (its first record's)"));
  s.json_fields.emplace_back("receptors", s.receptors.x.size());
  s.json_fields.emplace_back("extent_km", extent_json(s.receptors));
  s.json_fields.emplace_back("receptors_from", control.known() ? "control file" : "first record");
  return s;
}

PlotEnd scan_plot(const Summary& s, const PeriodVisitor& each) {
  PlotFile f(s.path, s.file, s.receptors.x_m, s.receptors.y_m, s.layout.sets, s.layout.slice);
  std::vector<std::byte> values(4 * static_cast<std::size_t>(s.layout.nrec));
  PlotEnd end;
  for (std::int64_t n = 1; f.next(values); ++n) {
    Period p;
    p.stamp = f.stamp();
    p.kave = f.kave();
    p.group = f.group();
    p.values = values;
    p.width = 4;
    const auto t = stamp_end(p.stamp);
    if (!t) throw Failure("record " + std::to_string(n) + " has an impossible stamp " + std::to_string(p.stamp));
    p.end = *t;
    end.longer = end.longer || f.longer();
    each(p);
  }
  end.ended_inside = f.ended_inside_record();
  end.misplaced = f.first_misplaced();
  end.fixed_point = f.fixed_point_values();
  return end;
}

}  // namespace kestrel::inspect
