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

Summary open_plot(const std::filesystem::path& path, const std::string& name, const Receptors& control,
                  const TypeChoice& type) {
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
  s.json_fields.emplace_back("receptors", std::to_string(s.receptors.x.size()));
  s.json_fields.emplace_back("extent_km", extent_json(s.receptors));
  s.json_fields.emplace_back("receptors_from", control.known() ? "\"control file\"" : "\"first record\"");
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
