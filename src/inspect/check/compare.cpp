#include "inspect/check/compare.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "inspect/format.hpp"

namespace kestrel::inspect {

namespace {

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

bool same_hour(const Time& t, std::int32_t date) {
  const auto end = stamp_end(date);
  return end && four_digit(end->yr) == four_digit(t.yr) && end->jul == t.jul && end->hr == t.hr;
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
  return "(" + fixed_to(p.dist, 2) + " m at " + fixed_to(p.dir, 1) + " deg from " + (p.origin.empty() ? "the network's origin" : p.origin) + ")";
}

// A file's value against the printed one, within `tol`.
bool agrees(const PrintedValue& p, double ours, double tol) { return std::abs(ours - p.value) <= tol; }

}  // namespace

Tally::Tally(std::size_t receptors, int ranks, std::size_t most) : ranks_(receptors, ranks), most_(most) {}

void Tally::add(const Time& end, std::span<const double> values) {
  for (std::size_t k = 0; k < values.size(); ++k) {
    const double v = values[k];
    ranks_.add(k, v, end);
    if (most_ == 0 || !(v > 0) || (top_.size() == most_ && !(v > top_.back().value))) continue;
    // After every value at least as high: AERMOD keeps the earlier of equal values first.
    const auto at = std::find_if(top_.begin(), top_.end(), [&](const Hour& h) { return h.value < v; });
    top_.insert(at, {v, end, k});
    if (top_.size() > most_) top_.pop_back();
  }
}

double Rounding::tolerance(const PrintedValue& p) const {
  const double v = std::abs(p.value);
  double tol = 0.5 * std::pow(10.0, -p.decimals) + relative * v;
  if (plot && v > 0) tol += 0.5 * std::pow(10.0, std::floor(std::log10(v)) - 5);
  return tol;
}

int deepest_rank(std::span<const PrintedTable* const> tables) {
  int r = 0;
  for (const auto* t : tables) {
    if (!t->max_table) r = std::max(r, t->rank);
  }
  return r;
}

std::size_t longest_max(std::span<const PrintedTable* const> tables) {
  std::size_t n = 0;
  for (const auto* t : tables) {
    if (t->max_table) n = std::max(n, static_cast<std::size_t>(t->rank));
  }
  return n;
}

TableResult compare_table(const PrintedTable& t, const Tally& tally, const Places& places, const Rounding& r,
                          const std::string& label) {
  TableResult res;
  std::vector<bool> used(places.x_m.size(), false);
  const std::vector<std::size_t> order = by_x(places);
  auto disagree = [&](std::string text) { res.disagreements.push_back({std::move(text)}); };
  for (const PrintedValue& p : t.values) {
    ++res.compared;
    const double tol = r.tolerance(p);
    const auto at = place_of(p, places);
    auto found = at ? receptors_at(*at, places, order) : std::vector<std::size_t>{};
    const std::string aermod = "AERMOD " + fixed_to(p.value, p.decimals) + " " + date_text(p.date);
    if (found.empty()) {
      disagree("no receptor at " + place_text(p) + ": " + aermod);
      continue;
    }
    if (t.max_table) {
      const std::size_t i = static_cast<std::size_t>(p.rank) - 1;
      const bool have = i < tally.top().size();
      const double ours = have ? tally.top()[i].value : 0.0;
      const bool value_ok = agrees(p, ours, tol);
      // A value printed as zero has no hour to agree on.
      const bool hour_ok = std::abs(p.value) <= tol ||
                           std::any_of(tally.top().begin(), tally.top().end(), [&](const Tally::Hour& h) {
                             return agrees(p, h.value, tol) && same_hour(h.end, p.date) &&
                                    std::find(found.begin(), found.end(), h.k) != found.end();
                           });
      if (!value_ok || !hour_ok) {
        std::string mine = label + " " + fixed_to(ours, p.decimals + 2);
        if (have) {
          mine += " " + stamp_text(tally.top()[i].end) + " at receptor " + std::to_string(tally.top()[i].k + 1);
        }
        disagree("rank " + std::to_string(p.rank) + " at " + place_text(p) + ": " + aermod + ", " + mine);
      }
      continue;
    }
    // Coincident receptors each take one printed value, in order.
    const auto free = std::find_if(found.begin(), found.end(), [&](std::size_t k) { return !used[k]; });
    const std::size_t k = free != found.end() ? *free : found.front();
    used[k] = true;
    const StatValue ours = tally.ranks().nth(k, t.rank);
    const auto hours = tally.ranks().of(k);
    const bool value_ok = agrees(p, ours.value, tol);
    const bool hour_ok = std::abs(p.value) <= tol || std::any_of(hours.begin(), hours.end(), [&](const Ranks::Entry& e) {
                           return agrees(p, e.value, tol) && same_hour(e.end, p.date);
                         });
    if (!value_ok || !hour_ok) {
      disagree("receptor " + std::to_string(k + 1) + " " + place_text(p) + ", rank " + std::to_string(t.rank) + ": " +
               aermod + ", " + label + " " + fixed_to(ours.value, p.decimals + 2) + " " + stamp_text(ours.end));
    }
  }
  return res;
}

}  // namespace kestrel::inspect
