#include "convert/comp.hpp"

#include <gtest/gtest.h>

#include <cstdio>

#include <sstream>

#include "dataset/dataset_file.hpp"
#include "dataset/header.hpp"
#include "base/interrupt.hpp"
#include "base/io_error.hpp"
#include "base/text.hpp"
#include "base/version.hpp"
#include "support.hpp"

namespace kestrel {
namespace {

using test::ByteBuilder;
using test::Bytes;

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

class Comp : public ::testing::Test {
 protected:
  void SetUp() override {
    set_receptors({{0.0F, 0.0F, 1.0F}, {4.0F, 1.0F, 2.0F}, {1.0F, 0.5F, 3.0F}});
    ctrl.aerspec = "SO2";
    ctrl.atitle = {std::string("A RUN"), std::nullopt};
    ctrl.isyr = 88, ctrl.ismo = 1, ctrl.isday = 1, ctrl.isjul = 1, ctrl.ishr = 1;
    ctrl.ieyr = 88, ctrl.iemo = 1, ctrl.ieday = 2, ctrl.iejul = 2, ctrl.iehr = 24;
    ctrl.lstartend = true;
    add_postfile("POST.BIN");
  }

  void set_receptors(std::vector<std::array<float, 3>> r) {
    ctrl.receptors.clear();
    x.clear(), y.clear(), z.clear();
    for (const auto& v : r) {
      ctrl.receptors.push_back({v[0], v[1], v[2], 1000.0 * v[0], 1000.0 * v[1]});
      x.push_back(v[0]), y.push_back(v[1]), z.push_back(v[2]);
    }
  }

  void add_postfile(const std::string& name) { ctrl.aernam.push_back({name, false, "ALL"}); }

  void run() {
    test::RecordingReport report;
    halt = comp(ctrl, dir.path(), report);
    report.lines_of(halt);
    list = report.list;
    err = report.err;
    out = report.console;
  }

  // The header this fixture's control record must give.
  Bytes header(std::int32_t iyrb = 88, std::int32_t ijulb = 1, std::int32_t ihrb = 0, std::int32_t irlg = 48) {
    dataset::HeaderArgs a;
    a.dxkm = 2.0F;  // receptors span (0, 0) to (4, 1)
    a.xorigkm = 0.0F;
    a.yorigkm = -1.5F;
    a.iyrb = iyrb, a.ijulb = ijulb, a.ihrb = ihrb, a.irlg = irlg;
    a.xrec = x, a.yrec = y, a.zrec = z;
    a.ver = fixed(mver, 12), a.level = fixed(mlevel, 12), a.speclev = "SO2           1", a.csrcnam = fixed("TOTAL", 16);
    a.atitle = {fixed("A RUN", 80), std::string(80, '\0')};
    return test::expected_header(a);
  }

  static Bytes period(std::array<int, 3> b, std::array<int, 3> e, std::vector<float> v) {
    ByteBuilder p;
    p.i32(b[0]).i32(b[1]).i32(b[2]).i32(0).i32(e[0]).i32(e[1]).i32(e[2]).i32(0).record();
    p.i32(0).i32(1).text("TOTAL", 16).f32(2.0F).f32(0.5F).record();
    p.text("SO2           1");
    for (float x : v) p.f32(x);
    return p.record().bytes();
  }

  Bytes dataset(const std::string& name = "POST.BIN.gdx") { return test::read_bytes(dir / name); }

  test::TempDir dir;
  Ctrl ctrl;
  std::vector<float> x, y, z;
  Status halt;
  std::string list, err, out;
};

const std::string kProcessing = " Processing: " + fixed("POST.BIN", 132) + "\n";

TEST_F(Comp, EightAndFourByteFilesGiveTheSameDataset) {
  for (const bool real8 : {true, false}) {
    test::write_bytes(dir / "POST.BIN", concat({test::postfile_record(88010101, {5.0, 0.0, 1.5}, real8),
                                                test::postfile_record(88010102, {1.0, 2.0, 3.0}, real8)}));
    run();
    const Bytes want = concat({header(), period({1988, 1, 0}, {1988, 1, 1}, {5.0e-6F, 0.0F, 1.5e-6F}),
                               period({1988, 1, 1}, {1988, 1, 2}, {1.0e-6F, 2.0e-6F, 3.0e-6F})});
    EXPECT_EQ(test::first_difference(dataset(), want), "") << (real8 ? "8-byte" : "4-byte");
    const std::string retry = real8 ? "" : " ERROR reading AERMOD file as R*8: POST.BIN\n Retry as R*4\n";
    EXPECT_EQ(list, kProcessing + retry + " WARNING: POST.BIN holds 2 periods but the run period has 48 hours\n" +
                        " Dataset POST.BIN.gdx: 2 periods of 3 receptors, ending 1988-01-01 01 to 1988-01-01 02\n");
    EXPECT_EQ(out, kProcessing);
    EXPECT_TRUE(halt.ok());
    EXPECT_FALSE(std::filesystem::exists(dataset::DatasetFile::temporary_for(dir / "POST.BIN.gdx")));
  }
}

TEST_F(Comp, Hour24OnLastDayOfLeapYear) {
  test::write_bytes(dir / "POST.BIN", test::postfile_record(88123124, {1.0, 1.0, 1.0}));
  run();
  EXPECT_EQ(test::first_difference(
                dataset(), concat({header(), period({1988, 366, 23}, {1989, 1, 0}, {1e-6F, 1e-6F, 1e-6F})})),
            "");
}

TEST_F(Comp, PostfileWithoutRecordsGivesHeaderOnly) {
  test::write_bytes(dir / "POST.BIN", {});
  run();
  EXPECT_EQ(dataset(), header());
  EXPECT_EQ(list, kProcessing + " WARNING: POST.BIN holds no records\n Dataset POST.BIN.gdx: no periods of 3 receptors\n");
}

TEST_F(Comp, FirstRecordTooShortForBothModes) {
  test::write_bytes(dir / "POST.BIN", test::postfile_record(88010101, {1.0}, false));
  test::write_bytes(dir / "NEVER.BIN", test::postfile_record(88010101, {1.0, 1.0, 1.0}));
  add_postfile("NEVER.BIN");
  run();
  EXPECT_EQ(dataset(), header());
  EXPECT_FALSE(std::filesystem::exists(dir / "NEVER.BIN.gdx"));
  EXPECT_EQ(halt.text(), "ERROR reading AERMOD file as R*4");
  EXPECT_EQ(list, kProcessing +
                      " ERROR reading AERMOD file as R*8: POST.BIN\n Retry as R*4\n"
                      " ERROR reading AERMOD file as R*4: POST.BIN\n Record 1 at byte 0 cannot be read\n");
}

TEST_F(Comp, Month13HaltsAndKeepsWhatWasWritten) {
  test::write_bytes(dir / "POST.BIN", concat({test::postfile_record(88010101, {1.0, 1.0, 1.0}),
                                              test::postfile_record(88130101, {1.0, 1.0, 1.0})}));
  run();
  EXPECT_EQ(halt.text(), "Halted in JULDAY:  Invalid date   --   See the list file");
  EXPECT_EQ(dataset(), concat({header(), period({1988, 1, 0}, {1988, 1, 1}, {1e-6F, 1e-6F, 1e-6F})}));
  EXPECT_NE(list.find("IMO =           13"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dataset::DatasetFile::temporary_for(dir / "POST.BIN.gdx")));
}

TEST_F(Comp, ReceptorBox) {
  struct Case {
    std::vector<std::array<float, 3>> receptors;
    ReceptorBox want;
  };
  const Case cases[] = {
      {{{0, 0, 0}, {4, 1, 0}}, {0, 4, 0, 1, 2, 0.5F, 2, 0.5F, 2, 0, -1.5F}},
      {{{3, -2, 0}}, {3, 3, -2, -2, 3, -2, 0, 0, 0, 3, -2}},
      // Summed in double: 3e38 + 3e38 would overflow a float before the halving.
      {{{3e38F, 0, 0}, {3e38F, 0, 0}}, {3e38F, 3e38F, 0, 0, 3e38F, 0, 0, 0, 0, 3e38F, 0}},
  };
  for (const auto& c : cases) {
    set_receptors(c.receptors);
    const ReceptorBox b = receptor_box(ctrl.receptors);
    EXPECT_EQ(b.xc, c.want.xc);
    EXPECT_EQ(b.yc, c.want.yc);
    EXPECT_EQ(b.delxby2, c.want.delxby2);
    EXPECT_EQ(b.delyby2, c.want.delyby2);
    EXPECT_EQ(b.dgrid, c.want.dgrid);
    EXPECT_EQ(b.x0, c.want.x0);
    EXPECT_EQ(b.y0, c.want.y0);
  }
}

TEST_F(Comp, TwoPostfilesShareHeaderValues) {
  add_postfile("SECOND.BIN");
  test::write_bytes(dir / "POST.BIN", test::postfile_record(88010101, {1.0, 1.0, 1.0}));
  test::write_bytes(dir / "SECOND.BIN", test::postfile_record(88010102, {2.0, 2.0, 2.0}));
  run();
  EXPECT_EQ(dataset("SECOND.BIN.gdx"),
            concat({header(), period({1988, 1, 1}, {1988, 1, 2}, {2e-6F, 2e-6F, 2e-6F})}));
  EXPECT_EQ(out, kProcessing + " Processing: " + fixed("SECOND.BIN", 132) + "\n");
}

TEST_F(Comp, IncompleteLastRecordIsNotConverted) {
  const Bytes whole = test::postfile_record(88010101, {1.0, 1.0, 1.0});
  for (const std::size_t cut : {std::size_t{3}, std::size_t{10}, whole.size() - 1}) {
    Bytes file = concat({whole, whole});
    file.resize(whole.size() + cut);
    test::write_bytes(dir / "POST.BIN", file);
    run();
    EXPECT_EQ(dataset(), concat({header(), period({1988, 1, 0}, {1988, 1, 1}, {1e-6F, 1e-6F, 1e-6F})}));
    const std::string warning =
        "WARNING: POST.BIN ends inside a record; its incomplete last record was not converted\n"
        "WARNING: POST.BIN holds 1 period but the run period has 48 hours\n";
    EXPECT_EQ(list, kProcessing + " " + warning.substr(0, warning.find('\n') + 1) + " " +
                        warning.substr(warning.find('\n') + 1) +
                        " Dataset POST.BIN.gdx: 1 period of 3 receptors, ending 1988-01-01 01 to 1988-01-01 01\n");
    EXPECT_EQ(err, warning);
    EXPECT_TRUE(halt.ok());
  }
}

TEST_F(Comp, OnlyRecordCutShortGivesHeaderWithoutRetry) {
  Bytes file = test::postfile_record(88010101, {1.0, 1.0, 1.0});
  file.pop_back();
  test::write_bytes(dir / "POST.BIN", file);
  run();
  EXPECT_EQ(dataset(), header());
  EXPECT_EQ(list.find("Retry"), std::string::npos);
  EXPECT_NE(list.find("ends inside a record"), std::string::npos);
}

TEST_F(Comp, SeriesWarnings) {
  test::write_bytes(dir / "POST.BIN",
                    concat({test::postfile_record(88010101, {1, 1, 1, 9}, true, 1, "G1"),
                            test::postfile_record(88010101, {1, 1, 1, 9}, true, 1, "G2"),
                            test::postfile_record(88010124, {1, 1, 1, 9}, true, 24, "G1"),
                            test::postfile_record(88010201, {1, 1, 1, 9}, true, 1, "G1")}));
  run();
  const std::string n = "WARNING: POST.BIN holds ";
  const std::string want = n + "records of more than one source group\n" + n +
                           "records whose averaging period is not 1 hour\n" + n +
                           "2 periods that do not follow the one before by one hour (missing or repeated hours)\n" + n +
                           "records with more values than the control file has receptors; only the first values were "
                           "converted\n" +
                           n + "4 periods but the run period has 48 hours\n";
  EXPECT_EQ(err, want);
  EXPECT_TRUE(halt.ok());
}

TEST_F(Comp, DamagedRecordKeepsThePeriodsBeforeIt) {
  // A record of 4-byte reals after two of 8-byte reals is damage, never a
  // reason to read the file again as 4-byte reals; the POSTFILEs after it
  // are not converted.
  const Bytes r8 = test::postfile_record(88010101, {1, 1, 1});
  test::write_bytes(dir / "POST.BIN", concat({r8, test::postfile_record(88010102, {1, 1, 1}),
                                              test::postfile_record(88010103, {1, 1, 1}, false)}));
  test::write_bytes(dir / "NEVER.BIN", r8);
  add_postfile("NEVER.BIN");
  run();
  EXPECT_EQ(halt.text(), "ERROR reading AERMOD file as R*8");
  EXPECT_EQ(list, kProcessing + " ERROR reading AERMOD file as R*8: POST.BIN\n Record 3 at byte " +
                      std::to_string(2 * r8.size()) + " cannot be read\n");
  EXPECT_EQ(err, "");
  EXPECT_EQ(dataset().size(), header().size() + 2 * (40 + 40 + 8 + 15 + 12));
  EXPECT_FALSE(std::filesystem::exists(dir / "NEVER.BIN.gdx"));
}

// A signal stops every long loop, here the run-period pass over an
// unformatted POSTFILE and a formatted one's endless line: nothing is
// renamed into place.
TEST_F(Comp, InterruptStopsEveryPass) {
  ctrl.lstartend = false;
  test::write_bytes(dir / "POST.BIN", concat({test::postfile_record(88010101, {1, 1, 1})}));
  test::write_text(dir / "POST.PLT", "* AERMOD\n" + std::string(std::size_t{3} << 20, '7') + "\n");
  for (const bool plot : {false, true}) {
    ctrl.aernam = {{plot ? "POST.PLT" : "POST.BIN", plot, "ALL"}};
    note_interrupt(2);
    EXPECT_THROW(run(), Interrupted);
    clear_interrupt();
    for (const char* left : {"POST.BIN.gdx", "POST.BIN.gdx.part", "POST.PLT.gdx", "POST.PLT.gdx.part"}) {
      EXPECT_FALSE(std::filesystem::exists(dir / left)) << left;
    }
  }
}

TEST_F(Comp, WithoutStartendThePeriodComesFromTheFirstPostfileWithRecords) {
  ctrl.lstartend = false;
  ctrl.isyr = ctrl.isjul = ctrl.ishr = ctrl.ieyr = ctrl.iejul = ctrl.iehr = 0;
  ctrl.aernam.clear();
  add_postfile("EMPTY.BIN");
  add_postfile("POST.BIN");
  test::write_bytes(dir / "EMPTY.BIN", {});
  test::write_bytes(dir / "POST.BIN", concat({test::postfile_record(88010101, {1, 1, 1}),
                                              test::postfile_record(88010224, {1, 1, 1})}));
  run();
  EXPECT_TRUE(halt.ok());
  EXPECT_EQ(dataset("EMPTY.BIN.gdx"), header(1988, 1, 0, 48));
}

TEST_F(Comp, WithoutStartendOrRecordsThereIsNoRunPeriod) {
  ctrl.lstartend = false;
  test::write_bytes(dir / "POST.BIN", {});
  run();
  constexpr std::string_view msg = "Halted in COMP:  no run period: no STARTEND and no records";
  EXPECT_EQ(halt.text(), std::string(msg) + "   --   See the list file");
  EXPECT_EQ(list, " " + std::string(msg) + "\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "POST.BIN.gdx"));
}

// A formatted POSTFILE line of this fixture's receptor k (0-based) as AERMOD writes it.
std::string plot_line(int k, const char* value, int kurdat = 88010101, const char* grp = "ALL", double dx = 0.0) {
  static constexpr double xs[] = {0.0, 4000.0, 1000.0}, ys[] = {0.0, 1000.0, 500.0};
  char buf[160];
  const std::string f0 = test::fixed_field(0, 8, 2);
  std::snprintf(buf, sizeof buf, " %s %s %13s %s %s %s    1-HR  %-8s  %08d  NET1    \n",
                test::fixed_field(xs[k] + dx, 13, 5).c_str(), test::fixed_field(ys[k], 13, 5).c_str(), value,
                f0.c_str(), f0.c_str(), f0.c_str(), grp, kurdat);
  return buf;
}

std::string plot_record(int kurdat, const char* grp = "ALL") {
  return plot_line(0, "1.00000", kurdat, grp) + plot_line(1, "2.00000", kurdat, grp) + plot_line(2, "3.00000", kurdat, grp);
}

TEST_F(Comp, FormattedPostfiles) {
  const std::string head = "* AERMOD ( 24142): test\n*         X             Y      AVERAGE CONC\n";
  const std::string note = " Note: POST.PLT holds values with 5 decimals; OU FILEFORM EXP keeps 6 significant digits\n";
  const std::string error = " ERROR reading formatted AERMOD file: POST.PLT\n";
  struct Case {
    const char* what;
    std::string text;
    int periods;
    std::string list;  // after the Processing line
    bool halts = false;
  };
  const std::string two = plot_record(88010101) + plot_record(88010102);
  const Case cases[] = {
      {"two whole records, E13.6", head + plot_line(0, "0.100000E+01") + plot_line(1, "0.200000E+01") +
                                        plot_line(2, "0.300000E+01"),
       1, " WARNING: POST.PLT holds 1 period but the run period has 48 hours\n"},
      {"CRLF line ends", [&] {
         std::string t;
         for (char c : head + two) t += c == '\n' ? std::string("\r\n") : std::string(1, c);
         return t;
       }(),
       2, note + " WARNING: POST.PLT holds 2 periods but the run period has 48 hours\n"},
      {"cut inside its last record", head + two + plot_line(0, "1.00000", 88010103), 2,
       note + " WARNING: POST.PLT ends inside a record; its incomplete last record was not converted\n"
              " WARNING: POST.PLT holds 2 periods but the run period has 48 hours\n"},
      {"a last line cut short", head + two + " 0.00000 0.0", 2,
       note + " WARNING: POST.PLT ends inside a record; its incomplete last record was not converted\n"
              " WARNING: POST.PLT holds 2 periods but the run period has 48 hours\n"},
      {"a wrong line", head + plot_record(88010101) + plot_line(0, "1.0000X", 88010102) + plot_record(88010103), 1,
       note + error + " Line 6: 0.00000       0.00000       1.0000X     0.00     0.00     0.00    1-HR  ALL       88010102  NET1\n",
       true},
      {"a short record", head + plot_line(0, "1.00000") + plot_line(1, "2.00000") + plot_record(88010102), 0,
       note + error + " Line 5: 0.00000       0.00000       1.00000     0.00     0.00     0.00    1-HR  ALL       88010102  NET1\n",
       true},
      {"a record with an extra line", head + plot_record(88010101) + plot_line(2, "9.00000") + plot_record(88010102), 2,
       note + " WARNING: POST.PLT holds records with more values than the control file has receptors; only the first "
              "values were converted\n WARNING: POST.PLT holds 2 periods but the run period has 48 hours\n"},
      {"a shared file of two groups", head + plot_record(88010101, "G1") + plot_record(88010101, "G2"), 2,
       note + " WARNING: POST.PLT holds records of more than one source group\n"
              " WARNING: POST.PLT holds 1 period that does not follow the one before by one hour (missing or repeated "
              "hours)\n WARNING: POST.PLT holds 2 periods but the run period has 48 hours\n"},
      {"receptors elsewhere in a later record",
       head + plot_record(88010101) + plot_line(0, "1.00000", 88010102) +
           plot_line(1, "2.00000", 88010102, "ALL", -0.02) + plot_line(2, "3.00000", 88010102),
       2, note + " WARNING: POST.PLT holds receptors at other places than the control file's, first receptor 2\n"
                 " WARNING: POST.PLT holds 2 periods but the run period has 48 hours\n"},
      {"receptors elsewhere", head + plot_line(0, "1.00000") + plot_line(1, "2.00000", 88010101, "ALL", 0.02) +
                                  plot_line(2, "3.00000"),
       1, note + " WARNING: POST.PLT holds receptors at other places than the control file's, first receptor 2\n"
                 " WARNING: POST.PLT holds 1 period but the run period has 48 hours\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ctrl.aernam = {{"POST.PLT", true, "ALL"}};
    test::write_text(dir / "POST.PLT", c.text);
    run();
    EXPECT_EQ(halt.ok(), !c.halts);
    if (c.halts) {
      EXPECT_EQ(halt.text(), "ERROR reading formatted AERMOD file");
    }
    // After a whole conversion the dataset's line closes the POSTFILE's lines.
    std::string body = list;
    if (!c.halts) {
      const std::size_t last = body.rfind(" Dataset POST.PLT.gdx: ");
      ASSERT_NE(last, std::string::npos);
      body.resize(last);
    }
    EXPECT_EQ(body, " Processing: " + fixed("POST.PLT", 132) + "\n" + c.list);
    const Bytes got = dataset("POST.PLT.gdx");
    EXPECT_EQ(got.size(), header().size() + static_cast<std::size_t>(c.periods) * (40 + 40 + 8 + 15 + 12));
    if (c.periods > 0) {
      const Bytes first = period({1988, 1, 0}, {1988, 1, 1}, {1e-6F, 2e-6F, 3e-6F});
      EXPECT_EQ(Bytes(got.begin() + static_cast<std::ptrdiff_t>(header().size()),
                      got.begin() + static_cast<std::ptrdiff_t>(header().size() + first.size())),
                first);
    }
  }
}

TEST_F(Comp, DatasetNameTakenByAFolder) {
  test::write_bytes(dir / "POST.BIN", test::postfile_record(88010101, {1, 1, 1}));
  std::filesystem::create_directory(dir / "POST.BIN.gdx");
  EXPECT_THROW(run(), IoError);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "POST.BIN.gdx"));
}

TEST_F(Comp, ExistingDatasetIsReplacedWhole) {
  test::write_bytes(dir / "POST.BIN.gdx", Bytes(100000, std::byte{7}));
  test::write_bytes(dir / "POST.BIN", {});
  run();
  EXPECT_EQ(dataset(), header());
}

TEST_F(Comp, NamesMatchFilesIgnoringCaseAndBackslashes) {
  ctrl.aernam.clear();
  add_postfile("SUB\\POST.BIN");
  std::filesystem::create_directory(dir / "sub");
  test::write_bytes(dir / "sub" / "post.bin", {});
  run();
  EXPECT_EQ(test::read_bytes(dir / "sub" / "post.bin.gdx"), header());
}

}  // namespace
}  // namespace kestrel
