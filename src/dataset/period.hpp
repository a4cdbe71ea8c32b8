// The three records of one time period of a dataset.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "dataset/record_io.hpp"

namespace kestrel::dataset {

struct DateHour {
  std::int32_t yr = 0;
  std::int32_t jul = 0;
  std::int32_t hr = 0;
  friend bool operator==(const DateHour&, const DateHour&) = default;
};

struct PeriodSource {
  float xc = 0.0F;  // centre of the receptors' bounding box, km
  float yc = 0.0F;
};

// Writes the times record and the source record. The values record follows
// with write_values or, in the conversion's hot path, encoded in place.
void write_period_head(RecordWriter& io8, const DateHour& begin, const DateHour& end, const PeriodSource& src);

void write_values(RecordWriter& io8, std::string_view speclev, std::span<const float> values);

}  // namespace kestrel::dataset
