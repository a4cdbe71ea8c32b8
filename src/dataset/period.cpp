#include "dataset/period.hpp"

#include <array>
#include <cstring>

#include "io/byte_order.hpp"

namespace kestrel::dataset {

void write_period_head(io::RecordWriter& io8, const DateHour& begin, const DateHour& end, const PeriodSource& src) {
  // Both records laid out at once: with few receptors they are most of a
  // dataset's records.
  io8.append_records(80, [&](std::byte* r) {
    const std::array<std::int32_t, 8> times = {begin.yr, begin.jul, begin.hr, 0, end.yr, end.jul, end.hr, 0};
    io::put_i32(r, 32);
    for (std::size_t i = 0; i < times.size(); ++i) io::put_i32(r + 4 + 4 * i, times[i]);
    io::put_i32(r + 36, 32);
    // ktype 0, ksource 1: the one source "TOTAL" at the receptors' centre.
    io::put_i32(r + 40, 32);
    io::put_i32(r + 44, 0);
    io::put_i32(r + 48, 1);
    std::memcpy(r + 52, "TOTAL           ", 16);
    io::put_f32(r + 68, src.xc);
    io::put_f32(r + 72, src.yc);
    io::put_i32(r + 76, 32);
  });
}

void write_values(io::RecordWriter& io8, std::string_view speclev, std::span<const float> values) {
  io8.begin().text(speclev, 15).f32s(values).end();
}

}  // namespace kestrel::dataset
