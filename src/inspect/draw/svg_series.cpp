#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <optional>

#include "inspect/draw/envelope.hpp"
#include "inspect/draw/map_labels.hpp"
#include "inspect/draw/svg.hpp"
#include "inspect/draw/svg_draw.hpp"
#include "inspect/failure.hpp"
#include "inspect/format.hpp"
#include "inspect/reading/readers.hpp"

namespace kestrel::inspect {

namespace {

constexpr double kLeft = 80, kTop = 64, kWide = 780, kHigh = 280;  // the plot, px
constexpr int kWidth = 900, kHeight = 410;
// Spans up to this many hours (about a month) are drawn hour by hour.
constexpr std::int64_t kHourly = 31 * 24;

struct Point {
  Time end;
  double value = 0;  // ug/m3
};

struct TimeTick {
  Time at;
  std::string label;
};

std::string month_day_label(const Time& t, bool with_hour) {
  std::int32_t mo = 0, dy = 0;
  month_day(t, mo, dy);
  if (!with_hour || t.hr == 0) return fmt("%02d-%02d", mo, dy);
  return fmt("%02d:00", t.hr);
}

// Ticks every `step` hours, on hours that are multiples of it (from
// midnight, for steps of a day or more).
std::vector<TimeTick> hour_ticks(const Time& first, std::int64_t span, std::int32_t step) {
  const std::int32_t align = std::min(step, 24);
  Time t = first;
  while (t.hr % align != 0) t = add_hours(t, 1);
  std::vector<TimeTick> ticks;
  for (; hours_between(first, t) <= span; t = add_hours(t, step)) {
    // The first of hourly ticks tells its day too.
    std::string label = month_day_label(t, step < 24);
    if (ticks.empty() && step < 24 && t.hr != 0) label = month_day_label(t, false) + " " + label;
    ticks.push_back({t, label});
  }
  return ticks;
}

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Ticks on the first of every `step`-th month, or of every `step`-th year
// (`years`): a January's labelled with its year, another month's with its name.
std::vector<TimeTick> calendar_ticks(const Time& first, std::int64_t span, std::int32_t step, bool years) {
  std::vector<TimeTick> ticks;
  std::int32_t yr = first.yr, mo = 1;
  if (!years) {
    std::int32_t dy = 0;
    month_day(first, mo, dy);
  }
  for (;; years ? yr += step : mo += step) {
    while (mo > 12) mo -= 12, ++yr;
    if (years && yr % step != 0) continue;
    const auto t = from_date(yr, mo, 1, 0);
    if (!t) break;
    const std::int64_t h = hours_between(first, *t);
    if (h > span) break;
    if (h >= 0) ticks.push_back({*t, mo == 1 ? std::to_string(yr) : kMonths[mo - 1]});
  }
  return ticks;
}

// Months or years, whichever gives four to twelve ticks.
std::vector<TimeTick> long_ticks(const Time& first, std::int64_t span) {
  for (const std::int32_t step : {1, 2, 3, 6}) {
    if (span / (730 * step) <= 12) return calendar_ticks(first, span, step, false);
  }
  for (const std::int32_t step : {1, 2, 5, 10, 20, 50}) {
    if (span / (8766 * step) <= 12) return calendar_ticks(first, span, step, true);
  }
  return calendar_ticks(first, span, 100, true);
}

// The finest ticks of which no more than nine fit, for up to a month.
std::vector<TimeTick> time_ticks(const Time& first, std::int64_t span) {
  for (const std::int32_t step : {1, 2, 3, 6, 12, 24, 48}) {
    if (span / step <= 8) return hour_ticks(first, span, step);
  }
  return hour_ticks(first, span, 168);
}

// The receptor and group to draw: asked for, or those of the highest value.
std::pair<std::size_t, std::string> choice(const Summary& s, std::int32_t receptor) {
  if (receptor > s.layout.nrec) {
    throw Failure("--receptor " + std::to_string(receptor) + ": the file has " + count_of(s.layout.nrec, "receptor"));
  }
  if (receptor == 0) {
    const auto peak = s.peak();
    if (!peak) throw Failure("--svg-series: no value to draw");
    return {peak->k, peak->group};
  }
  const auto k = static_cast<std::size_t>(receptor - 1);
  std::string group = s.by_group.empty() ? s.source : s.by_group.begin()->first;
  double best = -INFINITY;
  for (const auto& [g, table] : s.by_group) {
    if (k < table.size() && table[k].count() > 0 && table[k].high() > best) best = table[k].high(), group = g;
  }
  return {k, group};
}

std::vector<Point> series(const Summary& s, std::size_t k, const std::string& group) {
  std::vector<Point> points;
  scan(s, [&](const Period& p) {
    if (!s.layout.dataset && shown(p.group) != group) return;
    const double v = p.value(k) * s.layout.to_own;
    if (std::isfinite(v)) points.push_back({p.end, v});
  });
  return points;
}

std::string title_of(const Summary& s, std::size_t k) {
  const std::string what = what_and_averaging(s);
  std::string t = (what.empty() ? "Values" : what + " values") + " at receptor " + std::to_string(k + 1);
  if (s.receptors.known()) t += fmt(" (%.3f, %.3f) km", s.receptors.x[k], s.receptors.y[k]);
  return t + ", " + pretty_unit(s);
}

std::string y_axis(const std::vector<double>& ys, const std::function<double(double)>& py, const std::string& unit) {
  const double ystep = ys.size() > 1 ? ys[1] - ys[0] : ys.back();
  std::string o = "<g stroke=\"#e4e4e4\">\n";
  for (const double y : ys) o += line(kLeft, py(y), kLeft + kWide, py(y));
  o += "</g>\n<g text-anchor=\"end\">\n";
  for (const double y : ys) o += text(kLeft - 8, py(y) + 4, tick_label(y, ystep));
  return o + "</g>\n" + vertical_text(kLeft - 60, kTop + kHigh / 2, unit);
}

std::string time_axis(const std::vector<TimeTick>& ticks, const std::string& title,
                      const std::function<double(const Time&)>& px) {
  std::string o = "<g stroke=\"#e4e4e4\">\n";
  for (const auto& t : ticks) o += line(px(t.at), kTop, px(t.at), kTop + kHigh);
  o += "</g>\n<g text-anchor=\"middle\">\n";
  for (const auto& t : ticks) o += text(px(t.at), kTop + kHigh + 18, t.label);
  return o + text(kLeft + kWide / 2, kTop + kHigh + 40, title) + "</g>\n";
}

// "period end, 1988", or without the year when the hours run into another.
std::string time_title(const Time& first, const Time& last) {
  const Time last_hour = add_hours(last, -1);
  return first.yr == last_hour.yr ? "period end, " + std::to_string(first.yr) : "period end";
}

// The y axis's ticks up to the highest value.
std::vector<double> value_ticks(double peak) {
  auto ys = nice_ticks(0, peak > 0 ? peak : 1, 5);
  if (ys.back() < peak) ys.push_back(ys.back() + (ys.size() > 1 ? ys[1] - ys[0] : peak));
  return ys;
}

std::string header(const Summary& s, std::size_t k, const std::string& group) {
  const std::string title = title_of(s, k);
  std::string o = svg_open(kWidth, kHeight, title) + text(kLeft, 26, title, "font-size=\"17\" font-weight=\"bold\"");
  std::string sub = periods_covered(s) + " · " + std::filesystem::path(s.file).filename().string();
  if (!s.layout.dataset) sub += " · group " + group;
  return o + text(kLeft, 46, sub, "font-size=\"13\"");
}

std::string peak_label(double x, double y, double value, const std::string& unit, const Time& end) {
  const bool left = x > kLeft + kWide * 0.7;
  std::string o = fmt("<circle cx=\"%.2f\" cy=\"%.2f\" r=\"4\" fill=\"#d00000\"/>\n", x, y);
  return o + text(left ? x - 8 : x + 8, y < kTop + 14 ? y + 16 : y + 4,
                  num(value) + " " + unit + ", period ending " + clock_time(end), label_attributes(left));
}

// Past about a month: each pixel column's range of hours, the daily maximum
// over it, read in one pass in fixed memory.
void write_long_series(const Summary& s, const std::string& file, std::size_t k, const std::string& group) {
  const Time first = *s.first;
  Envelope env(first, hours_between(first, *s.last), static_cast<int>(kWide));
  std::optional<Point> peak;
  scan(s, [&](const Period& p) {
    if (!s.layout.dataset && shown(p.group) != group) return;
    const double v = p.value(k) * s.layout.to_own;
    env.add(p.end, v);
    if (std::isfinite(v) && (!peak || v > peak->value)) peak = Point{p.end, v};
  });
  if (!peak) throw Failure("--svg-series: no value to draw");
  const std::vector<double> ys = value_ticks(peak->value);
  const double ymax = ys.back();
  const double hours = static_cast<double>(env.span() + 1);
  const std::function<double(const Time&)> px = [&](const Time& t) {
    return kLeft + kWide * static_cast<double>(hours_between(first, t)) / hours;
  };
  const std::function<double(double)> py = [&](double v) { return kTop + kHigh * (1 - v / ymax); };
  std::string o = header(s, k, group) + y_axis(ys, py, pretty_unit(s)) + time_axis(long_ticks(first, env.span()), time_title(first, *s.last), px);
  o += frame(kLeft, kTop, kWide, kHigh);
  // The range of each column as a vertical stroke one pixel wide.
  o += "<path fill=\"none\" stroke=\"#9ecae1\" stroke-width=\"1\" d=\"";
  for (std::size_t c = 0; c < env.low().size(); ++c) {
    if (std::isnan(env.low()[c])) continue;
    const double top = py(env.high()[c]), bottom = std::max(py(env.low()[c]), top + 0.6);
    o += fmt("M%.1f %.1fV%.1f", kLeft + static_cast<double>(c) + 0.5, bottom, top);
  }
  o += "\"/>\n<polyline fill=\"none\" stroke=\"#08306b\" stroke-width=\"0.9\" points=\"";
  // Where a pixel holds several days, their maxima's mean: a line that
  // still reads, the column's range keeping the peaks.
  const double per_column = hours / 24 / kWide;
  const auto group_days = static_cast<std::size_t>(std::max(1.0, std::floor(per_column)));
  const auto& daily = env.daily_max();
  for (std::size_t d = 0; d < daily.size(); d += group_days) {
    double sum = 0;
    int n = 0;
    for (std::size_t e = d; e < std::min(daily.size(), d + group_days); ++e) {
      if (!std::isnan(daily[e])) sum += daily[e], ++n;
    }
    const double middle = (env.day_middle(d) + env.day_middle(d + group_days - 1)) / 2;
    if (n > 0) o += fmt("%.2f,%.2f ", kLeft + kWide * std::clamp(middle, 0.0, hours) / hours, py(sum / n));
  }
  o += "\"/>\n";
  const std::string what = group_days > 1 ? fmt("daily maximum, mean of %zu days", group_days) : "daily maximum";
  const double lx = kLeft + kWide - 150 - text_width(what, 12, false), ly = kTop + kHigh + 40;
  o += fmt("<rect x=\"%.1f\" y=\"%.1f\" width=\"14\" height=\"10\" fill=\"#9ecae1\"/>", lx, ly - 9);
  o += text(lx + 20, ly, "range of the hours");
  o += line(lx + 135, ly - 4, lx + 149, ly - 4).insert(5, " stroke=\"#08306b\" stroke-width=\"1.5\"");
  o += text(lx + 155, ly, what);
  o += peak_label(px(peak->end), py(peak->value), peak->value, pretty_unit(s), peak->end);
  save(file, o + "</svg>\n");
}

}  // namespace

void write_series(const Summary& s, const std::string& file, std::int32_t receptor) {
  const auto [k, group] = choice(s, receptor);
  if (s.first && s.last && hours_between(*s.first, *s.last) > kHourly) return write_long_series(s, file, k, group);
  const std::vector<Point> points = series(s, k, group);
  if (points.empty()) throw Failure("--svg-series: no value to draw");
  const Time first = points.front().end;
  const std::int64_t span = std::max<std::int64_t>(1, hours_between(first, points.back().end));
  const auto peak =
      std::max_element(points.begin(), points.end(), [](const Point& a, const Point& b) { return a.value < b.value; });
  const std::vector<double> ys = value_ticks(peak->value);
  const double ymax = ys.back();
  const std::function<double(const Time&)> px = [&](const Time& t) {
    return kLeft + kWide * static_cast<double>(hours_between(first, t)) / static_cast<double>(span);
  };
  const std::function<double(double)> py = [&](double v) { return kTop + kHigh * (1 - v / ymax); };

  std::string o = header(s, k, group) + y_axis(ys, py, pretty_unit(s));
  o += time_axis(time_ticks(first, span), time_title(first, points.back().end), px);
  o += frame(kLeft, kTop, kWide, kHigh);

  // One line per run of consecutive hours; a gap in the hours breaks it.
  const char* width = points.size() > 1000 ? "0.6" : "1.2";
  o += fmt("<g fill=\"none\" stroke=\"#1f5fa8\" stroke-width=\"%s\">\n<polyline points=\"", width);
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (i > 0 && hours_between(points[i - 1].end, points[i].end) > 1) o += "\"/>\n<polyline points=\"";
    o += fmt("%.2f,%.2f ", px(points[i].end), py(points[i].value));
  }
  o += "\"/>\n</g>\n";
  o += peak_label(px(peak->end), py(peak->value), peak->value, pretty_unit(s), peak->end);
  save(file, o + "</svg>\n");
}

}  // namespace kestrel::inspect
