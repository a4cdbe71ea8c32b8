#include "setup/setup.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <functional>
#include <random>
#include <sstream>

#include "base/text.hpp"
#include "base/fields.hpp"
#include "support.hpp"

namespace kestrel {
namespace {

using test::run_setup;
using test::SetupRun;

// The control record's texts as the dataset receives them.
std::string title(const Ctrl& c, std::size_t i) { return c.atitle[i] ? fixed(*c.atitle[i], 80) : std::string(80, '\0'); }
std::string species(const Ctrl& c) { return fixed(c.aerspec, 12); }
int nrec(const Ctrl& c) { return static_cast<int>(c.receptors.size()); }
int nfil(const Ctrl& c) { return static_cast<int>(c.aernam.size()); }

// A small valid control file; each part can be replaced.
struct Deck {
  std::string co = "CO STARTING\n   TITLEONE  Test run\n   MODELOPT  DFAULT CONC\n   POLLUTID  SO2\nCO FINISHED\n";
  std::string re = "RE STARTING\n   DISCCART  1000.0  2000.0  5.0\nRE FINISHED\n";
  std::string me = "ME STARTING\n   STARTEND  88 1 1 88 1 2\nME FINISHED\n";
  std::string ou = "OU STARTING\n   POSTFILE  1  ALL  UNFORM  post.bin\nOU FINISHED\n";
  [[nodiscard]] std::string text() const { return co + re + me + ou; }
};

std::string halt_text(std::string_view msg, bool pointer = true) {
  return std::string(msg) + (pointer ? "   --   See the list file" : "");
}

TEST(Setup, ReadsEveryKeywordOfASmallRun) {
  const SetupRun r = run_setup(
      "CO STARTING\n   TITLEONE  Sample run\n   MODELOPT  DFAULT CONC\n   POLLUTID  so2\nCO FINISHED\n"
      "RE STARTING\n   DISCCART  500.0  -250.0  12.5\nRE FINISHED\n"
      "ME STARTING\n   STARTEND  2010 1 1 2010 12 31\nME FINISHED\n"
      "OU STARTING\n   POSTFILE  1  ALL  UNFORM  post01.bin  31\n   POSTFILE  24 ALL  UNFORM  post24.bin  32\n"
      "OU FINISHED\n");
  const Ctrl& c = r.ctrl;
  EXPECT_TRUE(r.halt.ok());
  EXPECT_EQ(title(c, 0), fixed("SAMPLE RUN", 80));
  EXPECT_EQ(title(c, 1), std::string(80, '\0'));
  EXPECT_EQ(species(c), "SO2         ");
  EXPECT_EQ(nrec(c), 1);
  EXPECT_EQ(c.receptors[0].x, 0.5F);
  EXPECT_EQ(c.receptors[0].y, -0.25F);
  EXPECT_EQ(c.receptors[0].zelev, 12.5F);
  EXPECT_EQ((std::array{c.isyr, c.ismo, c.isday, c.ishr, c.isjul}), (std::array{2010, 1, 1, 1, 1}));
  EXPECT_EQ((std::array{c.ieyr, c.iemo, c.ieday, c.iehr, c.iejul}), (std::array{2010, 12, 31, 24, 365}));
  EXPECT_EQ(nfil(c), 1);
  EXPECT_EQ(c.aernam[0].name, "POST01.BIN");
  EXPECT_TRUE(c.lstartend);
  EXPECT_EQ(r.list, "");
}

struct Row {
  const char* what;
  std::function<void(Deck&)> edit;
  std::function<void(const SetupRun&)> check;
  std::vector<std::pair<std::string, std::string>> files = {};
};

void run_rows(const std::vector<Row>& rows) {
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Deck d;
    row.edit(d);
    row.check(run_setup(d.text(), row.files));
  }
}

TEST(Setup, KeywordTable) {
  std::vector<Row> rows = {
      {"comment line with a keyword is skipped",
       [](Deck& d) { d.co += "** TITLEONE  not this\n*  POLLUTID NOX\n"; },
       [](const SetupRun& r) {
         EXPECT_EQ(title(r.ctrl, 0), fixed("TEST RUN", 80));
         EXPECT_EQ(species(r.ctrl), fixed("SO2", 12));
       }},
      {"lower case", [](Deck& d) { d.co = "co starting\n   titleone lower\n   modelopt conc\n   pollutid so2\n"; },
       [](const SetupRun& r) {
         EXPECT_TRUE(r.halt.ok());
         EXPECT_EQ(species(r.ctrl), "SO2         ");
         EXPECT_EQ(title(r.ctrl, 0), fixed("LOWER", 80));
       }},
      {"pollutant: the first of two words", [](Deck& d) { d.co += "CO POLLUTID   SO2  ABC\n"; },
       [](const SetupRun& r) { EXPECT_EQ(species(r.ctrl), "SO2         "); }},
      {"two blanks after CO", [](Deck& d) { d.co = "CO  POLLUTID  NOX\nCO MODELOPT CONC\n"; },
       [](const SetupRun& r) { EXPECT_EQ(species(r.ctrl), std::string(12, ' ')); }},
      {"keyword not in column 4 after a blank pathway", [](Deck& d) { d.co = "CO MODELOPT CONC\n    POLLUTID NOX\n"; },
       [](const SetupRun& r) { EXPECT_EQ(species(r.ctrl), std::string(12, ' ')); }},
      {"TITLEONE in another line's text", [](Deck& d) { d.co += "CO MODELOPT CONC TITLEONE  other\n"; },
       [](const SetupRun& r) { EXPECT_EQ(title(r.ctrl, 0), fixed("OTHER", 80)); }},
      {"empty title", [](Deck& d) { d.co += "   TITLETWO\n"; },
       [](const SetupRun& r) { EXPECT_EQ(title(r.ctrl, 1), std::string(80, ' ')); }},
      {"long title loses its end to the 80 columns",
       [](Deck& d) { d.co += "   TITLETWO " + std::string(79, 'A') + "BC\n"; },
       [](const SetupRun& r) { EXPECT_EQ(title(r.ctrl, 1), std::string(79, 'A') + " "); }},
      {"a title that says INCLUDED and DISCCART is only a title",
       [](Deck& d) { d.co += "   TITLETWO  RE INCLUDED DISCCART 1 2 3 OU POSTFILE 1 UNFORM X\n"; },
       [](const SetupRun& r) {
         EXPECT_TRUE(r.halt.ok());
         EXPECT_EQ(nrec(r.ctrl), 1);
         EXPECT_EQ(nfil(r.ctrl), 1);
       }},
      {"DAYRANGE and no MODELOPT: the concentration halt comes first",
       [](Deck& d) {
         d.co = "CO STARTING\n";
         d.me += "ME DAYRANGE 1-5\n";
       },
       [](const SetupRun& r) {
         EXPECT_EQ(r.halt.text(), halt_text("Halted in SETUP:  Must ONLY have Concentrations!", false));
       }},
      {"DAYRANGE", [](Deck& d) { d.me += "ME DAYRANGE 1-5\n"; },
       [](const SetupRun& r) { EXPECT_EQ(r.halt.text(), halt_text("Halted in SETUP:  DAYRANGE is not supported!", false)); }},
      {"no receptors", [](Deck& d) { d.re = ""; },
       [](const SetupRun& r) { EXPECT_EQ(r.halt.text(), halt_text("Halted in SETUP:  no receptors found!", false)); }},
  };
  run_rows(rows);
}

TEST(Setup, Startend) {
  struct Case {
    std::string text;
    std::array<int, 8> want;  // isyr ismo isday ishr ieyr iemo ieday iehr
  };
  const Case cases[] = {
      {"88 03 01 88 03 04", {88, 3, 1, 1, 88, 3, 4, 24}},
      {"88 03 01 05 88 03 04 20", {88, 3, 1, 5, 88, 3, 4, 20}},
      {"88 03 01 05 88 03 04", {-1}},  // seven: the six-integer reading, which ends in month 88
      {"88,3,1,,", {0, 0, 0, 0, 0, 0, 0, 0}},
      {"1996\t01\t01\t1996\t01\t07", {1996, 1, 1, 1, 1996, 1, 7, 24}},
      {"88, 3, 1, 88, 3, 4, 99x", {88, 3, 1, 1, 88, 3, 4, 24}},  // fields beyond the six are not checked
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Deck d;
    d.me = "ME STARTEND " + c.text + "\n";
    const SetupRun r = run_setup(d.text());
    const Ctrl& t = r.ctrl;
    if (c.want[0] == 0) {
      EXPECT_EQ(r.halt.text(), halt_text("Halted in SETUP:  invalid STARTEND values"));
      EXPECT_EQ(r.list, " Halted in SETUP:  invalid STARTEND values\n " + c.text + "\n In AERMOD.INP, line 9\n");
      continue;
    }
    if (c.want[0] == -1) {
      EXPECT_EQ(r.halt.text(), halt_text("Halted in JULDAY:  Invalid date"));
      EXPECT_NE(r.list.find("IMO =           88"), std::string::npos);
      continue;
    }
    EXPECT_EQ((std::array{t.isyr, t.ismo, t.isday, t.ishr, t.ieyr, t.iemo, t.ieday, t.iehr}), c.want);
  }
}

TEST(Setup, StartendWithImpossibleDateHalts) {
  Deck d;
  d.me = "ME STARTEND 88 2 30 88 3 1\n";
  const SetupRun r = run_setup(d.text());
  EXPECT_EQ(r.halt.text(), halt_text("Halted in JULDAY:  Invalid date"));
  EXPECT_NE(r.list.find("IDAY =           30"), std::string::npos);
}

TEST(Setup, PostfileLines) {
  struct Case {
    std::string line;
    std::vector<std::string> names;
    std::string list;
  };
  const Case cases[] = {
      {"OU POSTFILE  1  ALL  UNFORM  post01.bin  31", {"POST01.BIN"}, ""},
      {"OU POSTFILE  1  ALL  UNFORM  post01.bin", {"POST01.BIN"}, ""},
      {"OU POSTFILE  1  ALL  UNFORM  run/A.BIN 999", {"RUN/A.BIN"}, ""},
      {"OU POSTFILE  1  ALL  UNFORM  ABC", {"ABC"}, ""},  // a short name is not a unit number
      {"OU POSTFILE  1  ALL  UNFORM  \"my file.bin\" 31", {"MY FILE.BIN"}, ""},
      {"OU POSTFILE  24 ALL  UNFORM  post24.bin  32", {}, ""},
      {"   POSTFILE  1  ALL  UNFORM  x.bin", {"X.BIN"}, ""},  // pathway filled from the OU line before
      {"OU POSTFILE  1  ALL  PLOT  post.plt  33", {"POST.PLT"}, ""},
      {"OU POSTFILE  1  ALL  UNFORM  PLOT.BIN", {"PLOT.BIN"}, ""},
      {"OU POSTFILE  1  ALL  TEXT  post.txt", {}, " Skipped POSTFILE line without UNFORM: OU POSTFILE  1  ALL  TEXT  POST.TXT\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    Deck d;
    d.ou = "OU STARTING\n" + c.line + "\n";
    const SetupRun r = run_setup(d.text());
    EXPECT_TRUE(r.halt.ok());
    ASSERT_EQ(nfil(r.ctrl), static_cast<int>(c.names.size()));
    for (std::size_t i = 0; i < c.names.size(); ++i) {
      EXPECT_EQ(r.ctrl.aernam[i].name, c.names[i]);
      EXPECT_EQ(r.ctrl.aernam[i].plot, c.line.find("UNFORM") == std::string::npos);
    }
    EXPECT_EQ(r.list, c.list);
  }
}

TEST(Setup, PostfileHalts) {
  struct Case {
    std::string ou;
    std::string halt;
    std::string list;
  };
  const std::string long_name(129, 'P');
  const Case cases[] = {
      {"OU POSTFILE  1  ALL  UNFORM   \n", "Halted in SETUP:  POSTFILE name is missing",
       " Halted in SETUP:  POSTFILE name is missing\n OU POSTFILE  1  ALL  UNFORM\n In AERMOD.INP, line 12\n"},
      {"OU POSTFILE  1  ALL  UNFORM \"\" 31\n", "Halted in SETUP:  POSTFILE name is missing",
       " Halted in SETUP:  POSTFILE name is missing\n OU POSTFILE  1  ALL  UNFORM \"\" 31\n In AERMOD.INP, line 12\n"},
      {"OU POSTFILE  1  ALL  UNFORM " + long_name + "\n", "Halted in SETUP:  POSTFILE name is too long",
       " Halted in SETUP:  POSTFILE name is too long\n " + long_name + "\n The limit is 128 characters\n"
       " In AERMOD.INP, line 12\n"},
  };
  for (const auto& c : cases) {
    Deck d;
    d.ou = c.ou;
    const SetupRun r = run_setup(d.text());
    EXPECT_EQ(r.halt.text(), halt_text(c.halt));
    EXPECT_EQ(r.list, c.list);
  }
}

TEST(Setup, HundredPostfilesAndNoMore) {
  for (const int n : {100, 101}) {
    Deck d;
    d.ou = "OU STARTING\n";
    for (int i = 1; i <= n; ++i) d.ou += "   POSTFILE  1  ALL  UNFORM  P" + std::to_string(i) + ".BIN\n";
    const SetupRun r = run_setup(d.text());
    if (n == 100) {
      EXPECT_TRUE(r.halt.ok());
      EXPECT_EQ(nfil(r.ctrl), 100);
      EXPECT_EQ(r.ctrl.aernam[99].name, "P100.BIN");
    } else {
      EXPECT_EQ(r.halt.text(), halt_text("Halted in SETUP:  there are too many file names"));
      EXPECT_EQ(r.list, " Halted in SETUP:  there are too many file names\n The limit is set by parameter MXFIL = " +
                            std::string(9, ' ') + "100\n");
    }
  }
}

TEST(Setup, Receptors) {
  std::vector<Row> rows = {
      {"the receptor file is read where RE INCLUDED stands",
       [](Deck& d) {
         d.re = "RE STARTING\nRE INCLUDED recs.dat\nRE DISCCART 1 2 3\n   DISCCART 4,5,6\nRE FINISHED\n";
       },
       [](const SetupRun& r) {
         ASSERT_EQ(nrec(r.ctrl), 5);
         // Metres times the float 0.001, rounded once.
         const std::array<float, 5> x{7000.0F * 0.001F, 10.0F * 0.001F, 500.0F * 0.001F, 1.0F * 0.001F, 4.0F * 0.001F};
         for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(r.ctrl.receptors[i].x, x[i]) << i;
         EXPECT_EQ(r.ctrl.receptors[0].zelev, 9.0F);
         EXPECT_EQ(r.ctrl.receptors[1].zelev, 0.0F);  // x and y only
         EXPECT_EQ(r.ctrl.receptors[2].y, -2.5F * 0.001F);
       },
       {{"recs.dat", "** header\r\n  RE ELEVUNIT METERS\r\n   disccart 7000. 8000. 9. 12.\r\n"
                     "   DISCCART 10.0 20.0\r\nRE INCLUDED other.dat\r\n RE DISCCART 5d2 -2.5E0 1"}}},
      {"receptor file found ignoring case",
       [](Deck& d) { d.re = "RE INCLUDED lovett_rec.dat\n"; },
       [](const SetupRun& r) {
         EXPECT_TRUE(r.halt.ok());
         EXPECT_EQ(nrec(r.ctrl), 1);
       },
       {{"lovett_rec.dat", "RE DISCCART 1 2 3\n"}}},
      {"two RE INCLUDED lines, even naming one file, are both read",
       [](Deck& d) { d.re += "RE INCLUDED A.DAT\nRE INCLUDED A.DAT\n"; },
       [](const SetupRun& r) {
         EXPECT_TRUE(r.halt.ok());
         EXPECT_EQ(nrec(r.ctrl), 3);
       },
       {{"A.DAT", "RE DISCCART 1 2 3\n"}}},
      {"entry with one number",
       [](Deck& d) { d.re += "RE DISCCART   5.0  \n"; },
       [](const SetupRun& r) {
         EXPECT_EQ(r.halt.text(), halt_text("Halted in SETUP:  invalid receptor entry"));
         EXPECT_EQ(r.list, " Halted in SETUP:  invalid receptor entry\n Receptor entry " + std::string(10, ' ') +
                               "2 5.0\n In AERMOD.INP, line 9\n");
       }},
      {"entry with an empty field",
       [](Deck& d) { d.re += "RE DISCCART 1,,2\n"; },
       [](const SetupRun& r) { EXPECT_EQ(r.halt.text(), halt_text("Halted in SETUP:  invalid receptor entry")); }},
      {"entry with a word", [](Deck& d) { d.re += "RE DISCCART 1 2 ABC\n"; },
       [](const SetupRun& r) { EXPECT_EQ(r.halt.text(), halt_text("Halted in SETUP:  invalid receptor entry")); }},
      {"a fourth field is not checked", [](Deck& d) { d.re += "RE DISCCART 1 2 3 ABC\n"; },
       [](const SetupRun& r) { EXPECT_TRUE(r.halt.ok()); }},
  };
  run_rows(rows);
}

TEST(Setup, TooManyReceptors) {
  for (const int n : {10000, 10001}) {
    Deck d;
    d.re = "RE STARTING\n";
    for (int i = 0; i < n; ++i) d.re += "   DISCCART " + std::to_string(i) + " 0 0\n";
    const SetupRun r = run_setup(d.text());
    if (n == 10000) {
      EXPECT_TRUE(r.halt.ok());
      EXPECT_EQ(nrec(r.ctrl), 10000);
      EXPECT_EQ(r.ctrl.receptors[9999].x, 9999.0F * 0.001F);
    } else {
      EXPECT_EQ(r.halt.text(), halt_text("Halted in SETUP:  too many receptors"));
      EXPECT_EQ(r.list, " Halted in SETUP:  too many receptors\n The limit is set by parameter MXREC = " +
                            std::string(7, ' ') + "10000\n");
    }
  }
}

TEST(Setup, LinesEndingInCarriageReturnsAndLongLines) {
  const SetupRun r = run_setup(
      "CO TITLEONE  Windows\r\nCO MODELOPT CONC\r\nCO POLLUTID SO2\r\nRE DISCCART 1 2 3\r\n"
      "OU POSTFILE 1 ALL UNFORM P.BIN\r\nCO TITLETWO " + std::string(400, 'X') + "\r\nME STARTEND 88 1 1 88 1 2\r");
  EXPECT_TRUE(r.halt.ok());
  EXPECT_EQ(title(r.ctrl, 0), fixed("WINDOWS", 80));
  EXPECT_EQ(r.ctrl.aernam[0].name, "P.BIN");
  EXPECT_EQ(r.ctrl.ieday, 2);
  EXPECT_EQ(title(r.ctrl, 1), std::string(79, 'X') + " ");
}

TEST(Fields, SplittingAndNumbers) {
  struct Case {
    std::string text;
    std::vector<std::string> fields;
  };
  const Case cases[] = {
      {"  1  2\t3 ", {"1", "2", "3"}}, {"1,2", {"1", "2"}},          {"1,,2", {"1", "", "2"}},
      {",1", {"", "1"}},               {"1,", {"1"}},                {"1 , ,2", {"1", "", "2"}},
      {"", {}},
  };
  for (const auto& c : cases) {
    std::array<std::string_view, 8> f;
    const std::size_t n = split_fields(c.text, f);
    ASSERT_EQ(n, c.fields.size()) << c.text;
    for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(f[i], c.fields[i]) << c.text;
  }
  struct Num {
    std::string text;
    bool ok;
    float value;
  };
  const Num nums[] = {{"500.0", true, 500.0F}, {"-2.5E1", true, -25.0F}, {"1D3", true, 1000.0F},
                      {"+.5", true, 0.5F},     {"5.", true, 5.0F},       {"30.39", true, 30.39F},
                      {"1E", false, 0},        {".", false, 0},          {"1.2.3", false, 0},
                      {"", false, 0},          {"nan", false, 0},        {"1e99", false, 0}};
  for (const auto& n : nums) {
    float v = -1;
    EXPECT_EQ(parse_real(n.text, v), n.ok) << n.text;
    if (n.ok) {
      EXPECT_EQ(v, n.value) << n.text;
    }
  }
  std::int32_t i = 0;
  EXPECT_TRUE(parse_int32("+12", i));
  EXPECT_EQ(i, 12);
  EXPECT_FALSE(parse_int32("1.0", i));
  EXPECT_FALSE(parse_int32("99999999999", i));
  EXPECT_FALSE(parse_int32("+-1", i));
}


// Plain decimals take a shortcut past the library conversion: it must give
// the same float, bit for bit, for any digits, signs and point positions.
TEST(Fields, PlainDecimalsRoundLikeTheLibrary) {
  std::mt19937_64 rng(20261207);
  std::vector<std::string> texts = {"16777217", "16777219", "0.1", "-0.0", "0", "000123.4500", "4123456.789012",
                                    "0.0000000000000000000001", "0.00000000000000000000001", "123456789012345",
                                    "1234567890123456", "340282356779733661637539395458142568448", "+7.5",
                                    // within half a double ulp of a float midpoint, on the side
                                    // that ties-to-even does not take
                                    "0.00369687017519027", "0.129426471889019", "-0.000991142529528588",
                                    "0.00186674582073465", "0.0593880545347929"};
  for (int k = 0; k < 200000; ++k) {
    const int digits = 1 + static_cast<int>(rng() % 17);
    std::string t = (rng() % 2 != 0) ? "-" : "";
    for (int d = 0; d < digits; ++d) t += static_cast<char>('0' + rng() % 10);
    const auto point = t.size() - std::min<std::size_t>(rng() % 24, static_cast<std::size_t>(digits));
    t.insert(t.begin() + static_cast<std::ptrdiff_t>(point), '.');
    texts.push_back(t);
  }
  for (const std::string& t : texts) {
    const std::string lib_text = t.front() == '+' ? t.substr(1) : t;
    float want = 0;
    const auto res = std::from_chars(lib_text.data(), lib_text.data() + lib_text.size(), want);
    const bool lib_ok = res.ec == std::errc() && res.ptr == lib_text.data() + lib_text.size();
    float got = 0;
    ASSERT_EQ(parse_real(t, got), lib_ok) << t;
    if (lib_ok) {
      ASSERT_EQ(std::bit_cast<std::uint32_t>(got), std::bit_cast<std::uint32_t>(want)) << t;
    }
  }
}

}  // namespace
}  // namespace kestrel
