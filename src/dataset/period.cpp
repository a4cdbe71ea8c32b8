#include "dataset/period.hpp"

namespace kestrel::dataset {

void write_period_head(RecordWriter& io8, const DateHour& begin, const DateHour& end, const PeriodSource& src) {
  io8.begin().i32(begin.yr).i32(begin.jul).i32(begin.hr).i32(0).i32(end.yr).i32(end.jul).i32(end.hr).i32(0).end();
  // ktype 0, ksource 1: the one source "TOTAL" at the receptors' centre.
  io8.begin().i32(0).i32(1).text("TOTAL", 16).f32(src.xc).f32(src.yc).end();
}

void write_values(RecordWriter& io8, std::string_view speclev, std::span<const float> values) {
  io8.begin().text(speclev, 15).f32s(values).end();
}

}  // namespace kestrel::dataset
