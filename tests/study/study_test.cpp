// Studies: several runs on one command line, in their own folders, on one
// thread or several, with the same outputs either way.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <map>
#include <sstream>
#include <thread>

#include "base/text.hpp"
#include "study/display.hpp"
#include "study/study.hpp"
#include "support.hpp"

namespace kestrel {
namespace {

using test::many_records;

namespace fs = std::filesystem;
using test::Bytes;

const fs::path kData = KESTREL_TEST_DATA;

// A two-hour run of one receptor naming `posts` as 1-hour UNFORM POSTFILEs.
std::string deck(const std::vector<std::string>& posts) {
  std::string d = "CO MODELOPT CONC\nCO POLLUTID SO2\nRE DISCCART 100. 200. 3.\nME STARTEND 88 1 1 1 88 1 1 2\n";
  for (const auto& p : posts) d += "OU POSTFILE 1 ALL UNFORM " + p + "\n";
  return d;
}

Bytes two_hours(double v) {
  Bytes b = test::postfile_record(88010101, {v});
  const Bytes second = test::postfile_record(88010102, {v + 1});
  b.insert(b.end(), second.begin(), second.end());
  return b;
}

Bytes text_bytes(std::string_view s) {
  Bytes b(s.size());
  std::memcpy(b.data(), s.data(), s.size());
  return b;
}

std::map<std::string, Bytes> snapshot(const fs::path& dir) {
  std::map<std::string, Bytes> files;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.is_regular_file()) files[fs::relative(e.path(), dir).generic_string()] = test::read_bytes(e.path());
  }
  return files;
}

// runs/a converts; runs/b misses a POSTFILE; runs/c halts in its second of
// three POSTFILEs, the third holding a dataset of an earlier run.
void make_study(const fs::path& root) {
  const fs::path a = root / "runs" / "a", b = root / "runs" / "b", c = root / "runs" / "c";
  for (const auto& d : {a, b, c}) fs::create_directories(d);
  test::write_text(a / "AERMOD.INP", deck({"P1.BIN", "P2.BIN"}));
  test::write_bytes(a / "p1.bin", two_hours(1));
  test::write_bytes(a / "P2.BIN", two_hours(2));
  test::write_text(b / "AERMOD.INP", deck({"P1.BIN", "P2.BIN"}));
  test::write_bytes(b / "P1.BIN", two_hours(3));
  test::write_text(b / "P1.BIN.gdx", "OLD");
  test::write_text(c / "AERMOD.INP", deck({"P1.BIN", "P2.BIN", "P3.BIN"}));
  test::write_bytes(c / "P1.BIN", two_hours(4));
  // 4-byte reals after 8-byte ones: damage, a halt after the first record.
  Bytes damaged = test::postfile_record(88010101, {5});
  const Bytes r4 = test::postfile_record(88010102, {5}, false);
  damaged.insert(damaged.end(), r4.begin(), r4.end());
  test::write_bytes(c / "P2.BIN", damaged);
  test::write_bytes(c / "P3.BIN", two_hours(6));
  test::write_text(c / "P3.BIN.gdx", "OLD");
}

TEST(Study, SameOutputsWhateverTheThreadsAndASummary) {
  std::map<std::string, Bytes> outputs[2];
  test::RunResult results[2];
  for (int j = 0; j < 2; ++j) {
    test::TempDir dir;
    make_study(dir.path());
    results[j] = test::run_in(dir.path(), {"-j", j == 0 ? "1" : "2", "runs/a", "runs/b", "runs/c"});
    outputs[j] = snapshot(dir.path());
    if (j == 1) {
      // Each run's files are those of the same run alone in its folder.
      for (const char* run : {"a", "c"}) {
        const fs::path folder = dir / "runs" / run;
        const auto study = snapshot(folder);
        make_study(dir.path() / "alone");
        const test::RunResult alone = test::run_in(dir / "alone" / "runs" / run);
        EXPECT_EQ(snapshot(dir / "alone" / "runs" / run), study) << run;
        EXPECT_EQ(alone.status, run[0] == 'a' ? 0 : 1);
        fs::remove_all(dir / "alone");
      }
    }
  }
  EXPECT_EQ(results[1].console, results[0].console);
  EXPECT_EQ(results[1].err, results[0].err);
  EXPECT_EQ(results[1].status, results[0].status);
  EXPECT_EQ(outputs[1], outputs[0]);

  const test::RunResult& r = results[1];
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.console.substr(0, 15), "== runs/a ==\n \n");
  EXPECT_NE(r.console.find(" Opening file: runs/b/AERMOD.INP\n"), std::string::npos);
  EXPECT_NE(r.console.find(" Processing: " + fixed("runs/a/P1.BIN", 132) + "\n"), std::string::npos);
  const std::string summary =
      "runs/a: NORMAL TERMINATION; 2 datasets written; 0 warnings\n"
      "runs/b: cannot open POSTFILE 'runs/b/P2.BIN': No such file or directory; 0 datasets written; 0 warnings\n"
      "runs/c: ERROR reading AERMOD file as R*8; 2 datasets written; 0 warnings\n"
      "kestrel: 3 runs: 1 normal, 1 halted, 1 failed; 4 datasets written; 0 warnings\n";
  ASSERT_GE(r.console.size(), summary.size());
  EXPECT_EQ(r.console.substr(r.console.size() - summary.size()), summary);
  EXPECT_EQ(r.err, "kestrel: cannot open POSTFILE 'runs/b/P2.BIN': No such file or directory\n");

  const auto& files = outputs[1];
  EXPECT_EQ(files.count("runs/a/p1.bin.gdx"), 1U);
  EXPECT_EQ(files.at("runs/b/P1.BIN.gdx"), text_bytes("OLD"));  // nothing of run b is written
  EXPECT_EQ(files.count("runs/c/P2.BIN.gdx"), 1U);              // the periods before the halt
  EXPECT_EQ(files.at("runs/c/P3.BIN.gdx"), text_bytes("OLD"));
  for (const auto& [name, bytes] : files) EXPECT_EQ(name.find(".part"), std::string::npos) << name;
  const std::string list_a = test::normalised_text(std::string(
      reinterpret_cast<const char*>(files.at("runs/a/AERMOD.INP.kst").data()), files.at("runs/a/AERMOD.INP.kst").size()));
  EXPECT_NE(list_a.find(" Dataset p1.bin.gdx: 2 periods of 1 receptor, ending 1988-01-01 01 to 1988-01-01 02\n"),
            std::string::npos);
}

TEST(Study, OneRunElsewhereNamesItsFilesFromHere) {
  test::TempDir dir;
  make_study(dir.path());
  // A cut last record gives a warning that names the POSTFILE.
  Bytes cut = two_hours(1);
  cut.resize(cut.size() - 3);
  test::write_bytes(dir / "runs" / "a" / "P2.BIN", cut);
  const test::RunResult r = test::run_in(dir.path(), {"runs/a/AERMOD.INP"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.console.find("\n Opening file: runs/a/AERMOD.INP\n"), std::string::npos);
  EXPECT_NE(r.console.find("\n Processing: " + fixed("runs/a/P2.BIN", 132) + "\n"), std::string::npos);
  EXPECT_EQ(r.console.find("=="), std::string::npos);  // one run: today's console
  EXPECT_EQ(r.err, "WARNING: runs/a/P2.BIN ends inside a record; its incomplete last record was not converted\n"
                   "WARNING: runs/a/P2.BIN holds 1 period but the run period has 2 hours\n");
  const auto study = snapshot(dir / "runs" / "a");
  const test::RunResult alone = test::run_in(dir / "runs" / "a");
  EXPECT_EQ(snapshot(dir / "runs" / "a"), study);
  EXPECT_EQ(alone.err, "WARNING: P2.BIN ends inside a record; its incomplete last record was not converted\n"
                       "WARNING: P2.BIN holds 1 period but the run period has 2 hours\n");
}

TEST(Study, ControlFileNamesAndWhatAFailedOpenLeaves) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string kst;  // the list file made, "" for none
    std::string err;
  };
  const Case cases[] = {
      {{"aermod.inp"}, 0, "runs/a/AERMOD.INP.kst", ""},
      {{"runs/a/aermod.INP"}, 0, "runs/a/AERMOD.INP.kst", ""},
      {{"runs/a/AERMOD.IN"}, 2, "", "kestrel: cannot open control file 'runs/a/AERMOD.IN': No such file or directory\n"},
      {{"runs/nowhere"}, 2, "", "kestrel: cannot open control file 'runs/nowhere': No such file or directory\n"},
      {{"--", "runs/a"}, 0, "runs/a/AERMOD.INP.kst", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    test::TempDir dir;
    make_study(dir.path());
    const fs::path here = c.args[0] == "aermod.inp" ? dir / "runs" / "a" : dir.path();
    const auto before = snapshot(dir.path());
    const test::RunResult r = test::run_in(here, c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.err);
    if (c.kst.empty()) {
      EXPECT_EQ(snapshot(dir.path()), before);  // nothing created
    } else {
      EXPECT_TRUE(fs::exists(dir / c.kst));
      // The control file as found, as seen from here.
      const std::string seen = c.kst.substr(0, c.kst.size() - 4);
      EXPECT_NE(r.console.find(" Opening file: " + (here == dir.path() ? seen : "AERMOD.INP") + "\n"),
                std::string::npos);
    }
  }
}

TEST(Study, EveryPostfileLookedUpBeforeAnyIsConverted) {
  test::TempDir dir;
  test::write_text(dir / "AERMOD.INP", deck({"P1.BIN", "P2.BIN", "P3.BIN"}));
  test::write_bytes(dir / "P2.BIN", two_hours(1));
  test::write_text(dir / "P2.BIN.gdx", "OLD");
  const test::RunResult r = test::run_in(dir.path());
  EXPECT_EQ(r.status, 2);
  const std::string missing1 = "kestrel: cannot open POSTFILE 'P1.BIN': No such file or directory";
  const std::string missing3 = "kestrel: cannot open POSTFILE 'P3.BIN': No such file or directory";
  EXPECT_EQ(r.err, missing1 + "\n" + missing3 + "\n");
  const auto lines = test::lines_of(test::read_text(dir / "AERMOD.INP.kst"));
  ASSERT_GE(lines.size(), 3U);
  EXPECT_EQ(lines[lines.size() - 3], " ");
  EXPECT_EQ(lines[lines.size() - 2], " " + missing1);
  EXPECT_EQ(lines.back(), " " + missing3);
  EXPECT_EQ(r.console.substr(r.console.size() - 23), " \n COMPUTATION PHASE\n \n");
  EXPECT_EQ(test::read_text(dir / "P2.BIN.gdx"), "OLD");
  EXPECT_EQ(snapshot(dir.path()).size(), 4U);  // the list file alone is new
}

// The records of `file` whose group is `group`, as AERMOD writes a file of one group.
Bytes records_of_group(const Bytes& file, std::string_view group) {
  Bytes out;
  for (std::size_t pos = 0; pos + 4 <= file.size();) {
    std::uint32_t len = 0;
    std::memcpy(&len, file.data() + pos, 4);  // the tests run on little-endian hosts
    const std::size_t end = pos + 8 + len;
    const std::string grp(reinterpret_cast<const char*>(file.data() + pos + 4 + 8), 8);
    if (grp.substr(0, grp.find(' ')) == group) out.insert(out.end(), file.begin() + pos, file.begin() + end);
    pos = end;
  }
  return out;
}

TEST(Study, SharedPostfileGivesADatasetPerGroupEqualToSingleGroupFiles) {
  test::TempDir dir;
  for (const auto& e : fs::directory_iterator(kData / "hrdow-shared" / "input")) {
    fs::copy_file(e.path(), dir.path() / e.path().filename());
  }
  const Bytes shared = test::read_bytes(dir / "HRDOW_STACK12_01H.BIN");
  test::write_bytes(dir / "S1.BIN", records_of_group(shared, "STACK1"));
  test::write_bytes(dir / "S2.BIN", records_of_group(shared, "STACK2"));
  std::string split = test::read_text(dir / "AERMOD.INP");
  for (const char* g : {"1", "2"}) {
    const std::string line = "STACK" + std::string(g) + "  UNFORM HRDOW_STACK12_01H.BIN";
    split.replace(split.find(line), line.size(), "STACK" + std::string(g) + "  UNFORM S" + g + ".BIN");
  }
  test::write_text(dir / "SPLIT.INP", split);
  const test::RunResult r = test::run_in(dir.path(), {"-j", "2", "AERMOD.INP", "SPLIT.INP"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(test::read_bytes(dir / "HRDOW_STACK12_01H.BIN.STACK1.gdx"), test::read_bytes(dir / "S1.BIN.gdx"));
  EXPECT_EQ(test::read_bytes(dir / "HRDOW_STACK12_01H.BIN.STACK2.gdx"), test::read_bytes(dir / "S2.BIN.gdx"));
  EXPECT_FALSE(fs::exists(dir / "HRDOW_STACK12_01H.BIN.gdx"));
}

TEST(Study, StrictTurnsWarningsIntoStatus3) {
  struct Case {
    bool warning, halt, strict;
    int status;
  };
  const Case cases[] = {
      {false, false, true, 0}, {true, false, false, 0}, {true, false, true, 3}, {true, true, true, 1},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    test::write_text(dir / "AERMOD.INP", deck({"P.BIN"}));
    Bytes post = c.warning ? test::postfile_record(88010101, {1}) : two_hours(1);
    if (c.halt) {
      const Bytes r4 = test::postfile_record(88010102, {1}, false);  // damage after 8-byte records
      post.insert(post.end(), r4.begin(), r4.end());
    }
    test::write_bytes(dir / "P.BIN", post);
    std::vector<std::string> args;
    if (c.strict) args.emplace_back("--strict");
    EXPECT_EQ(test::run_in(dir.path(), args).status, c.status) << c.warning << c.halt << c.strict;
  }
}

TEST(Study, ProgressLineGivesTheTimeLeftOnlyWhenItCanBeEstimated) {
  struct Case {
    std::size_t runs_done, runs;
    std::uint64_t done, total;
    double seconds;
    std::string want;
  };
  const Case cases[] = {
      {0, 1, 100000, 700000000, 0.3, "0/1 runs    0%       0.3 MB/s"},  // no rate worth the name yet
      {0, 1, 5000000, 700000000, 2.0, "0/1 runs    0%       2.5 MB/s"},   // under 1 %
      {3, 500, 350000000, 700000000, 1.0, "3/500 runs   50%     350.0 MB/s  0:01 left"},
      {1, 2, 600000000, 700000000, 60.0, "1/2 runs   85%      10.0 MB/s  0:10 left"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(study::progress_text(c.runs_done, c.runs, c.done, c.total, c.seconds), c.want);
  }
}

TEST(Study, ConsoleLinesLoseTheirTrailingBlanksOnATerminalOnly) {
  test::TempDir dir;
  test::write_text(dir / "AERMOD.INP", deck({"P.BIN"}));
  test::write_bytes(dir / "P.BIN", two_hours(1));
  for (const bool terminal : {false, true}) {
    std::ostringstream console, err;
    EXPECT_EQ(kestrel::run({}, dir.path(), console, err, terminal), 0);
    const std::string processing = " Processing: " + fixed("P.BIN", 132);
    EXPECT_NE(console.str().find(terminal ? "\n Processing: P.BIN\n" : "\n" + processing + "\n"), std::string::npos)
        << terminal;
    EXPECT_EQ(console.str().find(" \n") == std::string::npos, terminal);
  }
}

TEST(Study, InterruptStopsEveryRunOfATwoThreadStudy) {
  test::TempDir dir;
  for (const char* run : {"r1", "r2"}) {
    fs::create_directories(dir / run);
    test::write_text(dir / run / "AERMOD.INP", deck({"BIG.BIN"}));
    test::write_bytes(dir / run / "BIG.BIN", many_records(1500000));
    test::write_text(dir / run / "BIG.BIN.gdx", "OLD");
  }
  test::Process p(KESTREL_BINARY, {"-j", "2", "r1", "r2"}, dir.path());
  bool grown = false;
  for (int i = 0; i < 20000 && !grown; ++i) {
    std::error_code ec;
    // Both runs begun and converting: a run not yet begun is left untouched.
    grown = fs::file_size(dir / "r1" / "BIG.BIN.gdx.part", ec) > 100000 && !ec &&
            fs::file_size(dir / "r2" / "BIG.BIN.gdx.part", ec) > 100000 && !ec;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  if (grown && !p.interrupt(SIGINT)) GTEST_SKIP() << "this system cannot interrupt one program alone";
  const test::RunResult r = p.wait();
  if (!grown) GTEST_SKIP() << "the study finished before it could be interrupted";
  EXPECT_EQ(r.status, 130);
  EXPECT_EQ(r.err.substr(r.err.size() - 21), "kestrel: interrupted\n");
  for (const char* run : {"r1", "r2"}) {
    EXPECT_EQ(test::read_text(dir / run / "BIG.BIN.gdx"), "OLD") << run;
    EXPECT_FALSE(fs::exists(dir / run / "BIG.BIN.gdx.part")) << run;
    const auto lines = test::lines_of(test::read_text(dir / run / "AERMOD.INP.kst"));
    ASSERT_FALSE(lines.empty()) << run;
    EXPECT_EQ(lines.back(), " kestrel: interrupted") << run;
  }
}

}  // namespace
}  // namespace kestrel
