#include "inspect/format.hpp"

#include <array>
#include <cmath>
#include <charconv>
#include <cstdio>

#include "base/text.hpp"

namespace kestrel::inspect {

namespace {

std::string format_time(const Time& t, bool iso8601) {
  std::int32_t mo = 0, dy = 0;
  char buf[64];
  if (!month_day(t, mo, dy)) {
    std::snprintf(buf, sizeof buf, "year %d day %d hour %d", t.yr, t.jul, t.hr);
  } else {
    std::snprintf(buf, sizeof buf, iso8601 ? "%04d-%02d-%02dT%02d:00" : "%04d-%02d-%02d hour %02d", t.yr, mo, dy, t.hr);
  }
  return buf;
}

// Through std::to_chars, which no locale changes (printf's decimal point is
// the locale's).
std::string printed(double v, std::chars_format form, int precision) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, v, form, precision);
  return std::string(buf, res.ptr);
}

}  // namespace

std::string iso(const Time& t) { return format_time(t, true); }
std::string readable(const Time& t) { return format_time(t, false); }

std::string clock_time(const Time& t) {
  std::string s = iso(t);
  if (s.size() > 10 && s[10] == 'T') s[10] = ' ';
  return s;
}

std::string general(double v, int digits) { return printed(v, std::chars_format::general, digits); }

std::string num(double v) { return general(v, 7); }
std::string short_num(double v) { return general(v, 3); }
std::string fixed4(double v) { return printed(v, std::chars_format::fixed, 4); }
std::string fixed_to(double v, int decimals) { return printed(v, std::chars_format::fixed, decimals); }

Json json_number(double v) {
  if (!std::isfinite(v)) return nullptr;
  // The digits shown, read back: the library then writes them as they are.
  const std::string text = num(v);
  double shown = v;
  std::from_chars(text.data(), text.data() + text.size(), shown);
  return shown;
}

std::string exact_num(double v, int width) {
  if (!std::isfinite(v)) return {};
  std::array<char, 40> b{};
  const auto r = width == 4 ? std::to_chars(b.data(), b.data() + b.size(), static_cast<float>(v))
                            : std::to_chars(b.data(), b.data() + b.size(), v);
  return {b.data(), r.ptr};
}

Json json_exact(double v, int width) {
  if (!std::isfinite(v)) return nullptr;
  // The float's shortest digits read back as a double: the library writes
  // a double's shortest digits, which are then these.
  const std::string text = exact_num(v, width);
  double shown = v;
  std::from_chars(text.data(), text.data() + text.size(), shown);
  return shown;
}

Json json_object(std::initializer_list<std::pair<const char*, double>> items) {
#ifdef KESTREL_HAVE_JSON
  Json o = Json::object();
  for (const auto& [k, v] : items) o[k] = json_number(v);
  return o;
#else
  (void)items;
  return {};
#endif
}

std::string xml_text(std::string_view s) {
  std::string o;
  for (const char c : s) {
    if (c == '&') o += "&amp;";
    else if (c == '<') o += "&lt;";
    else if (c == '>') o += "&gt;";
    else o.push_back(c);
  }
  return o;
}

std::string csv_field(std::string_view s) {
  if (s.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(s);
  std::string o = "\"";
  for (const char c : s) {
    if (c == '"') o.push_back('"');
    o.push_back(c);
  }
  return o + "\"";
}

std::string shown(std::string_view s) {
  std::string o(s);
  for (char& c : o) {
    if (c == '\0') c = ' ';
  }
  return std::string(trim(o));
}

}  // namespace kestrel::inspect

namespace kestrel::inspect {

namespace {

struct Conversion {
  bool left = false, zero = false, plus = false;
  int width = 0, precision = -1;
  char type = 0;
};

std::string number_text(const PrintfArg& arg, const Conversion& c) {
  char buf[400];
  char* end = buf;
  auto integer = [&](auto v, int base) { end = std::to_chars(buf, buf + sizeof buf, v, base).ptr; };
  if (c.type == 'd' || c.type == 'i' || c.type == 'u' || c.type == 'x') {
    const int base = c.type == 'x' ? 16 : 10;
    if (const auto* s = std::get_if<long long>(&arg)) integer(*s, base);
    else if (const auto* u = std::get_if<unsigned long long>(&arg)) integer(*u, base);
    else if (const auto* d = std::get_if<double>(&arg)) integer(static_cast<long long>(*d), base);
  } else {
    double v = 0;
    if (const auto* d = std::get_if<double>(&arg)) v = *d;
    else if (const auto* s = std::get_if<long long>(&arg)) v = static_cast<double>(*s);
    else if (const auto* u = std::get_if<unsigned long long>(&arg)) v = static_cast<double>(*u);
    const int p = c.precision < 0 ? 6 : c.precision;
    const auto form = c.type == 'f' ? std::chars_format::fixed
                      : c.type == 'e' ? std::chars_format::scientific
                                      : std::chars_format::general;
    if (!std::isfinite(v)) return std::isnan(v) ? "nan" : v > 0 ? "inf" : "-inf";
    // printf's %g with precision 0 means 1.
    end = std::to_chars(buf, buf + sizeof buf, v, form, c.type == 'g' && p == 0 ? 1 : p).ptr;
  }
  std::string s(buf, end);
  if (c.plus && !s.empty() && s[0] != '-') s.insert(s.begin(), '+');
  return s;
}

}  // namespace

std::string c_printf(std::string_view format, std::span<const PrintfArg> args) {
  std::string out;
  std::size_t next = 0;
  auto take = [&]() -> const PrintfArg* { return next < args.size() ? &args[next++] : nullptr; };
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out.push_back(format[i]);
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    Conversion c;
    ++i;
    for (; i < format.size() && (format[i] == '-' || format[i] == '0' || format[i] == '+'); ++i) {
      c.left |= format[i] == '-', c.zero |= format[i] == '0', c.plus |= format[i] == '+';
    }
    for (; i < format.size() && format[i] >= '0' && format[i] <= '9'; ++i) c.width = c.width * 10 + (format[i] - '0');
    if (i < format.size() && format[i] == '.') {
      c.precision = 0;
      if (++i < format.size() && format[i] == '*') {
        const PrintfArg* a = take();
        if (a != nullptr && std::holds_alternative<long long>(*a)) c.precision = static_cast<int>(std::get<long long>(*a));
        ++i;
      }
      for (; i < format.size() && format[i] >= '0' && format[i] <= '9'; ++i) {
        c.precision = c.precision * 10 + (format[i] - '0');
      }
    }
    while (i < format.size() && (format[i] == 'z' || format[i] == 'l' || format[i] == 'h')) ++i;
    if (i >= format.size()) break;
    c.type = format[i];
    const PrintfArg* a = take();
    if (a == nullptr) continue;
    std::string piece;
    if (c.type == 's') {
      if (const auto* s = std::get_if<std::string_view>(a)) piece = *s;
    } else {
      piece = number_text(*a, c);
    }
    const std::size_t width = static_cast<std::size_t>(c.width);
    if (piece.size() < width) {
      const std::size_t pad = width - piece.size();
      if (c.left) {
        piece.append(pad, ' ');
      } else if (c.zero && c.type != 's') {
        piece.insert(piece.size() > 0 && (piece[0] == '-' || piece[0] == '+') ? 1 : 0, pad, '0');
      } else {
        piece.insert(0, pad, ' ');
      }
    }
    out += piece;
  }
  return out;
}

}  // namespace kestrel::inspect
