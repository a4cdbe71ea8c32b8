#include "convert/plot_scan.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "convert/plot_scan_detail.hpp"
#include "convert/plot_scan_loop.hpp"

namespace kestrel::plot {

#if defined(KESTREL_PLOT_AVX2)
// Built in plot_scan_wide.cpp with AVX2 enabled, and in plot_scan_wide512.cpp
// with AVX-512.
void scan_avx2(const char* text, std::size_t begin, std::size_t end, Scan& out) noexcept;
void scan_avx512(const char* text, std::size_t begin, std::size_t end, Scan& out) noexcept;
#endif

namespace {

bool is_blank(char c) noexcept { return static_cast<unsigned char>(c) <= 0x20 && c != '\n'; }
bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }
bool has_exponent_letter(const char* b, const char* e) noexcept {
  return std::any_of(b, e, [](char c) { return c == 'e' || c == 'E'; });
}

std::optional<double> read_number_ex(std::string_view f, bool& exponent) noexcept {
  exponent = false;
  const char* b = f.data();
  const char* const e = b + f.size();
  if (b != e && *b == '+') ++b;  // std::from_chars takes no plus sign
  const char* c = b;
  if (c != e && *c == '-' && b == f.data()) ++c;
  // No "inf" or "nan": a number starts with a digit or its point.
  if (c == e || !(is_digit(*c) || *c == '.')) return std::nullopt;
  double d = 0.0;
  const auto [ptr, ec] = std::from_chars(b, e, d);
  if (ec != std::errc{}) return std::nullopt;
  if (ptr == e) {
    exponent = has_exponent_letter(b, e);
    return d;
  }
  // Fortran drops the E of a three-digit exponent: 0.123456-100.
  const bool signed_rest = (*ptr == '+' || *ptr == '-') && e - ptr >= 2 && e - ptr <= 5 &&
                           std::all_of(ptr + 1, e, is_digit) && !has_exponent_letter(b, ptr);
  if (!signed_rest || ptr - b > 64) return std::nullopt;
  char buf[72];
  const auto m = static_cast<std::size_t>(ptr - b);
  std::memcpy(buf, b, m);
  buf[m] = 'e';
  std::memcpy(buf + m + 1, ptr, static_cast<std::size_t>(e - ptr));
  const char* const bend = buf + m + 1 + (e - ptr);
  const auto [p2, ec2] = std::from_chars(buf, bend, d);
  if (ec2 != std::errc{} || p2 != bend) return std::nullopt;
  exponent = true;
  return d;
}

bool read_date(std::string_view f, std::int32_t& out) noexcept {
  if (f.empty() || !std::all_of(f.begin(), f.end(), is_digit)) return false;
  const auto [ptr, ec] = std::from_chars(f.data(), f.data() + f.size(), out);
  return ec == std::errc{} && ptr == f.data() + f.size();
}

std::array<char, 8> padded8(const char* p, std::size_t n) noexcept {
  std::array<char, 8> a;
  a.fill(' ');
  std::memcpy(a.data(), p, std::min<std::size_t>(n, 8));
  return a;
}

// "N-HR" is N hours; other periods (MONTH, PERIOD, ...) have none.
std::int32_t hours_of(std::string_view ave) noexcept {
  const auto digits = static_cast<std::size_t>(std::find_if_not(ave.begin(), ave.end(), is_digit) - ave.begin());
  if (digits == 0 || digits > 4 || ave.substr(digits) != "-HR") return 0;
  std::int32_t h = 0;
  std::from_chars(ave.data(), ave.data() + digits, h);
  return h;
}

#if defined(KESTREL_PLOT_AVX2)
enum class Wide { none, avx2, avx512 };

// The widest build this processor runs (the checks include the system's
// support for the registers).
Wide wide_usable() noexcept {
  static const Wide wide = [] {
    if (!(__builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
          __builtin_cpu_supports("popcnt")))
      return Wide::none;
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") ? Wide::avx512 : Wide::avx2;
  }();
  return wide;
}
#endif

bool available(Build b) noexcept {
#if defined(KESTREL_PLOT_AVX2)
  if (b == Build::avx512) return wide_usable() == Wide::avx512;
  if (b == Build::avx2) return wide_usable() != Wide::none;
#endif
  return b == Build::fields || b == Build::baseline;
}

}  // namespace

std::string_view trim(std::string_view line) noexcept {
  std::size_t b = 0;
  std::size_t e = line.size();
  while (b < e && (is_blank(line[b]) || line[b] == '\n')) ++b;
  while (e > b && (is_blank(line[e - 1]) || line[e - 1] == '\n')) --e;
  return line.substr(b, e - b);
}

std::size_t split_fields(std::string_view line, std::string_view* fields, std::size_t max) noexcept {
  std::size_t n = 0;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i == line.size()) break;
    const std::size_t start = i;
    while (i < line.size() && !is_blank(line[i])) ++i;
    if (n < max) fields[n] = line.substr(start, i - start);
    ++n;
  }
  return n;
}

std::optional<double> read_number(std::string_view field) noexcept {
  bool exponent = false;
  return read_number_ex(field, exponent);
}

std::optional<std::size_t> value_columns(std::string_view line) noexcept {
  std::string_view f[10 + kMaxColumns];
  const std::size_t n = std::min(split_fields(line, f, std::size(f)), std::size(f));
  const auto is_date = [](std::string_view d) { return d.size() == 8 && std::all_of(d.begin(), d.end(), is_digit); };
  // The date ends the line, or comes before the network id.
  std::size_t c = 0;
  if (n >= 9 && is_date(f[n - 1])) {
    c = n - 8;
  } else if (n >= 10 && is_date(f[n - 2])) {
    c = n - 9;
  }
  if (c < 1 || c > kMaxColumns) return std::nullopt;
  for (std::size_t i = 0; i < 2 + c; ++i) {
    if (!read_number(f[i])) return std::nullopt;
  }
  return c;
}

namespace detail {

namespace {

// The period, group and date fields of a line.
void set_key_fields(Line& line, const std::string_view* key) noexcept {
  line.period = key[0].data();
  line.period_len = static_cast<std::uint32_t>(key[0].size());
  line.group = key[1].data();
  line.group_len = static_cast<std::uint32_t>(key[1].size());
  line.date = key[2].data();
  line.date_len = static_cast<std::uint32_t>(key[2].size());
}

}  // namespace

const char* line_end(const char* p, const char* end) noexcept {
  const auto* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
  const char* stop = nl != nullptr ? nl : end;
  for (const char* cr = p;; ++cr) {
    cr = static_cast<const char*>(std::memchr(cr, '\r', static_cast<std::size_t>(stop - cr)));
    if (cr == nullptr) return stop;
    if (cr + 1 == end || cr[1] != '\n') return cr;
  }
}

bool read_line(const char* p, std::size_t len, std::size_t columns, Line& out) noexcept {
  if (std::any_of(p, p + len, odd_byte)) return false;
  // X, Y, the values, ZELEV, ZHILL, ZFLAG, AVE, GRP, DATE.
  std::string_view f[8 + kMaxColumns];
  const std::size_t c = columns;
  if (c == 0 || c > kMaxColumns || split_fields({p, len}, f, 8 + c) < 8 + c) return false;
  for (const std::size_t i : {std::size_t{0}, std::size_t{1}, c + 2, c + 3, c + 4}) {
    if (!read_number(f[i])) return false;
  }
  for (std::size_t k = 0; k < c; ++k) {
    bool exponent = false;
    const auto v = read_number_ex(f[2 + k], exponent);
    if (!v) return false;
    out.value[k] = static_cast<float>(*v);
    // Unit factors never exceed 1: a finite float stays finite once scaled.
    if (std::isinf(out.value[k])) return false;
    if (k == 0) out.fixed = !exponent;
  }
  std::int32_t date = 0;
  const std::string_view* key = f + c + 5;
  if (!read_date(key[2], date)) return false;
  out.key = key[0].data();
  out.key_len = static_cast<std::uint32_t>(key[2].data() + key[2].size() - key[0].data());
  set_key_fields(out, key);
  return true;
}

void find_key_fields(Line& line) noexcept {
  std::string_view f[3];
  split_fields({line.key, line.key_len}, f, 3);
  set_key_fields(line, f);
}

void decode_key(const Line& line, Key& out) noexcept {
  read_date({line.date, line.date_len}, out.kurdat);
  out.kave = hours_of({line.period, line.period_len});
  out.grpid = padded8(line.group, line.group_len);
  out.ave = padded8(line.period, line.period_len);
}

}  // namespace detail

Scan::Scan(std::size_t max_entries_, std::size_t max_runs_)
    : max_entries(max_entries_),
      max_runs(max_runs_),
      values(std::make_unique_for_overwrite<float[]>(max_entries_ * kMaxColumns)),
      offsets(std::make_unique_for_overwrite<std::uint32_t[]>(max_entries_)),
      runs(std::make_unique<Run[]>(max_runs_)) {}

bool scan_with(Build build, const char* text, std::size_t begin, std::size_t end, Scan& out) noexcept {
  if (!available(build)) return false;
  switch (build) {
    case Build::fields:
      scan_loop<false>(text, begin, end, out);
      break;
    case Build::baseline:
      scan_loop<kHaveMasks>(text, begin, end, out);
      break;
#if defined(KESTREL_PLOT_AVX2)
    case Build::avx2:
      scan_avx2(text, begin, end, out);
      break;
    case Build::avx512:
      scan_avx512(text, begin, end, out);
      break;
#else
    case Build::avx2:
    case Build::avx512:
      break;
#endif
  }
  return true;
}

void scan(const char* text, std::size_t begin, std::size_t end, Scan& out) noexcept {
  static const Build widest = [] {
    for (const Build b : {Build::avx512, Build::avx2}) {
      if (available(b)) return b;
    }
    return Build::baseline;
  }();
  scan_with(widest, text, begin, end, out);
}

}  // namespace kestrel::plot
