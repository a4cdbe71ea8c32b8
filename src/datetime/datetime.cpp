#include "datetime/datetime.hpp"

#include <algorithm>
#include <array>
#include <string>

#include "base/free_line.hpp"
#include "base/status.hpp"

namespace kestrel {

namespace {

constexpr std::array<std::int32_t, 12> kDaysBefore = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

std::int32_t month_length(std::int32_t iyr, std::int32_t imo) {
  switch (imo) {
    case 4:
    case 6:
    case 9:
    case 11:
      return 30;
    case 2:
      return is_leap(iyr) ? 29 : 28;
    default:
      return 31;
  }
}

// Hours of the whole years from `from` up to `to` - 1.
std::int64_t hours_of_years(std::int64_t from, std::int64_t to) {
  // Multiples of 4 in [from, to): floor division keeps negative years right.
  auto floor_div4 = [](std::int64_t v) { return v >= 0 ? v / 4 : -((-v + 3) / 4); };
  const std::int64_t leaps = floor_div4(to - 1) - floor_div4(from - 1);
  return (to - from) * 8760 + leaps * 24;
}

}  // namespace

Result<std::int32_t> julday(std::int32_t iyr, std::int32_t imo, std::int32_t iday) {
  if (imo < 1 || imo > 12 || iday > month_length(iyr, imo)) {
    constexpr std::string_view msg = "Halted in JULDAY:  Invalid date";
    return Status::halt(std::string(msg), true)
        .line(FreeLine().text(std::string(msg) + " - IYR = ").i32(iyr).text(" IMO = ").i32(imo).text(" IDAY = ").i32(iday).str());
  }
  std::int64_t jul = std::int64_t{kDaysBefore[static_cast<std::size_t>(imo - 1)]} + iday;
  if (imo > 2 && is_leap(iyr)) ++jul;
  return static_cast<std::int32_t>(jul);
}

Result<DateHour> incr(DateHour t, std::int32_t nhrinc) {
  if (nhrinc < -24) {
    constexpr std::string_view msg = "Halted in INCR:  Invalid value of NHRINC";
    return Status::halt(std::string(msg), true).line(FreeLine().text(std::string(msg) + "-- NHRINC = ").i32(nhrinc).str());
  }
  // Wide arithmetic: the triple may come from any integers of a control file.
  std::int64_t yr = t.yr;
  std::int64_t jul = t.jul;
  std::int64_t hr = t.hr;
  if (nhrinc > 0) {
    std::int64_t nleft = nhrinc;
    while (nleft > 0) {
      // Steps of at most one common year cross at most one year end.
      const std::int64_t ninc = std::min<std::int64_t>(nleft, 8760);
      nleft -= ninc;
      hr += ninc;
      if (hr <= 23) break;
      jul += hr / 24;
      hr %= 24;
      const std::int64_t days = is_leap(yr) ? 366 : 365;
      if (jul > days) {
        ++yr;
        jul -= days;
      }
    }
  } else if (nhrinc < 0) {
    hr += nhrinc;
    if (hr < 0) {
      hr += 24;
      --jul;
      if (jul < 1) {
        --yr;
        jul = is_leap(yr) ? 366 : 365;
      }
    }
  }
  return DateHour{static_cast<std::int32_t>(yr), static_cast<std::int32_t>(jul), static_cast<std::int32_t>(hr)};
}

bool calendar_date(std::int32_t iyr, std::int32_t ijul, std::int32_t& imo, std::int32_t& iday) noexcept {
  const std::int32_t leap = is_leap(iyr) ? 1 : 0;
  if (ijul < 1 || ijul > 365 + leap) return false;
  for (std::int32_t m = 12; m >= 1; --m) {
    const std::int32_t before = kDaysBefore[static_cast<std::size_t>(m - 1)] + (m > 2 ? leap : 0);
    if (ijul > before) {
      imo = m;
      iday = ijul - before;
      return true;
    }
  }
  return false;
}

std::int64_t deltt(const DateHour& j1, const DateHour& j2) noexcept {
  const std::int64_t jmin = std::min(j1.yr, j2.yr);
  const std::int64_t h1 = hours_of_years(jmin, j1.yr) + 24 * (std::int64_t{j1.jul} - 1) + j1.hr;
  const std::int64_t h2 = hours_of_years(jmin, j2.yr) + 24 * (std::int64_t{j2.jul} - 1) + j2.hr;
  return h2 - h1;
}

}  // namespace kestrel
