#include "inspect/format.hpp"

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
