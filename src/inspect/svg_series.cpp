#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>

#include "inspect/failure.hpp"
#include "inspect/format.hpp"
#include "inspect/svg.hpp"
#include "inspect/svg_draw.hpp"

namespace kestrel::inspect {

namespace {

constexpr double kLeft = 80, kTop = 64, kWide = 780, kHigh = 280;  // the plot, px
constexpr int kWidth = 900, kHeight = 410;

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

// Ticks at the first of every `step`-th month.
std::vector<TimeTick> month_ticks(const Time& first, std::int64_t span, std::int32_t step) {
  std::int32_t mo = 0, dy = 0;
  month_day(first, mo, dy);
  std::int32_t yr = first.yr;
  if (dy != 1 || first.hr != 0) ++mo;
  std::vector<TimeTick> ticks;
  for (;; mo += step) {
    while (mo > 12) mo -= 12, ++yr;
    const auto t = from_date(yr, mo, 1, 0);
    if (!t || hours_between(first, *t) > span) break;
    ticks.push_back({*t, fmt("%04d-%02d", yr, mo)});
  }
  return ticks;
}

// The finest ticks of which no more than nine fit.
std::vector<TimeTick> time_ticks(const Time& first, std::int64_t span) {
  for (const std::int32_t step : {1, 2, 3, 6, 12, 24, 48, 168, 336}) {
    if (span / step <= 8) return hour_ticks(first, span, step);
  }
  for (const std::int32_t step : {1, 2, 3, 6, 12}) {
    if (span / (730 * step) <= 8) return month_ticks(first, span, step);
  }
  return month_ticks(first, span, 24);
}

// The receptor and group to draw: asked for, or those of the highest value.
std::pair<std::size_t, std::string> choice(const Summary& s, std::int32_t receptor) {
  if (receptor > s.layout.nrec) {
    throw Failure("--receptor " + std::to_string(receptor) + ": the file has " + std::to_string(s.layout.nrec) +
                  " receptors");
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

std::string time_axis(const Time& first, std::int64_t span, const std::function<double(const Time&)>& px) {
  const auto ticks = time_ticks(first, span);
  std::string o = "<g stroke=\"#e4e4e4\">\n";
  for (const auto& t : ticks) o += line(px(t.at), kTop, px(t.at), kTop + kHigh);
  o += "</g>\n<g text-anchor=\"middle\">\n";
  for (const auto& t : ticks) o += text(px(t.at), kTop + kHigh + 18, t.label);
  return o + text(kLeft + kWide / 2, kTop + kHigh + 40, "period end, " + std::to_string(first.yr)) + "</g>\n";
}

}  // namespace

void write_series(const Summary& s, const std::string& file, std::int32_t receptor) {
  const auto [k, group] = choice(s, receptor);
  const std::vector<Point> points = series(s, k, group);
  if (points.empty()) throw Failure("--svg-series: no value to draw");
  const Time first = points.front().end;
  const std::int64_t span = std::max<std::int64_t>(1, hours_between(first, points.back().end));
  const auto peak =
      std::max_element(points.begin(), points.end(), [](const Point& a, const Point& b) { return a.value < b.value; });
  auto ys = nice_ticks(0, peak->value > 0 ? peak->value : 1, 5);
  if (ys.back() < peak->value) ys.push_back(ys.back() + (ys.size() > 1 ? ys[1] - ys[0] : peak->value));
  const double ymax = ys.back();
  const std::function<double(const Time&)> px = [&](const Time& t) {
    return kLeft + kWide * static_cast<double>(hours_between(first, t)) / static_cast<double>(span);
  };
  const std::function<double(double)> py = [&](double v) { return kTop + kHigh * (1 - v / ymax); };

  const std::string title = title_of(s, k);
  std::string o = svg_open(kWidth, kHeight, title) + text(kLeft, 26, title, "font-size=\"17\" font-weight=\"bold\"");
  std::string sub = periods_covered(s) + " · " + std::filesystem::path(s.file).filename().string();
  if (!s.layout.dataset) sub += " · group " + group;
  o += text(kLeft, 46, sub, "font-size=\"13\"") + y_axis(ys, py, pretty_unit(s)) + time_axis(first, span, px);
  o += frame(kLeft, kTop, kWide, kHigh);

  // One line per run of consecutive hours; a gap in the hours breaks it.
  const char* width = points.size() > 1000 ? "0.6" : "1.2";
  o += fmt("<g fill=\"none\" stroke=\"#1f5fa8\" stroke-width=\"%s\">\n<polyline points=\"", width);
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (i > 0 && hours_between(points[i - 1].end, points[i].end) > 1) o += "\"/>\n<polyline points=\"";
    o += fmt("%.2f,%.2f ", px(points[i].end), py(points[i].value));
  }
  o += "\"/>\n</g>\n";
  const double x = px(peak->end), y = py(peak->value);
  const bool left = x > kLeft + kWide * 0.7;
  o += fmt("<circle cx=\"%.2f\" cy=\"%.2f\" r=\"4\" fill=\"#d00000\"/>\n", x, y);
  o += text(left ? x - 8 : x + 8, y < kTop + 14 ? y + 16 : y + 4,
            num(peak->value) + " " + pretty_unit(s) + ", period ending " + clock_time(peak->end),
            label_attributes(left));
  save(file, o + "</svg>\n");
}

}  // namespace kestrel::inspect
