// Each statistic against values worked out by hand: one receptor, a few
// hours each, chosen for the edges (ties, hour 00, calm and missing hours in
// a block, AERMOD's years from April, a run cut short, N beyond the
// periods), and the names read and refused.
#include "analysis/statistic.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/failure.hpp"

namespace kestrel::analysis {
namespace {

struct Hour {
  int yr, mo, dy, hr;  // the period's end; hour 0 is the last hour of the day before
  double value;
  HourMark mark = HourMark::valid;
};

struct Want {
  int yr = 0, mo = 0, dy = 0, hr = 0;  // yr 0: no date
};

Time at(int yr, int mo, int dy, int hr) { return {yr, *julday(yr, mo, dy), hr}; }

constexpr HourMark C = HourMark::calm, M = HourMark::missing;

TEST(AnalysisStatistic, EachAgainstValuesWorkedOutByHand) {
  struct Case {
    const char* name;
    const char* stat;
    std::vector<Hour> hours;
    double value;
    Want end;
    Flag flag = Flag::none;
    Quantity q = Quantity::concentration;
  };
  const std::vector<Hour> ties = {{1988, 3, 1, 1, 5}, {1988, 3, 1, 2, 7}, {1988, 3, 1, 3, 5}};
  // Hour 00 of 2 March closes 1 March: 1 March's maximum is 9, 2 March's 4.
  const std::vector<Hour> midnight = {{1988, 3, 1, 23, 3}, {1988, 3, 2, 0, 9}, {1988, 3, 2, 1, 4}};
  const std::vector<Hour> blocks = {{1988, 3, 1, 1, 3}, {1988, 3, 1, 2, 6}, {1988, 3, 1, 3, 9}, {1988, 3, 1, 4, 12}};
  // An 8-hour block with two calm hours (AERMOD writes 0 for them) and one
  // with a calm and a missing hour and only 5 valid: divided by 6.
  std::vector<Hour> calm8;
  for (int h = 1; h <= 16; ++h) {
    const HourMark m = h == 2 || h == 3 ? C : h == 10 ? C : h == 11 || h == 12 ? M : HourMark::valid;
    calm8.push_back({1996, 1, 1, h, m == HourMark::valid ? 6.0 : 0.0, m});
  }
  // Calm hours 2, 3 leave 6 valid: 36 / max(6, 6). Hours 10-12 leave 5: 30 / 6.
  const std::vector<Hour> two_years = {{1988, 12, 31, 12, 10}, {1989, 1, 1, 0, 2}, {1989, 6, 1, 5, 6}};
  const Case cases[] = {
      {"the highest", "max", ties, 7, {1988, 3, 1, 2}},
      {"ties count as separate hours, the earlier first", "high:2", ties, 5, {1988, 3, 1, 1}},
      {"and the later next", "high:3", ties, 5, {1988, 3, 1, 3}},
      {"N beyond the periods: zero, undated, as AERMOD prints it", "high:4", ties, 0, {}},
      {"zeros are never ranked", "max", {{1988, 3, 1, 1, 0}}, 0, {}},
      {"hour 00 is the day before's", "daily-max:1", midnight, 9, {1988, 3, 2, 0}},
      {"the next day's hour 01 starts a day", "daily-max:2", midnight, 4, {1988, 3, 2, 1}},
      {"the plain mean of every period", "mean", blocks, 7.5, {}},
      {"hours above, not at, the threshold", "exceed:6", blocks, 2, {}},
      {"a 3-hour block ends at hour 3", "avg:3:2", blocks, 6, {1988, 3, 1, 3}},
      {"a block with one hour present is that hour's", "avg:3:1", blocks, 12, {1988, 3, 1, 6}},
      {"a 24-hour block holds hour 00 of the next day, where it ends", "avg:24:1", midnight, 6, {1988, 3, 2, 0}},
      {"the next block starts at hour 01", "avg:24:2", midnight, 4, {1988, 3, 3, 0}},
      {"calm hours: sum over max(valid, 6)", "avg:8:1", calm8, 6, {1996, 1, 1, 8}, Flag::calm},
      {"calm and missing: flagged b, 30 / 6", "avg:8:2", calm8, 5, {1996, 1, 1, 16}, Flag::both},
      {"PERIOD: the sum over the valid hours", "period", calm8, 6, {}, Flag::both},
      {"a deposition block is its total, never calm-adjusted", "avg:8:2", calm8, 30, {1996, 1, 1, 16}, Flag::both,
       Quantity::deposition},
      {"a deposition PERIOD is its total", "period", calm8, 66, {}, Flag::both, Quantity::deposition},
      {"a calendar month", "avg:month:1", midnight, 16.0 / 3, {1988, 4, 1, 0}},
      {"a calm hour of 1 hour is flagged", "high:1", {{1988, 3, 1, 1, 0, C}, {1988, 3, 1, 2, 2, C}}, 2,
       {1988, 3, 1, 2}, Flag::calm},
      {"less than a year: the one partial period", "daily-max:1", two_years, 10, {1988, 12, 31, 12}},
      {"ANNUAL of a partial period is its PERIOD", "annual", blocks, 7.5, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const StatAsked asked = parse_stat(c.stat);
    Statistic s(asked, 1, c.q, asked.threshold);
    for (const Hour& h : c.hours) {
      const double v[] = {h.value};
      s.add(at(h.yr, h.mo, h.dy, h.hr), h.mark, v);
    }
    s.finish();
    const StatValue got = s.at(0);
    EXPECT_DOUBLE_EQ(got.value, c.value);
    EXPECT_EQ(static_cast<char>(got.flag), static_cast<char>(c.flag));
    ASSERT_EQ(got.end.has_value(), c.end.yr != 0);
    if (got.end) {
      EXPECT_EQ(hour_number(*got.end), hour_number(at(c.end.yr, c.end.mo, c.end.dy, c.end.hr)));
    }
  }
}

// A run of `days` days from `first` (hour 01), each day's value its day
// number in the run at one hour, 0 elsewhere.
Statistic run_of(const char* stat, Time first, int days) {
  Statistic s(parse_stat(stat), 1);
  for (int d = 0; d < days; ++d) {
    for (int h = 0; h < 24; ++h) {
      const double v[] = {h == 11 ? d + 1.0 : 0.0};
      s.add(time_of(hour_number(first) + d * 24 + h), HourMark::valid, v);
    }
  }
  s.finish();
  return s;
}

TEST(AnalysisStatistic, AermodYearsFromTheFirstHour) {
  const Time april = at(1996, 4, 1, 1);
  // Two years from April: 365 days to 31 March 1997, then 365 to 31 March 1998.
  const Statistic two = run_of("daily-max:1", april, 730);
  ASSERT_TRUE(two.years());
  EXPECT_EQ(two.years()->whole, 2);
  EXPECT_EQ(two.years()->left_out, 0);
  EXPECT_TRUE(two.years()->warning("daily-max:1").empty());
  EXPECT_DOUBLE_EQ(two.at(0).value, (365.0 + 730.0) / 2);

  // A year and a half: the half left out, its hours named.
  const Statistic half = run_of("daily-max:1", april, 365 + 183);
  EXPECT_EQ(half.years()->whole, 1);
  EXPECT_EQ(half.years()->left_out, 183 * 24);
  EXPECT_DOUBLE_EQ(half.at(0).value, 365.0);
  EXPECT_EQ(half.years()->warning("daily-max:1"),
            "daily-max:1: computed over 1 whole year (12 months each from the first hour); the 4392 hours from "
            "1997-04-01 hour 01 to 1997-09-30 hour 24 are left out");

  // Shorter than a year: the one partial period, said to be no design value.
  const Statistic short_run = run_of("avg-years:24:2", april, 100);
  EXPECT_TRUE(short_run.years()->partial);
  EXPECT_DOUBLE_EQ(short_run.at(0).value, 99.0 / 24);
  EXPECT_NE(short_run.years()->warning("x").find("not a design value"), std::string::npos);

  // The Nth highest 24-hour average of each year, averaged: 365/24 and 730/24.
  const Statistic pm = run_of("avg-years:24:1", april, 730);
  EXPECT_DOUBLE_EQ(pm.at(0).value, (365.0 + 730.0) / 2 / 24);
  // ANNUAL: each year's PERIOD averaged.
  const Statistic annual = run_of("annual", april, 730);
  EXPECT_DOUBLE_EQ(annual.at(0).value, ((1.0 + 365) / 2 + (366.0 + 730) / 2) / 2 / 24);
}

TEST(AnalysisStatistic, BlockDivisorIsAermods) {
  struct Case {
    int hours, valid;
    double divisor;
  };
  const Case cases[] = {{24, 24, 24}, {24, 17, 18}, {24, 20, 20}, {8, 3, 6}, {8, 7, 7}, {3, 1, 3}, {744, 100, 558}};
  for (const Case& c : cases) EXPECT_EQ(block_divisor(c.hours, c.valid), c.divisor) << c.hours << " " << c.valid;
}

TEST(AnalysisStatistic, NamesReadAndRefused) {
  struct Case {
    const char* text;
    const char* title;  // empty: refused with `error`
    const char* column;
    const char* error;
  };
  const Case cases[] = {
      {"max", "highest 1-hour value", "max", ""},
      {"high:13", "13th highest 1-hour value", "high_13", ""},
      {"daily-max:4", "4th highest daily maximum 1-hour value, mean over AERMOD's years", "daily_max_4", ""},
      {"mean", "plain mean of all hours, calm and missing ones included", "mean", ""},
      {"avg:8:1", "1st highest 8-hour average", "avg_8_1", ""},
      {"avg:month:2", "2nd highest monthly average", "avg_month_2", ""},
      {"avg-years:24:8", "8th highest 24-hour average of each year, mean over AERMOD's years", "avg_years_24_8", ""},
      {"period", "period average over the hours neither calm nor missing (AERMOD's PERIOD)", "period", ""},
      {"annual", "each year's period average, mean over AERMOD's years (AERMOD's ANNUAL)", "annual", ""},
      {"exceed:75.5", "hours above 75.5", "exceed_75.5", ""},
      {"high:0", "", "", "--stat high:0: the rank must be 1 to 1000"},
      {"daily-max:367", "", "", "--stat daily-max:367: the rank must be 1 to 366"},
      {"avg:5:1", "", "", "--stat avg:5:1: blocks of 1, 2, 3, 4, 6, 8, 12 or 24 hours, or month"},
      {"avg-years:month:1", "", "", "--stat avg-years:month:1: blocks of 1, 2, 3, 4, 6, 8, 12 or 24 hours"},
      {"avg:24", "", "", "--stat avg:24: the rank is missing (avg:24:N)"},
      {"exceed:1,5", "", "", "--stat exceed:1,5: the threshold must be a number, 0 or more"},
      {"median", "", "",
       "--stat takes max, high:N, avg:H:N, avg:month:N, period, annual, daily-max:N, avg-years:H:N, mean or "
       "exceed:T, not 'median'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    if (*c.title == '\0') {
      try {
        parse_stat(c.text);
        ADD_FAILURE() << "accepted";
      } catch (const Failure& e) {
        EXPECT_EQ(std::string(e.what()), c.error);
      }
      continue;
    }
    const StatAsked s = parse_stat(c.text);
    EXPECT_EQ(s.title(), c.title);
    EXPECT_EQ(s.column(), c.column);
  }
  EXPECT_EQ(parse_stat("avg:24:1").title(Quantity::deposition), "1st highest 24-hour total");
}

}  // namespace
}  // namespace kestrel::analysis
