// Each statistic of --stat against values worked out by hand: one receptor,
// a few hours each, chosen for the edges (ties, hour 00, a leap year, a
// year cut short, blocks across midnight, N beyond the periods).
#include "inspect/stats/statistic.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inspect/failure.hpp"

namespace kestrel::inspect {
namespace {

struct Hour {
  int yr, mo, dy, hr;  // the period's end; hour 0 is the last hour of the day before
  double value;
};

struct Want {
  int yr = 0, mo = 0, dy = 0, hr = 0;  // yr 0: no date
};

Time at(int yr, int mo, int dy, int hr) { return *from_date(yr, mo, dy, hr); }

TEST(InspectStatistic, EachAgainstValuesWorkedOutByHand) {
  struct Case {
    const char* name;
    const char* stat;
    std::vector<Hour> hours;
    double value;
    Want end;
  };
  const std::vector<Hour> ties = {{1988, 3, 1, 1, 5}, {1988, 3, 1, 2, 7}, {1988, 3, 1, 3, 5}};
  // Hour 00 of 2 March closes 1 March: 1 March's maximum is 9, 2 March's 4.
  const std::vector<Hour> midnight = {{1988, 3, 1, 23, 3}, {1988, 3, 2, 0, 9}, {1988, 3, 2, 1, 4}};
  const std::vector<Hour> blocks = {{1988, 3, 1, 1, 3}, {1988, 3, 1, 2, 6}, {1988, 3, 1, 3, 9}, {1988, 3, 1, 4, 12}};
  const std::vector<Hour> two_years = {{1988, 12, 31, 12, 10}, {1989, 1, 1, 0, 2}, {1989, 6, 1, 5, 6}};
  const Case cases[] = {
      {"the highest", "max", ties, 7, {1988, 3, 1, 2}},
      {"ties count as separate hours, the earlier first", "high:2", ties, 5, {1988, 3, 1, 1}},
      {"and the later next", "high:3", ties, 5, {1988, 3, 1, 3}},
      {"N beyond the periods: zero, undated, as AERMOD prints it", "high:4", ties, 0, {}},
      {"zeros are never ranked", "max", {{1988, 3, 1, 1, 0}}, 0, {}},
      {"hour 00 is the day before's", "daily-max:1", midnight, 9, {1988, 3, 2, 0}},
      {"the next day's hour 01 starts a day", "daily-max:2", midnight, 4, {1988, 3, 2, 1}},
      {"the last hour of a leap year's day 366 and 1989's hour 00 are 1988's; the mean of the years", "daily-max:1",
       two_years, (10.0 + 6.0) / 2, {}},
      {"the mean of every period", "mean", blocks, 7.5, {}},
      {"hours above, not at, the threshold", "exceed:6", blocks, 2, {}},
      {"a 3-hour block ends at hour 3", "avg:3:2", blocks, 6, {1988, 3, 1, 3}},
      {"a block with one hour present is that hour's", "avg:3:1", blocks, 12, {1988, 3, 1, 6}},
      {"a 24-hour block holds hour 00 of the next day, where it ends", "avg:24:1", midnight, 6, {1988, 3, 2, 0}},
      {"the next block starts at hour 01", "avg:24:2", midnight, 4, {1988, 3, 3, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Statistic s(parse_stat(c.stat), 1, parse_stat(c.stat).threshold);
    for (const Hour& h : c.hours) {
      const double v[] = {h.value};
      s.add(at(h.yr, h.mo, h.dy, h.hr), v);
    }
    s.finish();
    const StatValue got = s.at(0);
    EXPECT_DOUBLE_EQ(got.value, c.value);
    ASSERT_EQ(got.end.has_value(), c.end.yr != 0);
    if (got.end) {
      EXPECT_EQ(*got.end, at(c.end.yr, c.end.mo, c.end.dy, c.end.hr));
    }
  }
}

// The days of each year counted for the design value's 75 % warning.
TEST(InspectStatistic, YearsAndTheirDays) {
  Statistic s(parse_stat("daily-max:1"), 1);
  const double v[] = {1};
  // 1988 is a leap year: its day 366 and the hour 00 after it are 1988's.
  for (int d = 1; d <= 366; ++d) s.add(add_hours(at(1988, 1, 1, 1), 24 * (d - 1)), v);
  s.add(at(1989, 1, 1, 0), v);
  // 1989 cut short: 30 days present.
  for (int d = 1; d <= 30; ++d) s.add(add_hours(at(1989, 1, 1, 5), 24 * (d - 1)), v);
  s.finish();
  ASSERT_EQ(s.years().size(), 2U);
  EXPECT_EQ(s.years()[0].year, 1988);
  EXPECT_EQ(s.years()[0].present, 366);
  EXPECT_EQ(s.years()[0].days, 366);
  EXPECT_FALSE(s.years()[0].short_of_data());
  EXPECT_EQ(s.years()[1].present, 30);
  EXPECT_EQ(s.years()[1].days, 365);
  EXPECT_TRUE(s.years()[1].short_of_data());
}

TEST(InspectStatistic, NamesReadAndRefused) {
  struct Case {
    const char* text;
    const char* title;  // empty: refused with `error`
    const char* column;
    const char* error;
  };
  const Case cases[] = {
      {"max", "highest 1-hour value", "max", ""},
      {"high:2", "2nd highest 1-hour value", "high_2", ""},
      {"high:13", "13th highest 1-hour value", "high_13", ""},
      {"daily-max:4", "4th highest daily maximum 1-hour value, mean over the years", "daily_max_4", ""},
      {"mean", "mean of all periods", "mean", ""},
      {"avg:8:1", "1st highest 8-hour block average", "avg_8_1", ""},
      {"exceed:75.5", "hours above 75.5", "exceed_75.5", ""},
      {"high:0", "", "", "--stat high:0: the rank must be 1 to 1000"},
      {"high:x", "", "", "--stat high:x: the rank must be 1 to 1000"},
      {"daily-max:367", "", "", "--stat daily-max:367: the rank must be 1 to 366"},
      {"avg:5:1", "", "", "--stat avg:5:1: blocks of 2, 3, 4, 6, 8, 12 or 24 hours"},
      {"exceed:-1", "", "", "--stat exceed:-1: the threshold must be a number, 0 or more"},
      {"exceed:1,5", "", "", "--stat exceed:1,5: the threshold must be a number, 0 or more"},
      {"median", "", "", "--stat takes max, high:N, daily-max:N, mean, avg:H:N or exceed:T, not 'median'"},
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
}

}  // namespace
}  // namespace kestrel::inspect
