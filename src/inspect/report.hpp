// The text outputs: the readable summary, JSON, the long-form CSV rows and
// the per-receptor table.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "inspect/reading/readers.hpp"

namespace kestrel::inspect {

// Values in `unit` (--unit), or each in the file's own when it is empty.
void print_summary(const Summary& s, const std::string& unit, std::ostream& out);
// The summary as a JSON document, and written out.
[[nodiscard]] Json summary_json(const Summary& s, const std::string& unit);
void print_json(const Json& doc, std::ostream& out);

// Which leading columns the CSV outputs have: the file's name (with several
// files) and the source group (when a POSTFILE is among them).
struct CsvColumns {
  bool file = false;
  bool group = false;
  std::string unit;  // of every value; empty: each file's own (the per-receptor table's ug/m3)
};

// One CSV row per value: [file,][group,]time, receptor, x_km, y_km, value, unit.
class CsvOut {
 public:
  CsvOut(std::ostream* out, CsvColumns columns) : out_(out), columns_(columns) {}
  void header();
  void row(const Summary& s, const Period& p, std::size_t k, double v);

 private:
  std::ostream* out_;
  CsvColumns columns_;
};

// One row per group and receptor: highest, second-highest, mean, unit; or,
// with statistics asked for, a column for each (and its period end).
void print_receptors_header(CsvColumns columns, std::span<const StatAsked> asked_stats, std::ostream& out);
void print_receptors(const Summary& s, CsvColumns columns, std::ostream& out);

}  // namespace kestrel::inspect
