// The calm and missing rules as a table of surface-file lines, and the
// file's refusals: each names the file and line, or the hour it lacks.
#include "analysis/met.hpp"

#include <gtest/gtest.h>

#include <string>

#include "analysis/failure.hpp"
#include "support.hpp"

namespace kestrel::analysis {
namespace {

const std::string kHeader = "   29.967N   95.350W  UA_ID: 3937  VERSION: 24142\n";

// A valid hour of 1 January 1996, hour 2; `edit` puts `value` into field `field` (from 0).
std::string line(int field = -1, const char* value = "") {
  std::string f[] = {"96", "1", "1", "1", "2", "-21.5", "0.222", "-9.000", "-9.000", "-999.", "251.", "54.1",
                     "0.1500", "0.70", "1.00", "2.10", "28.0", "6.1", "287.5", "2.0", "0", "0.00", "100.", "997."};
  if (field >= 0) f[field] = value;
  std::string out;
  for (const auto& s : f) out += s + "  ";
  return out + "\n";
}

TEST(AnalysisMet, CalmAndMissingAsAermodTellsThem) {
  struct Case {
    const char* name;
    std::string text;
    HourMark want;
  };
  // Fields: 6 u*, 7 w*, 9 Zic, 10 Zim, 11 L, 15 Uref, 16 WDref, 18 T.
  const Case cases[] = {
      {"a valid hour", line(), HourMark::valid},
      {"calm: reference wind exactly 0", line(15, "0.00"), HourMark::calm},
      {"wind speed 90 or more", line(15, "999.0"), HourMark::missing},
      {"negative wind speed", line(15, "-1.0"), HourMark::missing},
      {"wind direction past 900", line(16, "999.0"), HourMark::missing},
      {"wind direction -9 or less", line(16, "-9.0"), HourMark::missing},
      {"temperature past 900", line(18, "999.0"), HourMark::missing},
      {"temperature 0 K", line(18, "0.0"), HourMark::missing},
      {"L below -99990", line(11, "-99999.0"), HourMark::missing},
      {"L negative with Zic past 90000", line(11, "-50.0").replace(line().find("-999."), 5, "99999"),
       HourMark::missing},
      {"Zim past 90000", line(10, "99999."), HourMark::missing},
      {"negative Zim", line(10, "-999."), HourMark::missing},
      {"u* negative", line(6, "-9.000"), HourMark::missing},
      {"u* 9 or more", line(6, "9.0"), HourMark::missing},
      {"w* negative while L is negative", line(11, "-20.0").replace(line().find("-999."), 5, "500.0"),
       HourMark::missing},
      {"w* negative while L is positive: valid", line(), HourMark::valid},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SurfaceHours s = SurfaceHours::parse(kHeader + c.text, "'t.sfc'");
    EXPECT_EQ(s.at({1996, 1, 2}), c.want);
  }
  // Calm with every other field missing.
  std::string all_missing = line(6, "-9.000");
  EXPECT_EQ(SurfaceHours::parse(kHeader + all_missing.replace(all_missing.find("2.10"), 4, "0.00"), "s").at({96, 1, 2}),
            HourMark::calm);
}

TEST(AnalysisMet, HoursLookedUpAndRefusals) {
  // Hour 24 of 1 January is hour 00 of 2 January; 2 January hour 01 is absent.
  const std::string h24 = line(4, "24");
  std::string day2 = line(4, "2");
  day2.replace(day2.find("  1  1  "), 8, "  1  2  ");
  const SurfaceHours s = SurfaceHours::parse(kHeader + line() + h24 + day2, "'t.sfc'");
  EXPECT_EQ(s.at({1996, 2, 0}), HourMark::valid);
  EXPECT_EQ(s.at({1996, 2, 2}), HourMark::valid);
  EXPECT_FALSE(s.find({1996, 2, 1}));
  struct Refusal {
    std::string text;
    Time hour;
    std::string message;  // how the message starts; empty: only that it names the file
  };
  const Refusal refusals[] = {
      {kHeader + line() + h24 + day2, {1996, 2, 1},
       "the surface file 't.sfc' has no line for 1996-01-02 hour 01, an hour of the data: it is not this run's "
       "surface file (--met names another)"},
      {kHeader + line() + "96 1 1 1 3 -21.5 0.2\n", {}, "the surface file 't.sfc', line 3: cannot read the hour: 96 1 1 1 3 -21.5 0.2"},
      {line(), {}, "the surface file 't.sfc', line 1: no header line (one holding a colon): " + line().substr(0, 120)},
      {kHeader + line(4, "25"), {}, ""},
      {kHeader + line() + line(), {}, ""},
  };
  for (const Refusal& r : refusals) {
    try {
      const SurfaceHours t = SurfaceHours::parse(r.text, "'t.sfc'");
      (void)t.at(r.hour.yr == 0 ? Time{1996, 1, 2} : r.hour);
      ADD_FAILURE() << "accepted: " << r.text;
    } catch (const Failure& e) {
      EXPECT_EQ(std::string(e.what()).substr(0, r.message.size()), r.message);
      EXPECT_NE(std::string(e.what()).find("'t.sfc'"), std::string::npos);
    }
  }
}

TEST(AnalysisMet, SurfaceFileNamedByTheControlFile) {
  const test::TempDir dir;
  const auto control = dir / "run/AERMOD.INP";
  std::filesystem::create_directories(control.parent_path());
  test::write_text(control, "CO STARTING\n** ME SURFFILE  wrong.sfc\nME STARTING\n   SURFFILE  \"met files/h.sfc\"\nME FINISHED\n");
  EXPECT_EQ(surface_file_of(control), control.parent_path() / "met files/h.sfc");
  test::write_text(control, "CO STARTING\nME STARTING\nME FINISHED\n");
  EXPECT_FALSE(surface_file_of(control));
}

}  // namespace
}  // namespace kestrel::analysis
