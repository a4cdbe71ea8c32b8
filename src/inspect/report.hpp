// The text outputs: the readable summary, JSON and the long-form CSV rows.
#pragma once

#include <ostream>

#include "inspect/summary.hpp"

namespace kestrel::inspect {

void print_summary(const Summary& s, std::ostream& out);
void print_json(const Summary& s, std::ostream& out);

// One CSV row per value: time, receptor, x_km, y_km, value.
class CsvOut {
 public:
  explicit CsvOut(std::ostream* out) : out_(out) {}
  void row(const Time& t, std::int32_t receptor, const Receptors& r, double v);

 private:
  std::ostream* out_;
};

}  // namespace kestrel::inspect
