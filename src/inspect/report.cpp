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

// A statistic's value in the unit shown: a count of hours is no amount.
std::string stat_number(const StatSpec& spec, double v, double f) {
  if (!std::isfinite(v)) return {};
  return num(spec.kind == StatKind::exceed ? v : v * f);
}

std::string receptor_place(const Summary& s, std::size_t k) {
  std::string o = "receptor " + std::to_string(k + 1);
  if (s.receptors.known()) o += " (" + fixed4(s.receptors.x[k]) + ", " + fixed4(s.receptors.y[k]) + ") km";
  return o;
}

// "1988 (366 of 366 days)", ...
std::string years_text(const std::vector<YearDays>& years) {
  std::string o;
  for (const YearDays& y : years) {
    o += (o.empty() ? "" : ", ") + std::to_string(y.year) + " (" + std::to_string(y.present) + " of " +
         std::to_string(y.days) + " days)";
  }
  return o;
}

const std::vector<YearDays>* years_of(const Summary& s, std::size_t i) {
  for (const auto& [group, list] : s.statistics) {
    if (i < list.size() && !list[i].years().empty()) return &list[i].years();
  }
  return nullptr;
}

void print_statistics(const Summary& s, const std::string& unit, std::ostream& out) {
  const std::string shown = shown_unit(s, unit);
  const double f = own_to_shown(s, shown);
  const bool groups = s.statistics.size() > 1;
  for (std::size_t i = 0; i < s.statistics.begin()->second.size(); ++i) {
    const StatSpec& spec = s.statistics.begin()->second[i].spec();
    out << "  " << spec.name << ", the " << spec.title();
    out << (spec.kind == StatKind::exceed ? " " + shown : " (" + shown + ")");
    out << "; highest receptors:\n";
    if (const auto* years = years_of(s, i)) out << "    over " << count_of(static_cast<std::int64_t>(years->size()), "year") << ": " << years_text(*years) << "\n";
    for (const Summary::Peak& p : s.stat_top(i, 10)) {
      out << "    " << stat_number(spec, p.value, f) << (p.dated ? " at " + readable(p.end) : std::string()) << ", "
          << receptor_place(s, p.k) << (groups ? ", group " + p.group : std::string()) << "\n";
    }
  }
}

void json_statistics(const Summary& s, const std::string& unit, std::ostream& out) {
  const std::string shown = shown_unit(s, unit);
  const double f = own_to_shown(s, shown);
  out << ", \"statistics\": [";
  for (std::size_t i = 0; !s.statistics.empty() && i < s.statistics.begin()->second.size(); ++i) {
    const StatSpec& spec = s.statistics.begin()->second[i].spec();
    out << (i ? ", " : "") << "{\"name\": " << json_string(spec.name) << ", \"title\": " << json_string(spec.title())
        << ", \"unit\": " << (spec.kind == StatKind::exceed ? std::string("\"hours\"") : json_string(shown));
    if (const auto* years = years_of(s, i)) {
      out << ", \"years\": [";
      for (std::size_t y = 0; y < years->size(); ++y) {
        out << (y ? ", " : "") << "{\"year\": " << (*years)[y].year << ", \"days_present\": " << (*years)[y].present
            << ", \"days\": " << (*years)[y].days << "}";
      }
      out << "]";
    }
    out << ", \"highest\": [";
    bool first = true;
    for (const Summary::Peak& p : s.stat_top(i, 10)) {
      out << (first ? "" : ", ") << "{\"value\": " << json_number(spec.kind == StatKind::exceed ? p.value : p.value * f)
          << ", \"time\": " << (p.dated ? json_string(iso(p.end)) : "null") << ", \"receptor\": " << p.k + 1;
      if (s.receptors.known()) {
        out << ", \"x_km\": " << json_number(s.receptors.x[p.k]) << ", \"y_km\": " << json_number(s.receptors.y[p.k]);
      }
      out << ", \"group\": " << json_string(p.group) << "}";
      first = false;
    }
    out << "]}";
  }
  out << "]";
}

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
          num(v * file_to_shown(s, columns_.unit)) + ',' + unit + '\n';
  *out_ << line;
}

void print_receptors_header(CsvColumns columns, std::span<const StatSpec> specs, std::ostream& out) {
  out << lead_header(columns) << "receptor,x_km,y_km,";
  if (specs.empty()) out << "highest,highest_end,second,second_end,mean,";
  for (const StatSpec& spec : specs) out << spec.column() << ',' << (spec.dated() ? spec.column() + "_end," : "");
  out << "unit\n";
}

void print_receptors(const Summary& s, CsvColumns columns, std::ostream& out) {
  // The tool's own unit (ug/m3, or ug/m2/h for deposition) unless --unit says otherwise.
  const std::string unit = shown_unit(s, columns.unit);
  const double f = own_to_shown(s, unit);
  if (!s.statistics.empty() && !s.statistics.begin()->second.empty()) {
    for (const auto& [group, list] : s.statistics) {
      for (std::size_t k = 0; k < list.front().receptors(); ++k) {
        std::string line = lead(s, columns, group) + std::to_string(k + 1) + ',' + coordinates(s.receptors, k) + ',';
        for (const Statistic& st : list) {
          const StatValue v = st.at(k);
          line += stat_number(st.spec(), v.value, f) + ',';
          if (st.spec().dated()) line += (v.end ? iso(*v.end) : std::string()) + ',';
        }
        out << line << unit << '\n';
      }
    }
    return;
  }
  for (const auto& [group, table] : s.by_group) {
    for (std::size_t k = 0; k < table.size(); ++k) {
      const ReceptorStat& r = table[k];
      std::string line = lead(s, columns, group) + std::to_string(k + 1) + ',' + coordinates(s.receptors, k) + ',';
      if (r.count() > 0) line += num(r.high() * f) + ',' + iso(r.high_end());
      else line += ',';
      if (r.count() > 1) line += ',' + num(r.second() * f) + ',' + iso(r.second_end());
      else line += ",,";
      line += ',' + (r.count() > 0 ? num(r.mean() * f) : std::string()) + ',' + unit + '\n';
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

void print_json(const Summary& s, const std::string& unit, std::ostream& out) {
  const double f = file_to_shown(s, unit);
  out << "{\"file\": " << json_string(s.file) << ", \"kind\": " << json_string(s.kind);
  out << ", \"header\": {";
  bool first = true;
  for (const auto& [k, v] : s.json_fields) {
    out << (first ? "" : ", ") << json_string(k) << ": " << v;
    first = false;
  }
  out << "}, \"periods\": " << s.periods;
  out << ", \"first_period_end\": " << (s.first ? json_string(iso(*s.first)) : "null");
  out << ", \"last_period_end\": " << (s.last ? json_string(iso(*s.last)) : "null");
  if (s.hours.missing >= 0) {
    out << ", \"hours_missing\": " << s.hours.missing << ", \"hours_repeated\": " << s.hours.repeated
        << ", \"periods_outside_run\": " << s.hours.outside;
  }
  out << ", \"unit\": " << json_string(unit.empty() ? s.unit : unit) << ", \"min\": " << json_number(s.stats.min() * f)
      << ", \"max\": " << json_number(s.stats.max() * f) << ", \"mean\": " << json_number(s.stats.mean() * f)
      << ", \"highest\": [";
  first = true;
  for (const auto& t : s.stats.top()) {
    out << (first ? "" : ", ") << "{\"value\": " << json_number(t.value * f) << ", \"time\": " << json_string(iso(t.time))
        << ", \"receptor\": " << t.receptor;
    if (s.receptors.known()) {
      out << ", \"x_km\": " << json_number(s.receptors.x[static_cast<std::size_t>(t.receptor - 1)])
          << ", \"y_km\": " << json_number(s.receptors.y[static_cast<std::size_t>(t.receptor - 1)]);
    }
    out << "}";
    first = false;
  }
  out << "]";
  if (!s.statistics.empty() && !s.statistics.begin()->second.empty()) json_statistics(s, unit, out);
  out << "}";
}

}  // namespace kestrel::inspect
