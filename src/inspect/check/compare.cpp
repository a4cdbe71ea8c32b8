#include "inspect/check/compare.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>

#include "inspect/format.hpp"

namespace kestrel::inspect {

namespace {

using analysis::PrintedTable;
using analysis::PrintedValue;
using analysis::TableKind;

constexpr double kPi = 3.14159265358979323846;
// Grid rows print y with one decimal; polar rows the direction with one.
constexpr double kPlace = 0.051;
constexpr double kDirection = 0.051 * kPi / 180.0;

struct Place {
  double x = 0, y = 0, tol = kPlace;
};

// A printed value's place: its x, y, or a distance and direction from a
// network's origin or a source.
std::optional<Place> place_of(const PrintedValue& p, const Places& places) {
  if (!p.polar) return Place{p.x_m, p.y_m, kPlace};
  double ox = p.x_m, oy = p.y_m;
  if (!p.origin.empty()) {
    const auto src = std::find_if(places.sources.begin(), places.sources.end(),
                                  [&](const SourcePlace& s) { return s.id == p.origin; });
    if (src == places.sources.end()) return std::nullopt;
    ox = src->x_km * 1000.0, oy = src->y_km * 1000.0;
  }
  const double a = p.dir * kPi / 180.0;
  return Place{ox + p.dist * std::sin(a), oy + p.dist * std::cos(a), kPlace + p.dist * kDirection};
}

// The receptors in order of x, so that a place's neighbours are found without
// passing every receptor for every printed value.
std::vector<std::size_t> by_x(const Places& places) {
  std::vector<std::size_t> order(places.x_m.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return places.x_m[a] < places.x_m[b]; });
  return order;
}

// The receptors within a place's tolerance, nearest first (the lower number first among equals).
std::vector<std::size_t> receptors_at(const Place& at, const Places& places, const std::vector<std::size_t>& order) {
  std::vector<std::size_t> found;
  auto from = std::lower_bound(order.begin(), order.end(), at.x - at.tol,
                               [&](std::size_t k, double x) { return places.x_m[k] < x; });
  for (; from != order.end() && places.x_m[*from] <= at.x + at.tol; ++from) {
    if (std::abs(places.y_m[*from] - at.y) <= at.tol) found.push_back(*from);
  }
  std::sort(found.begin(), found.end());
  auto d2 = [&](std::size_t k) { return std::hypot(places.x_m[k] - at.x, places.y_m[k] - at.y); };
  std::stable_sort(found.begin(), found.end(), [&](std::size_t a, std::size_t b) { return d2(a) < d2(b); });
  return found;
}

bool same_hour(const std::optional<Time>& t, std::int32_t date) {
  const auto end = stamp_end(date);
  return t && end && four_digit(end->yr) == four_digit(t->yr) && end->jul == t->jul && end->hr == t->hr;
}

std::string date_text(std::int32_t date) {
  std::string d = std::to_string(date);
  return "(" + std::string(8 - std::min<std::size_t>(8, d.size()), '0') + d + ")";
}

// An hour as AERMOD writes it: YYMMDDHH, hour 24 for the period ending at midnight.
std::string stamp_text(const std::optional<Time>& t) {
  if (!t) return "(no hour)";
  Time at = *t;
  if (at.hr == 0) at = add_hours(at, -1), at.hr = 24;
  std::int32_t mo = 0, dy = 0;
  if (!month_day(at, mo, dy)) return "(" + readable(*t) + ")";
  return date_text(((four_digit(at.yr) % 100) * 100 + mo) * 10000 + dy * 100 + at.hr);
}

std::string place_text(const PrintedValue& p) {
  if (!p.polar) return "(" + fixed_to(p.x_m, 2) + ", " + fixed_to(p.y_m, 2) + ")";
  return "(" + fixed_to(p.dist, 2) + " m at " + fixed_to(p.dir, 1) + " deg from " +
         (p.origin.empty() ? "the network's origin" : p.origin) + ")";
}

char flag_char(analysis::Flag f) { return static_cast<char>(f); }

std::string flag_text(char f) { return f == ' ' ? "" : std::string(1, f); }

// AERMOD's value as printed, with its flag and date where it has them.
std::string aermod_text(const PrintedValue& p, bool dated) {
  return "AERMOD " + fixed_to(p.value, p.decimals) + flag_text(p.flag) + (dated ? " " + date_text(p.date) : "");
}

std::string ours_text(const std::string& label, const analysis::StatValue& v, int decimals, bool dated, bool flagged) {
  return label + " " + fixed_to(v.value, decimals + 2) + (flagged ? flag_text(flag_char(v.flag)) : "") +
         (dated ? " " + stamp_text(v.end) : "");
}

bool agrees(double printed, double ours, double tol) { return std::abs(ours - printed) <= tol; }

class Comparer {
 public:
  Comparer(const PrintedTable& t, const Computed& c, const Places& places, const Rounding& r, const std::string& label)
      : t_(t), c_(c), places_(places), r_(r), label_(label), order_(by_x(places)), used_(places.x_m.size(), false) {}

  TableResult run() {
    for (const PrintedValue& p : t_.values) {
      ++res_.compared;
      if (t_.kind == TableKind::maximum) maximum(p);
      else if (t_.kind == TableKind::summary) summary(p);
      else per_receptor(p);
    }
    return std::move(res_);
  }

 private:
  void disagree(std::string text) { res_.disagreements.push_back(std::move(text)); }

  // A value of more than one hour: a block, a period, a mean over years.
  [[nodiscard]] double tolerance_of(const PrintedValue& p) const {
    const TableKind k = t_.kind == TableKind::summary ? t_.of : t_.kind;
    const bool several = t_.hours != 1 || k == TableKind::period || k == TableKind::annual || k == TableKind::years;
    return r_.tolerance(p, several);
  }

  std::vector<std::size_t> found(const PrintedValue& p) const {
    const auto at = place_of(p, places_);
    return at ? receptors_at(*at, places_, order_) : std::vector<std::size_t>{};
  }

  // The flag AERMOD prints beside a block of several hours.
  [[nodiscard]] bool flagged() const { return t_.hours != 1 && t_.kind != TableKind::period && t_.kind != TableKind::annual && t_.kind != TableKind::years && !(t_.kind == TableKind::summary && t_.of != TableKind::highest); }
  [[nodiscard]] bool dated() const {
    const TableKind k = t_.kind == TableKind::summary ? t_.of : t_.kind;
    return k == TableKind::highest || k == TableKind::maximum;
  }

  // RECTABLE, PERIOD, ANNUAL and the tables over years: one value a receptor.
  void per_receptor(const PrintedValue& p) {
    const auto at = found(p);
    if (at.empty()) return disagree("no receptor at " + place_text(p) + ": " + aermod_text(p, dated()));
    // Coincident receptors each take one printed value, in order.
    const auto free = std::find_if(at.begin(), at.end(), [&](std::size_t k) { return !used_[k]; });
    const std::size_t k = free != at.end() ? *free : at.front();
    used_[k] = true;
    const analysis::StatAsked a = stat_of(t_, t_.rank);
    const auto s = c_.stat(a);
    if (!s) return disagree("receptor " + std::to_string(k + 1) + ": nothing computed for " + t_.name());
    const analysis::StatValue ours = s->at(k);
    const double tol = tolerance_of(p);
    const bool value_ok = agrees(p.value, ours.value, tol);
    const bool zero = std::abs(p.value) <= tol;
    // Equal values may rank in another order: the date of any rank with this value will do.
    bool hour_ok = !dated() || zero || same_hour(ours.end, p.date);
    if (!hour_ok) {
      for (const auto& other : c_.ranks_like(a)) {
        const auto v = other.at(k);
        if (agrees(p.value, v.value, tol) && same_hour(v.end, p.date)) hour_ok = true;
      }
    }
    const bool flag_ok = !flagged() || zero || p.flag == flag_char(ours.flag);
    if (value_ok && hour_ok && flag_ok) return;
    const std::string rank = t_.kind == TableKind::period || t_.kind == TableKind::annual ? "" : ", rank " + std::to_string(t_.rank);
    disagree("receptor " + std::to_string(k + 1) + " " + place_text(p) + rank + ": " + aermod_text(p, dated()) + ", " +
             ours_text(label_, ours, p.decimals, dated(), flagged()));
  }

  // MAXTABLE: the Nth highest block of all receptors, where AERMOD placed it.
  void maximum(const PrintedValue& p) {
    const auto* top = c_.top(t_.hours);
    const std::size_t i = static_cast<std::size_t>(p.rank) - 1;
    const bool have = top != nullptr && i < top->size();
    const double ours = have ? (*top)[i].value : 0.0;
    const double tol = tolerance_of(p);
    // A table short of values: its placeholder rows stand for no block at all.
    if (p.placeholder) {
      if (!agrees(0.0, ours, tol)) {
        disagree("rank " + std::to_string(p.rank) + ": AERMOD none (0.00000), " + label_ + " " + fixed_to(ours, 7) + " " +
                 stamp_text((*top)[i].end) + " at receptor " + std::to_string((*top)[i].k + 1));
      }
      return;
    }
    const auto at = found(p);
    if (at.empty()) return disagree("no receptor at " + place_text(p) + ": " + aermod_text(p, true));
    const bool value_ok = agrees(p.value, ours, tol);
    const bool hour_ok = std::abs(p.value) <= tol || (top != nullptr && std::any_of(top->begin(), top->end(), [&](const Computed::Block& h) {
                                                        return agrees(p.value, h.value, tol) && same_hour(h.end, p.date) &&
                                                               (!flagged() || p.flag == flag_char(h.flag)) &&
                                                               std::find(at.begin(), at.end(), h.k) != at.end();
                                                      }));
    if (value_ok && hour_ok) return;
    std::string mine = label_ + " " + fixed_to(ours, p.decimals + 2);
    if (have) {
      mine += flag_text(flag_char((*top)[i].flag)) + " " + stamp_text((*top)[i].end) + " at receptor " + std::to_string((*top)[i].k + 1);
    }
    disagree("rank " + std::to_string(p.rank) + " at " + place_text(p) + ": " + aermod_text(p, true) + ", " + mine);
  }

  // A summary row: the highest over the receptors (of a rank, for RECTABLE's
  // summary), or the Nth highest receptor's value.
  void summary(const PrintedValue& p) {
    const bool highest = t_.of == TableKind::highest;
    const auto s = c_.stat(stat_of(t_, highest ? p.rank : t_.rank));
    if (!s) return disagree("rank " + std::to_string(p.rank) + ": nothing computed");
    std::vector<analysis::StatValue> all(c_.receptors());
    for (std::size_t k = 0; k < all.size(); ++k) all[k] = s->at(k);
    std::vector<std::size_t> order(all.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return all[a].value > all[b].value; });
    const std::size_t i = highest ? 0 : static_cast<std::size_t>(p.rank) - 1;
    const analysis::StatValue ours = i < order.size() ? all[order[i]] : analysis::StatValue{};
    const double tol = tolerance_of(p);
    const auto at = found(p);
    const bool value_ok = agrees(p.value, ours.value, tol);
    const bool place_ok = std::abs(p.value) <= tol || std::any_of(at.begin(), at.end(), [&](std::size_t k) {
                            return agrees(p.value, all[k].value, tol) && (!dated() || same_hour(all[k].end, p.date));
                          });
    if (value_ok && place_ok) return;
    std::string mine = ours_text(label_, ours, p.decimals, dated(), flagged());
    if (i < order.size()) mine += " at receptor " + std::to_string(order[i] + 1);
    const std::string what = "rank " + std::to_string(p.rank) + (highest ? " (the highest of all receptors)" : "");
    disagree(what + " at " + place_text(p) + ": " + aermod_text(p, dated()) + ", " + mine);
  }

  const PrintedTable& t_;
  const Computed& c_;
  const Places& places_;
  const Rounding& r_;
  const std::string& label_;
  std::vector<std::size_t> order_;
  std::vector<bool> used_;
  TableResult res_;
};

}  // namespace

double Rounding::tolerance(const PrintedValue& p, bool several) const {
  const double v = std::abs(p.value);
  double tol = 0.5 * std::pow(10.0, -p.decimals) + relative * v;
  // Over several hours each hour's rounding adds: a relative 5e-6 of an
  // exponent form's values, half a unit of the fixed form's fifth decimal.
  if (plot && v > 0) tol += several ? 5e-6 * v + 0.5e-5 : 0.5 * std::pow(10.0, std::floor(std::log10(v)) - 5);
  return tol;
}

TableResult compare_table(const PrintedTable& t, const Computed& computed, const Places& places, const Rounding& r,
                          const std::string& label) {
  return Comparer(t, computed, places, r, label).run();
}

}  // namespace kestrel::inspect
