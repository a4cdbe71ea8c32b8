#include "inspect/report.hpp"

#include <cstdio>

#include "inspect/format.hpp"

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

// The factor from what `from` holds to `to` (empty: `from` itself).
double factor(const std::string& from, const std::string& to) {
  if (to.empty() || to == from) return 1.0;
  return to == "g/m3" ? 1.0e-6 : 1.0e6;
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
          num(v * factor(s.unit, unit)) + ',' + unit + '\n';
  *out_ << line;
}

void print_receptors_header(CsvColumns columns, std::ostream& out) {
  out << lead_header(columns)
      << "receptor,x_km,y_km,highest,highest_end,second,second_end,mean,unit\n";
}

void print_receptors(const Summary& s, CsvColumns columns, std::ostream& out) {
  // The tables hold ug/m3 whatever the file.
  const std::string unit = columns.unit.empty() ? "ug/m3" : columns.unit;
  const double f = factor("ug/m3", unit);
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

void print_summary(const Summary& s, std::ostream& out) {
  out << s.file << ": " << s.kind << "\n";
  for (const auto& [k, v] : s.fields) out << "  " << k << ": " << v << "\n";
  out << "  periods: " << s.periods << "\n";
  if (s.first) out << "  first period ends: " << readable(*s.first) << "\n";
  if (s.last) out << "  last period ends: " << readable(*s.last) << "\n";
  if (s.hours.missing >= 0) {
    out << "  against the run period: " << count_of(s.hours.missing, "hour") << " missing, " << s.hours.repeated << " repeated, "
        << s.hours.outside << " outside\n";
  }
  out << "  values (" << s.unit << "): min " << num(s.stats.min()) << ", max " << num(s.stats.max()) << ", mean "
      << num(s.stats.mean()) << "\n";
  if (s.stats.nonfinite() > 0) out << "  values that are not numbers: " << s.stats.nonfinite() << "\n";
  out << "  highest values:\n";
  for (const auto& t : s.stats.top()) {
    out << "    " << num(t.value) << " at " << readable(t.time) << ", receptor " << t.receptor;
    if (s.receptors.known()) {
      const auto k = static_cast<std::size_t>(t.receptor - 1);
      out << " (" << fixed4(s.receptors.x[k]) << ", " << fixed4(s.receptors.y[k]) << ") km";
    }
    out << "\n";
  }
}

void print_json(const Summary& s, std::ostream& out) {
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
  out << ", \"unit\": " << json_string(s.unit) << ", \"min\": " << json_number(s.stats.min())
      << ", \"max\": " << json_number(s.stats.max()) << ", \"mean\": " << json_number(s.stats.mean())
      << ", \"highest\": [";
  first = true;
  for (const auto& t : s.stats.top()) {
    out << (first ? "" : ", ") << "{\"value\": " << json_number(t.value) << ", \"time\": " << json_string(iso(t.time))
        << ", \"receptor\": " << t.receptor;
    if (s.receptors.known()) {
      out << ", \"x_km\": " << json_number(s.receptors.x[static_cast<std::size_t>(t.receptor - 1)])
          << ", \"y_km\": " << json_number(s.receptors.y[static_cast<std::size_t>(t.receptor - 1)]);
    }
    out << "}";
    first = false;
  }
  out << "]}";
}

}  // namespace kestrel::inspect
