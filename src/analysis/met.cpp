#include "analysis/met.hpp"

#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

#include "analysis/failure.hpp"
#include "io/platform.hpp"

namespace kestrel::analysis {

namespace {

// Between the first and last hour, an hour no line held.
constexpr std::uint8_t kAbsent = 0xFF;

// The surface file's fields up to the temperature's height.
constexpr std::size_t kFields = 20;

struct Closer {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

std::string whole_file(const std::filesystem::path& path, const std::string& name) {
  const std::unique_ptr<std::FILE, Closer> f(io::open_file(path, "rb"));
  if (!f) throw Failure("cannot open the surface file " + name + ": " + std::generic_category().message(errno));
  std::string text;
  std::array<char, 1 << 16> chunk{};
  while (const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), f.get())) text.append(chunk.data(), got);
  if (std::ferror(f.get())) throw Failure("cannot read the surface file " + name);
  return text;
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == ','; }

// The first kFields numbers of a line; false when it has fewer or one of
// them is no number.
bool fields_of(std::string_view line, std::array<double, kFields>& out) {
  const char* p = line.data();
  const char* const end = p + line.size();
  for (double& v : out) {
    while (p < end && blank(*p)) ++p;
    if (p < end && *p == '+') ++p;
    const auto [next, ec] = std::from_chars(p, end, v);
    if (ec != std::errc{} || next == p || (next < end && !blank(*next))) return false;
    p = next;
  }
  return true;
}

std::string line_text(std::string_view line) {
  while (!line.empty() && blank(line.back())) line.remove_suffix(1);
  return std::string(line.substr(0, 120));
}

std::string hour_text(const Time& end) {
  // As the surface file writes it: the day's hour 1 to 24.
  const Time day = day_of(end);
  std::int32_t mo = 0, dy = 0;
  calendar_date(day.yr, day.jul, mo, dy);
  const std::int32_t hr = end.hr == 0 ? 24 : end.hr;
  std::array<char, 40> b{};
  std::snprintf(b.data(), b.size(), "%04d-%02d-%02d hour %02d", day.yr, mo, dy, hr);
  return b.data();
}

}  // namespace

const char* const kMarksUnknown =
    "the run's surface file is not known, so its calm and missing hours are unknown: multi-hour and period "
    "averages may be lower than AERMOD's";

HourMark mark_of(const SurfaceHour& h) {
  if (h.wspd == 0.0) return HourMark::calm;
  const bool missing = h.wspd >= 90.0 || h.wspd < 0.0 || h.wdir > 900.0 || h.wdir <= -9.0 || h.temp > 900.0 ||
                       h.temp <= 0.0 || h.mol < -99990.0 || (h.mol < 0.0 && (h.zic > 90000.0 || h.zic < 0.0)) ||
                       h.zim > 90000.0 || h.zim < 0.0 || h.ustar < 0.0 || h.ustar >= 9.0 ||
                       (h.wstar < 0.0 && h.mol < 0.0 && h.mol > -99990.0);
  return missing ? HourMark::missing : HourMark::valid;
}

SurfaceHours SurfaceHours::read(const std::filesystem::path& path) {
  const std::string name = "'" + path.string() + "'";
  return parse(whole_file(path, name), name);
}

SurfaceHours SurfaceHours::parse(std::string_view text, const std::string& name) {
  SurfaceHours s;
  s.name_ = name;
  std::int64_t line_no = 0;
  std::int64_t last = 0;
  bool header = false;
  std::array<double, kFields> f{};
  while (!text.empty()) {
    const std::size_t nl = text.find('\n');
    const std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    ++line_no;
    if (!header) {
      if (line.find(':') == std::string_view::npos) {
        throw Failure("the surface file " + name + ", line 1: no header line (one holding a colon): " +
                      line_text(line));
      }
      header = true;
      continue;
    }
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    const auto where = [&] { return "the surface file " + name + ", line " + std::to_string(line_no) + ": "; };
    if (!fields_of(line, f)) throw Failure(where() + "cannot read the hour: " + line_text(line));
    const auto yr = static_cast<std::int32_t>(f[0]);
    const auto mo = static_cast<std::int32_t>(f[1]);
    const auto dy = static_cast<std::int32_t>(f[2]);
    const auto hr = static_cast<std::int32_t>(f[4]);
    const auto jul = julday(four_digit(yr), mo, dy);
    if (yr < 0 || !jul.ok() || dy < 1 || hr < 1 || hr > 24) {
      throw Failure(where() + "no such date and hour: " + line_text(line));
    }
    const std::int64_t h = hour_number({four_digit(yr), *jul, hr});
    if (s.marks_.empty()) {
      s.first_ = h;
    } else if (h <= last) {
      throw Failure(where() + "the hour is not after the line before's: " + line_text(line));
    }
    last = h;
    const HourMark m = mark_of({f[6], f[7], f[9], f[10], f[11], f[15], f[16], f[18]});
    s.marks_.resize(static_cast<std::size_t>(h - s.first_), kAbsent);
    s.marks_.push_back(static_cast<std::uint8_t>(m));
    ++s.held_;
    s.calm_ += m == HourMark::calm ? 1 : 0;
    s.missing_ += m == HourMark::missing ? 1 : 0;
  }
  if (!header) throw Failure("the surface file " + name + " is empty");
  return s;
}

std::optional<HourMark> SurfaceHours::find(const Time& end) const {
  const std::int64_t i = hour_number(end) - first_;
  if (i < 0 || i >= static_cast<std::int64_t>(marks_.size())) return std::nullopt;
  const std::uint8_t m = marks_[static_cast<std::size_t>(i)];
  if (m == kAbsent) return std::nullopt;
  return static_cast<HourMark>(m);
}

HourMark SurfaceHours::at(const Time& end) const {
  if (const auto m = find(end)) return *m;
  throw Failure("the surface file " + name_ + " has no line for " + hour_text(end) +
                ", an hour of the data: it is not this run's surface file (--met names another)");
}

namespace {

std::string upper(std::string_view s) {
  std::string o(s);
  for (char& c : o) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return o;
}

// The next field of a control-file line: a word, or a name in double quotes.
std::string_view next_field(std::string_view& line) {
  std::size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
  line.remove_prefix(i);
  if (line.empty()) return {};
  if (line.front() == '"') {
    const std::size_t close = line.find('"', 1);
    const std::string_view f = line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1);
    line.remove_prefix(close == std::string_view::npos ? line.size() : close + 1);
    return f;
  }
  std::size_t j = 0;
  while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
  const std::string_view f = line.substr(0, j);
  line.remove_prefix(j);
  return f;
}

}  // namespace

std::optional<std::filesystem::path> surface_file_of(const std::filesystem::path& control) {
  const std::string text = whole_file(control, "'" + control.string() + "'");
  std::string_view rest = text;
  std::string pathway;
  while (!rest.empty()) {
    const std::size_t nl = rest.find('\n');
    std::string_view line = rest.substr(0, nl);
    rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
    // A pathway in columns 1-2; blank there continues the one before.
    const std::string head = upper(line.substr(0, 2));
    if (head == "**") continue;
    if (head.size() == 2 && head != "  ") pathway = head;
    if (line.size() > 2) line.remove_prefix(2); else continue;
    if (pathway != "ME" || upper(next_field(line)) != "SURFFILE") continue;
    const std::string_view name = next_field(line);
    if (name.empty()) return std::nullopt;
    const std::filesystem::path p(std::string{name});
    return p.is_absolute() ? p : control.parent_path() / p;
  }
  return std::nullopt;
}

}  // namespace kestrel::analysis
