#include "inspect/check/computed.hpp"

#include <algorithm>

namespace kestrel::inspect {

namespace {

using analysis::PrintedTable;
using analysis::StatAsked;
using analysis::StatKind;
using analysis::TableKind;

constexpr bool block_hours(int h) { return h == 1 || h == 2 || h == 3 || h == 4 || h == 6 || h == 8 || h == 12 || h == 24 || h == analysis::kMonth; }

// The kind of table a summary page sums up, as a table of that kind.
PrintedTable summed(const PrintedTable& t) {
  PrintedTable s = t;
  if (t.kind == TableKind::summary) s.kind = t.of;
  return s;
}

}  // namespace

StatAsked stat_of(const PrintedTable& printed, int rank) {
  const PrintedTable t = summed(printed);
  StatAsked a;
  a.n = rank;
  a.hours = t.hours;
  switch (t.kind) {
    case TableKind::period:
      a.kind = StatKind::period, a.n = 1, a.hours = 1;
      break;
    case TableKind::annual:
      a.kind = StatKind::annual, a.n = 1, a.hours = 1;
      break;
    case TableKind::years:
      a.kind = t.daily ? StatKind::daily_max : StatKind::avg_years;
      if (t.daily) a.hours = 1;
      break;
    case TableKind::highest:
    case TableKind::maximum:
    case TableKind::summary:
      a.kind = t.hours == 1 ? StatKind::high : StatKind::avg;
      break;
  }
  a.name = t.name();
  return a;
}

std::string not_comparable(const PrintedTable& printed, bool marks_known, analysis::Quantity q) {
  const PrintedTable t = summed(printed);
  const bool timed = t.kind == TableKind::highest || t.kind == TableKind::maximum || t.kind == TableKind::years;
  if (timed && !block_hours(t.hours)) return "AERMOD's " + std::to_string(t.hours) + "-hour blocks do not divide a day";
  if (t.kind == TableKind::years && t.daily && t.hours != 1) return "a daily maximum of other than 1-hour values";
  if (t.kind == TableKind::years && !t.daily && t.hours == analysis::kMonth) return "monthly values over years";
  if (t.kind == TableKind::summary) return "";
  const bool one_hour = timed && t.hours == 1 && !(t.kind == TableKind::years && !t.daily);
  if (q == analysis::Quantity::concentration && !one_hour && !marks_known) {
    return "calm and missing hours unknown (no surface file found for the run)";
  }
  return "";
}

void Computed::Tops::keep(const analysis::ClosedBlock& b) {
  for (std::size_t k = 0; k < b.values.size(); ++k) {
    const double v = b.values[k];
    if (!(v > 0) || (top.size() == most && !(v > top.back().value))) continue;
    // After every value at least as high: AERMOD keeps the earlier of equal values first.
    const auto at = std::find_if(top.begin(), top.end(), [&](const Block& h) { return h.value < v; });
    top.insert(at, {v, b.end, b.flag, k});
    if (top.size() > most) top.pop_back();
  }
}

Computed::Computed(std::span<const PrintedTable* const> tables, std::size_t receptors, analysis::Quantity q)
    : n_(receptors) {
  std::map<Key, StatAsked> asked;
  for (const PrintedTable* t : tables) {
    if (t->kind == TableKind::maximum) {
      auto& tops = tops_[t->hours];
      // More than printed: the values equal at the cut (a ring of receptors
      // at one value, ranked in another order after the file's roundings) are
      // then still found.
      const auto most = 2 * static_cast<std::size_t>(t->rank) + 64;
      if (!tops) tops = std::make_unique<Tops>(Tops{analysis::BlockAverager(n_, t->hours, q), most, {}});
      tops->most = std::max(tops->most, most);
      continue;
    }
    std::vector<int> ranks;
    if (t->kind == TableKind::summary) {
      for (const auto& v : t->values) ranks.push_back(t->of == TableKind::highest ? v.rank : t->rank);
    } else {
      ranks.push_back(t->rank);
    }
    for (const int r : ranks) {
      const StatAsked a = stat_of(*t, r);
      auto [at, added] = asked.try_emplace(key_of(a), a);
      if (!added) at->second.n = std::max(at->second.n, a.n);
    }
  }
  for (const auto& [key, a] : asked) stats_[key] = std::make_unique<analysis::Statistic>(a, n_, q);
}

Computed::~Computed() = default;

void Computed::add(const analysis::Time& end, analysis::HourMark mark, std::span<const double> values) {
  for (auto& [key, s] : stats_) s->add(end, mark, values);
  for (auto& [hours, t] : tops_) {
    if (t->blocks.add(end, mark, values)) t->keep(t->blocks.closed());
  }
}

void Computed::finish() {
  for (auto& [key, s] : stats_) {
    s->finish();
    if (s->years() && !years_) years_ = s->years();
  }
  for (auto& [hours, t] : tops_) {
    if (t->blocks.finish()) t->keep(t->blocks.closed());
  }
}

std::optional<Computed::Ranked> Computed::stat(const StatAsked& a) const {
  const auto it = stats_.find(key_of(a));
  if (it == stats_.end() || a.n > it->second->asked().n) return std::nullopt;
  return Ranked{it->second.get(), a.n};
}

std::vector<Computed::Ranked> Computed::ranks_like(const StatAsked& a) const {
  std::vector<Ranked> out;
  for (const auto& [key, s] : stats_) {
    if (std::get<0>(key) != static_cast<int>(a.kind) || std::get<2>(key) != a.hours) continue;
    if (!shared(a)) {
      out.push_back({s.get(), s->asked().n});
      continue;
    }
    for (int r = 1; r <= s->asked().n; ++r) out.push_back({s.get(), r});
  }
  return out;
}

const std::vector<Computed::Block>* Computed::top(int hours) const {
  const auto it = tops_.find(hours);
  return it == tops_.end() ? nullptr : &it->second->top;
}

}  // namespace kestrel::inspect
