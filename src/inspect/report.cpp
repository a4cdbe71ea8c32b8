#include "inspect/report.hpp"

#include <cstdio>

#include "inspect/format.hpp"

namespace kestrel::inspect {

void CsvOut::row(const Time& t, std::int32_t receptor, const Receptors& r, double v) {
  if (out_ == nullptr) return;
  std::string line = iso(t);
  line += ',' + std::to_string(receptor) + ',';
  if (r.known()) line += num(r.x[static_cast<std::size_t>(receptor - 1)]) + ',' + num(r.y[static_cast<std::size_t>(receptor - 1)]);
  else line += ',';
  line += ',' + num(v) + '\n';
  *out_ << line;
}

void print_summary(const Summary& s, std::ostream& out) {
  out << s.file << ": " << s.kind << "\n";
  for (const auto& [k, v] : s.fields) out << "  " << k << ": " << v << "\n";
  out << "  periods: " << s.periods << "\n";
  if (s.first) out << "  first period ends: " << readable(*s.first) << "\n";
  if (s.last) out << "  last period ends: " << readable(*s.last) << "\n";
  if (s.hours.missing >= 0) {
    out << "  against the run period: " << s.hours.missing << " hours missing, " << s.hours.repeated << " repeated, "
        << s.hours.outside << " outside\n";
  }
  out << "  values (" << s.unit << "): min " << num(s.stats.min()) << ", max " << num(s.stats.max()) << ", mean "
      << num(s.stats.mean()) << "\n";
  if (s.stats.nonfinite() > 0) out << "  values that are not numbers: " << s.stats.nonfinite() << "\n";
  out << "  highest values:\n";
  for (const auto& t : s.stats.top()) {
    out << "    " << num(t.value) << " at " << readable(t.time) << ", receptor " << t.receptor;
    if (s.receptors.known()) {
      char buf[80];
      std::snprintf(buf, sizeof buf, " (%.4f, %.4f) km", s.receptors.x[static_cast<std::size_t>(t.receptor - 1)],
                    s.receptors.y[static_cast<std::size_t>(t.receptor - 1)]);
      out << buf;
    }
    out << "\n";
  }
}

void print_json(const Summary& s, std::ostream& out) {
  out << "{\"file\": " << json_string(s.file) << ", \"kind\": " << json_string(s.kind);
  out << ", \"header\": {";
  bool first = true;
  for (const auto& [k, v] : s.fields) {
    out << (first ? "" : ", ") << json_string(k) << ": " << json_string(v);
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
