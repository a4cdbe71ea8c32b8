#include "inspect/report.hpp"

#include <cmath>
#include <cstdio>

#include "inspect/format.hpp"
#include "inspect/units.hpp"

namespace kestrel::inspect {

namespace {

// x_km,y_km of receptor k, or two empty fields.
std::string coordinates(const Receptors& r, std::size_t k) {
  return r.known() ? num(r.x[k]) + ',' + num(r.y[k]) : ",";
}

std::string lead(const Summary& s, CsvColumns columns, const std::string& group) {
  std::string line;
  if (columns.file) line += csv_field(s.file) + ',';
  if (columns.group) line += csv_field(group) + ',';
  return line;
}

// Whether a statistic's values carry AERMOD's calm and missing flag: its
// blocks do, as its listing prints them; PERIOD and the years' means do not.
bool flagged(const StatAsked& asked) { return asked.kind == StatKind::avg; }

std::string flag_text(Flag f) { return f == Flag::none ? std::string() : std::string(1, static_cast<char>(f)); }

// The flag of statistic i at receptor k of `group`.
Flag flag_at(const Summary& s, std::size_t i, const std::string& group, std::size_t k) {
  const auto it = s.statistics.find(group);
  return it == s.statistics.end() || i >= it->second.size() ? Flag::none : it->second[i].at(k).flag;
}

std::string receptor_place(const Summary& s, std::size_t k) {
  std::string o = "receptor " + std::to_string(k + 1);
  if (s.receptors.known()) o += " (" + fixed4(s.receptors.x[k]) + ", " + fixed4(s.receptors.y[k]) + ") km";
  return o;
}

const YearSplit* years_of(const Summary& s, std::size_t i) {
  for (const auto& [group, list] : s.statistics) {
    if (i < list.size() && list[i].years()) return &*list[i].years();
  }
  return nullptr;
}

// "2 of AERMOD's years", "a partial year"
std::string years_text(const YearSplit& y) {
  return y.partial ? "one partial period, no design value" : count_of(y.whole, "whole year") + " from the first hour";
}

void print_statistics(const Summary& s, const std::string& unit, std::ostream& out) {
  const bool groups = s.statistics.size() > 1;
  for (std::size_t i = 0; i < s.statistics.begin()->second.size(); ++i) {
    const StatAsked& asked = s.statistics.begin()->second[i].asked();
    const StatUnit u = stat_unit(s, asked, unit);
    const double f = u.factor;
    out << "  " << asked.name << ", the " << asked.title(quantity_of(s));
    out << (asked.kind == StatKind::exceed ? "" : " (" + u.unit + ")");
    out << "; highest receptors:\n";
    if (const auto* years = years_of(s, i)) out << "    over " << years_text(*years) << "\n";
    for (const Summary::Peak& p : s.stat_top(i, 10)) {
      const Flag flag = flagged(asked) ? flag_at(s, i, p.group, p.k) : Flag::none;
      out << "    " << (std::isfinite(p.value) ? num(p.value * f) : std::string()) << flag_text(flag)
          << (p.dated ? " at " + readable(p.end) : std::string()) << ", " << receptor_place(s, p.k)
          << (groups ? ", group " + p.group : std::string()) << "\n";
    }
  }
}

#ifdef KESTREL_HAVE_JSON
Json json_statistics(const Summary& s, const std::string& unit) {
  Json all = Json::array();
  for (std::size_t i = 0; !s.statistics.empty() && i < s.statistics.begin()->second.size(); ++i) {
    const StatAsked& asked = s.statistics.begin()->second[i].asked();
    const StatUnit u = stat_unit(s, asked, unit);
    Json st;
    st["name"] = asked.name;
    st["title"] = asked.title(quantity_of(s));
    st["unit"] = u.unit;
    st["calm_and_missing_known"] = s.marks_known;
    if (const auto* years = years_of(s, i)) {
      st["years"] = years->whole;
      st["partial_year"] = years->partial;
      st["hours_left_out"] = years->left_out;
    }
    Json highest = Json::array();
    for (const Summary::Peak& p : s.stat_top(i, 10)) {
      Json h;
      h["value"] = asked.kind == StatKind::exceed ? Json(p.value) : json_exact(p.value * u.factor, s.layout.width);
      h["time"] = p.dated ? Json(iso(p.end)) : Json(nullptr);
      if (flagged(asked)) h["flag"] = flag_text(flag_at(s, i, p.group, p.k));
      h["receptor"] = p.k + 1;
      if (s.receptors.known()) {
        h["x_km"] = json_number(s.receptors.x[p.k]);
        h["y_km"] = json_number(s.receptors.y[p.k]);
      }
      h["group"] = p.group;
      highest.push_back(std::move(h));
    }
    st["highest"] = std::move(highest);
    all.push_back(std::move(st));
  }
  return all;
}
#endif

std::string lead_header(CsvColumns columns) {
  return std::string(columns.file ? "file," : "") + (columns.group ? "group," : "");
}

}  // namespace

void CsvOut::header() {
  if (out_ != nullptr) *out_ << lead_header(columns_) << "time,receptor,x_km,y_km,value,unit\n";
}

void CsvOut::row(const Summary& s, const Period& p, std::size_t k, double v) {
  if (out_ == nullptr) return;
  std::string line = lead(s, columns_, s.layout.dataset ? s.source : shown(p.group));
  const std::string& unit = columns_.unit.empty() ? s.unit : columns_.unit;
  line += iso(p.end) + ',' + std::to_string(k + 1) + ',' + coordinates(s.receptors, k) + ',' +
          exact_num(v * file_to_shown(s, columns_.unit), s.layout.width) + ',' + unit + '\n';
  *out_ << line;
}

void print_receptors_header(CsvColumns columns, std::span<const StatAsked> asked_stats, std::ostream& out) {
  out << lead_header(columns) << "receptor,x_km,y_km,";
  if (asked_stats.empty()) out << "highest,highest_end,second,second_end,mean,";
  for (const StatAsked& asked : asked_stats) {
    out << asked.column() << ',' << (asked.dated() ? asked.column() + "_end," : "")
        << (flagged(asked) ? asked.column() + "_flag," : "");
  }
  out << "unit\n";
}

void print_receptors(const Summary& s, CsvColumns columns, std::ostream& out) {
  // The tool's own unit (ug/m3, or ug/m2/h for deposition) unless --unit says otherwise.
  const std::string unit = shown_unit(s, columns.unit);
  const double f = own_to_shown(s, unit);
  const int w = s.layout.width;
  if (!s.statistics.empty() && !s.statistics.begin()->second.empty()) {
    // One unit column: the deposition totals' unit beside the hours' where both are asked.
    std::string units;
    for (const Statistic& st : s.statistics.begin()->second) {
      const std::string u = stat_unit(s, st.asked(), columns.unit).unit;
      if (st.asked().kind != StatKind::exceed && units.find(u) == std::string::npos) units += (units.empty() ? "" : " ") + u;
    }
    if (units.empty()) units = unit;
    for (const auto& [group, list] : s.statistics) {
      for (std::size_t k = 0; k < list.front().receptors(); ++k) {
        std::string line = lead(s, columns, group) + std::to_string(k + 1) + ',' + coordinates(s.receptors, k) + ',';
        for (const Statistic& st : list) {
          const StatValue v = st.at(k);
          const StatAsked& a = st.asked();
          line += (a.kind == StatKind::exceed ? exact_num(v.value, 8) : exact_num(v.value * stat_unit(s, a, columns.unit).factor, w)) + ',';
          if (a.dated()) line += (v.end ? iso(*v.end) : std::string()) + ',';
          if (flagged(a)) line += flag_text(v.flag) + ',';
        }
        out << line << units << '\n';
      }
    }
    return;
  }
  for (const auto& [group, table] : s.by_group) {
    for (std::size_t k = 0; k < table.size(); ++k) {
      const ReceptorStat& r = table[k];
      std::string line = lead(s, columns, group) + std::to_string(k + 1) + ',' + coordinates(s.receptors, k) + ',';
      if (r.count() > 0) line += exact_num(r.high() * f, w) + ',' + iso(r.high_end());
      else line += ',';
      if (r.count() > 1) line += ',' + exact_num(r.second() * f, w) + ',' + iso(r.second_end());
      else line += ",,";
      line += ',' + (r.count() > 0 ? exact_num(r.mean() * f, w) : std::string()) + ',' + unit + '\n';
      out << line;
    }
  }
}

void print_summary(const Summary& s, const std::string& unit, std::ostream& out) {
  const double f = file_to_shown(s, unit);
  out << s.file << ": " << s.kind << "\n";
  for (const auto& [k, v] : s.fields) out << "  " << k << ": " << v << "\n";
  out << "  periods: " << s.periods << "\n";
  if (s.first) out << "  first period ends: " << readable(*s.first) << "\n";
  if (s.last) out << "  last period ends: " << readable(*s.last) << "\n";
  if (s.hours.missing >= 0) {
    out << "  against the run period: " << count_of(s.hours.missing, "hour") << " missing, " << s.hours.repeated << " repeated, "
        << s.hours.outside << " outside\n";
  }
  out << "  values (" << (unit.empty() ? s.unit : unit) << "): min " << num(s.stats.min() * f) << ", max "
      << num(s.stats.max() * f) << ", mean " << num(s.stats.mean() * f) << "\n";
  if (s.stats.nonfinite() > 0) out << "  values that are not numbers: " << s.stats.nonfinite() << "\n";
  out << "  highest values:\n";
  for (const auto& t : s.stats.top()) {
    out << "    " << num(t.value * f) << " at " << readable(t.time) << ", "
        << receptor_place(s, static_cast<std::size_t>(t.receptor - 1)) << "\n";
  }
  if (!s.statistics.empty() && !s.statistics.begin()->second.empty()) print_statistics(s, unit, out);
}

Json summary_json(const Summary& s, const std::string& unit) {
#ifdef KESTREL_HAVE_JSON
  const double f = file_to_shown(s, unit);
  Json doc;
  doc["file"] = s.file;
  doc["kind"] = s.kind;
  Json header = Json::object();
  for (const auto& [k, v] : s.json_fields) header[k] = v;
  doc["header"] = std::move(header);
  doc["periods"] = s.periods;
  doc["first_period_end"] = s.first ? Json(iso(*s.first)) : Json(nullptr);
  doc["last_period_end"] = s.last ? Json(iso(*s.last)) : Json(nullptr);
  if (s.hours.missing >= 0) {
    doc["hours_missing"] = s.hours.missing;
    doc["hours_repeated"] = s.hours.repeated;
    doc["periods_outside_run"] = s.hours.outside;
  }
  doc["unit"] = unit.empty() ? s.unit : unit;
  doc["min"] = json_number(s.stats.min() * f);
  doc["max"] = json_number(s.stats.max() * f);
  doc["mean"] = json_number(s.stats.mean() * f);
  Json highest = Json::array();
  for (const auto& t : s.stats.top()) {
    Json h;
    h["value"] = json_number(t.value * f);
    h["time"] = iso(t.time);
    h["receptor"] = t.receptor;
    if (s.receptors.known()) {
      h["x_km"] = json_number(s.receptors.x[static_cast<std::size_t>(t.receptor - 1)]);
      h["y_km"] = json_number(s.receptors.y[static_cast<std::size_t>(t.receptor - 1)]);
    }
    highest.push_back(std::move(h));
  }
  doc["highest"] = std::move(highest);
  if (!s.statistics.empty() && !s.statistics.begin()->second.empty()) doc["statistics"] = json_statistics(s, unit);
  return doc;
#else
  (void)s;
  (void)unit;
  return {};
#endif
}

void print_json(const Json& doc, std::ostream& out) {
#ifdef KESTREL_HAVE_JSON
  // Invalid UTF-8 in a title or name is replaced, never a reason to fail.
  out << doc.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
#else
  (void)doc;
  (void)out;
#endif
}

}  // namespace kestrel::inspect
