// AERMOD's listing as read: the layouts whose reading decides what --check
// compares (flags after values, MAXTABLE's placeholder rows, titles of the
// multi-year tables, the output type of a deposition summary, SCIM).
#include "analysis/aermod_listing.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support.hpp"

namespace kestrel::analysis {
namespace {

Listing listing_of(const std::string& text) {
  test::TempDir dir;
  test::write_text(dir / "AERMOD.OUT", text);
  return read_listing((dir / "AERMOD.OUT").string());
}

const char* const kPolarGrid =
    "                                   *** NETWORK ID: POL1     ;  NETWORK TYPE: GRIDPOLR ***\n"
    "                                          *** ORIGIN FOR POLAR NETWORK ***\n"
    "                                      X-ORIG =     0.00 ;   Y-ORIG =      0.00  (METERS)\n";

TEST(AermodListing, TablesAsPrinted) {
  struct Case {
    const char* what;
    std::string text;
    const char* name;
    std::size_t values;
    double first;
    char flag;
    std::int32_t date;
  };
  const std::string rect_head =
      "                              *** THE   1ST HIGHEST 24-HR AVERAGE CONCENTRATION   VALUES FOR SOURCE GROUP:  "
      "STACK1   ***\n" +
      std::string(kPolarGrid) +
      "                                        ** CONC OF OTHER    IN MICROGRAMS/M**3                          **\n"
      " DIRECTION |                                                  DISTANCE (METERS)\n"
      " (DEGREES) |          100.00                 1000.00\n";
  const Case cases[] = {
      {"a flag glued to its date", rect_head + "      10.0 |     19.93847c(96061624)    140.70055 (96021824)\n",
       "1ST HIGHEST 24-HR", 2, 19.93847, 'c', 96061624},
      {"design values, undated",
       "    *** THE   2ND-HIGHEST MAX DAILY 1-HR AVERAGE CONCENTRATION    VALUES AVERAGED OVER   2 YEARS FOR SOURCE "
       "GROUP: ALL      ***\n" +
           std::string(kPolarGrid) +
           "   DIRECTION |                                                DISTANCE (METERS)\n"
           "   (DEGREES) |        100.00      1000.00\n"
           "       10.00 |     199.17608    428.16737\n",
       "2ND-HIGHEST MAX DAILY 1-HR OVER 2 YEARS", 2, 199.17608, ' ', 0},
      {"a discrete receptor's flag before a blank and its date",
       "                              *** THE   1ST HIGHEST  8-HR AVERAGE CONCENTRATION   VALUES FOR SOURCE GROUP:  ALL "
       "     ***\n"
       "                                             *** DISCRETE CARTESIAN RECEPTOR POINTS ***\n"
       "          4520.00     69780.00       21.64728m (88010416)                  5500.00     70450.00       12.67462  "
       "(88010116)\n",
       "1ST HIGHEST 8-HR", 2, 21.64728, 'm', 88010416},
      {"placeholder rows without a receptor type",
       "                              *** THE MAXIMUM  400   8-HR AVERAGE CONCENTRATION   VALUES FOR SOURCE GROUP:  "
       "ELEV_STK ***\n"
       "  192.       0.06297b(88010516) AT (   5110.00,   70850.00)  DC      232.       0.00000 (00000000) AT (      "
       "0.00,       0.00)    \n"
       "  241.       0.00000 (00000000) AT (      0.00,       0.00)          281.       0.00000 (00000000) AT (      "
       "0.00,       0.00)    \n",
       "MAXIMUM 400 8-HR", 4, 0.06297, 'b', 88010516},
      {"a period's hours",
       "                              *** THE PERIOD (  2184 HRS)     WET DEPOSITION      VALUES FOR SOURCE GROUP: ALL    "
       "  ***\n"
       "                                             *** DISCRETE CARTESIAN RECEPTOR POINTS ***\n"
       "           3500.00      67750.00        0.37437                        3600.00      69700.00        1.03079\n",
       "PERIOD", 2, 0.37437, ' ', 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Listing l = listing_of(c.text);
    ASSERT_EQ(l.tables.size(), 1U);
    const PrintedTable& t = l.tables.front();
    EXPECT_EQ(t.name(), c.name);
    ASSERT_EQ(t.values.size(), c.values);
    EXPECT_EQ(t.values[0].value, c.first);
    EXPECT_EQ(t.values[0].flag, c.flag);
    EXPECT_EQ(t.values[0].date, c.date);
    if (t.kind == TableKind::maximum) {
      EXPECT_EQ(t.values[1].rank, 232);
      EXPECT_TRUE(t.values[1].placeholder && t.values[3].placeholder);
      EXPECT_FALSE(t.values[0].placeholder);
    }
    if (t.kind == TableKind::period) {
      EXPECT_EQ(t.type, "WDEP");
    }
  }
}

// Summary pages print "DEPO" for every deposition type: the group met again
// under the same title begins the next type's pages, a group met first
// continues the page before.
TEST(AermodListing, SummaryPagesTakeTheRunsOutputTypesInOrder) {
  auto title = [](const char* type) {
    return std::string("  *** THE   1ST HIGHEST  1-HR     ") + type + "      VALUES FOR SOURCE GROUP:  ALL      ***\n";
  };
  auto summary = [](const char* unit, const char* group, const char* value) {
    return std::string("                        *** THE SUMMARY OF HIGHEST  1-HR RESULTS ***\n") + "   ** " + unit +
           " OF BENZENE  IN MICROGRAMS/M**2     **\n" + group + "      HIGH   1ST HIGH VALUE IS      " + value +
           "  ON 96011212: AT (      0.00,     100.00,     0.00,     0.00,    0.00)  DC\n";
  };
  const Listing l = listing_of(" *** MODELOPTs:    NonDFAULT  CONC  DDEP  WDEP  SCIM\n" + title("DRY DEPOSITION") +
                               title("WET DEPOSITION") + summary("DEPO", "ALL", "59.79570") +
                               summary("DEPO", "OTHER", "1.00000") + summary("DEPO", "ALL", "15.37290"));
  EXPECT_TRUE(l.scim);
  std::vector<std::string> got;
  std::vector<double> values;
  for (const auto& t : l.tables) {
    if (t.kind != TableKind::summary) continue;
    got.push_back(t.type + " " + t.group);
    values.push_back(t.values.at(0).value);
  }
  EXPECT_EQ(got, (std::vector<std::string>{"DDEP ALL", "DDEP OTHER", "WDEP ALL"}));
  EXPECT_EQ(values, (std::vector<double>{59.7957, 1.0, 15.3729}));
}

}  // namespace
}  // namespace kestrel::analysis
