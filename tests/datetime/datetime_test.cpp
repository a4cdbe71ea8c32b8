#include "datetime/datetime.hpp"

#include <gtest/gtest.h>

#include <cstring>


namespace kestrel {
namespace {

TEST(Julday, ValidDates) {
  struct Case {
    int yr, mo, dy, want;
  };
  const Case cases[] = {
      {1988, 3, 1, 61}, {1987, 3, 1, 60},  {1988, 12, 31, 366}, {1988, 2, 29, 60},
      {1900, 3, 1, 61}, {1988, 3, 0, 60},  {88, 3, 1, 61},      {2001, 1, 1, 1},
  };
  for (const auto& c : cases) {
    const auto jul = julday(c.yr, c.mo, c.dy);
    ASSERT_TRUE(jul.ok());
    EXPECT_EQ(*jul, c.want) << c.yr << "-" << c.mo << "-" << c.dy;
  }
}

TEST(Julday, ImpossibleDatesHalt) {
  struct Case {
    int yr, mo, dy;
    std::string list;
  };
  // Text, one blank, the integer in 11 columns, its trailing blank, text...
  auto line = [](const char* yr, const char* mo, const char* dy) {
    auto field = [](const char* v) { return std::string(11 - std::strlen(v), ' ') + v; };
    return " Halted in JULDAY:  Invalid date - IYR =  " + field(yr) + "  IMO =  " + field(mo) + "  IDAY =  " +
           field(dy) + "\n";
  };
  const Case cases[] = {
      {2001, 2, 29, line("2001", "2", "29")},
      {1988, 4, 31, line("1988", "4", "31")},
      {1988, 13, 1, line("1988", "13", "1")},
      {1988, 0, 1, line("1988", "0", "1")},
  };
  for (const auto& c : cases) {
    const auto jul = julday(c.yr, c.mo, c.dy);
    ASSERT_FALSE(jul.ok());
    EXPECT_EQ(jul.status().text(), "Halted in JULDAY:  Invalid date   --   See the list file");
    ASSERT_EQ(jul.status().lines().size(), 1U);
    EXPECT_EQ(jul.status().lines()[0] + "\n", c.list);
  }
}

TEST(Incr, Moves) {
  struct Case {
    int yr, jul, hr, step, wyr, wjul, whr;
  };
  const Case cases[] = {
      {1988, 1, 0, -1, 1987, 365, 23},   {1988, 1, 24, -1, 1988, 1, 23},   {1989, 1, 0, -1, 1988, 366, 23},
      {1988, 366, 23, 1, 1989, 1, 0},    {1988, 10, 23, 1, 1988, 11, 0},   {1988, 10, 5, 3, 1988, 10, 8},
      {1988, 1, 0, 8784, 1989, 1, 0},    {1987, 1, 0, 8760, 1988, 1, 0},   {1988, 1, 0, 100000, 1999, 149, 16},
      {1988, 1, 5, -24, 1987, 365, 5},   {1988, 1, 24, 0, 1988, 1, 24},    {88, 1, 1, -1, 88, 1, 0},
  };
  for (const auto& c : cases) {
    const auto t = incr({c.yr, c.jul, c.hr}, c.step);
    ASSERT_TRUE(t.ok());
    EXPECT_EQ(*t, (DateHour{c.wyr, c.wjul, c.whr})) << c.yr << "/" << c.jul << "/" << c.hr << " by " << c.step;
  }
}

TEST(Incr, RefusesStepsBelowMinus24) {
  const auto t = incr({1988, 1, 5}, -25);
  ASSERT_FALSE(t.ok());
  EXPECT_EQ(t.status().text(), "Halted in INCR:  Invalid value of NHRINC   --   See the list file");
  ASSERT_EQ(t.status().lines().size(), 1U);
  EXPECT_EQ(t.status().lines()[0], " Halted in INCR:  Invalid value of NHRINC-- NHRINC = " + std::string(9, ' ') + "-25");
}

TEST(Deltt, ElapsedHours) {
  struct Case {
    int y1, j1, h1, y2, j2, h2;
    std::int64_t want;
  };
  const Case cases[] = {
      {1988, 1, 0, 1988, 366, 24, 8784}, {1987, 365, 23, 1988, 1, 1, 2}, {1988, 1, 1, 1987, 365, 23, -2},
      {1999, 1, 0, 2001, 1, 0, 17544},   {1988, 5, 5, 1988, 5, 5, 0},     {1988, 10, 24, 1988, 11, 0, 0},
      {1899, 1, 0, 1901, 1, 0, 17544},   {-3, 1, 0, 1, 1, 0, 4 * 8760 + 24},
  };
  for (const auto& c : cases) EXPECT_EQ(deltt({c.y1, c.j1, c.h1}, {c.y2, c.j2, c.h2}), c.want);
}

TEST(Deltt, MeasuresWhatIncrMoves) {
  for (const int step : {1, 23, 24, 25, 8783, 8784, 8785, 40000, 123457}) {
    const DateHour from{1987, 300, 7};
    const auto to = incr(from, step);
    ASSERT_TRUE(to.ok());
    EXPECT_EQ(deltt(from, *to), step);
    EXPECT_EQ(deltt(*to, from), -step);
  }
}

TEST(CalendarDate, InvertsJulday) {
  for (const int yr : {1987, 1988, 1900}) {
    for (int mo = 1; mo <= 12; ++mo) {
      for (const int dy : {1, 15, 28}) {
        std::int32_t m = 0, d = 0;
        const auto jul = julday(yr, mo, dy);
        ASSERT_TRUE(jul.ok());
        ASSERT_TRUE(calendar_date(yr, *jul, m, d));
        EXPECT_EQ(m, mo);
        EXPECT_EQ(d, dy);
      }
    }
  }
  std::int32_t m = 0, d = 0;
  EXPECT_TRUE(calendar_date(1988, 366, m, d));
  EXPECT_EQ(d, 31);
  EXPECT_FALSE(calendar_date(1987, 366, m, d));
  EXPECT_FALSE(calendar_date(1987, 0, m, d));
}

}  // namespace
}  // namespace kestrel
