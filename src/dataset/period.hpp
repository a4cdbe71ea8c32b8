// The three records of one time period of a dataset.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "datetime/datetime.hpp"
#include "io/record_io.hpp"

namespace kestrel::dataset {


struct PeriodSource {
  float xc = 0.0F;  // centre of the receptors' bounding box, km
  float yc = 0.0F;
};

// Writes the times record and the source record. The values record follows
// with write_values or, in the conversion's hot path, encoded in place.
void write_period_head(io::RecordWriter& io8, const DateHour& begin, const DateHour& end, const PeriodSource& src);

void write_values(io::RecordWriter& io8, std::string_view speclev, std::span<const float> values);

// The bytes of a whole dataset of `receptors` receptors and `periods`
// periods: the header, then per period its two head records and values.
[[nodiscard]] constexpr std::uint64_t dataset_bytes(std::uint64_t receptors, std::uint64_t periods) noexcept {
  return 1031 + 12 * receptors + periods * (103 + 4 * receptors);
}

}  // namespace kestrel::dataset
