#include "app/run.hpp"
#include "study/study.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "app/comline.hpp"
#include "base/text.hpp"
#include "support.hpp"

namespace kestrel {
namespace {

const std::string kDeck =
    "CO STARTING\n   TITLEONE  Sample run\n   MODELOPT  DFAULT CONC\n   POLLUTID  so2\nCO FINISHED\n"
    "RE STARTING\n   DISCCART  500.0  -250.0  12.5\nRE FINISHED\n"
    "ME STARTING\n   STARTEND  2010 1 1 2010 12 31\nME FINISHED\n"
    "OU STARTING\n   POSTFILE  1  ALL  UNFORM  post01.bin  31\n   POSTFILE  24 ALL  UNFORM  post24.bin  32\n"
    "OU FINISHED\n";

const std::vector<std::string> kConsoleStart = {
    " ", " SETUP PHASE", " ", " ", " This utility must be run in the location that",
    " contains the AERMOD application files.  If this", " is not the case, file-error messages will be seen!", " ",
    " ", " Opening file: AERMOD.INP", " "};

TEST(Driver, ListFileOfASuccessfulRun) {
  test::TempDir dir;
  test::write_text(dir / "AERMOD.INP", kDeck);
  test::write_bytes(dir / "post01.bin", {});
  const test::RunResult r = test::run_in(dir.path());
  EXPECT_EQ(r.status, 0);
  const std::vector<std::string> want = {
      "", "", "", std::string(26, ' ') + "KESTREL RUN SUMMARY",
      std::string(19, ' ') + "VERSION:  1.21         LEVEL:  100301      ", "", "", "", " ",
      " This utility must be run in the location that", " contains the AERMOD application files.  If this",
      " is not the case, file-error messages will be seen!", " ", " ", " Opening file: AERMOD.INP", " ",
      " Processing: " + fixed("POST01.BIN", 132), " WARNING: POST01.BIN holds no records",
      " Dataset post01.bin.gdx: no periods of 1 receptor", " CRC-32 of post01.bin.gdx: 765322d5, 1043 bytes", " ",
      " NORMAL TERMINATION", " "};
  EXPECT_EQ(test::lines_of(test::read_text(dir / "AERMOD.INP.kst")), want);
  std::vector<std::string> console = kConsoleStart;
  for (const char* l : {" ", " COMPUTATION PHASE", " "}) console.emplace_back(l);
  console.push_back(" Processing: " + fixed("POST01.BIN", 132));
  for (const char* l : {" ", " NORMAL TERMINATION", " "}) console.emplace_back(l);
  EXPECT_EQ(test::lines_of(r.console), console);
  EXPECT_TRUE(std::filesystem::exists(dir / "post01.bin.gdx"));
}

TEST(Driver, HaltsEndTheRunWithStatus1) {
  struct Case {
    const char* what;
    std::string deck;
    test::Bytes postfile;
    std::string status;
    bool computation;
  };
  std::string no_modelopt = kDeck;
  no_modelopt.replace(no_modelopt.find("   MODELOPT"), 25, "");
  const Case cases[] = {
      {"setup halt", no_modelopt, {}, "Halted in SETUP:  Must ONLY have Concentrations!", false},
      {"R*4 failure", kDeck, test::postfile_record(10010101, {}, false), "ERROR reading AERMOD file as R*4", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    test::write_text(dir / "AERMOD.INP", c.deck);
    test::write_bytes(dir / "post01.bin", c.postfile);
    const test::RunResult r = test::run_in(dir.path());
    EXPECT_EQ(r.status, 1);
    std::vector<std::string> console = kConsoleStart;
    if (c.computation) {
      for (const char* l : {" ", " COMPUTATION PHASE", " "}) console.emplace_back(l);
      console.push_back(" Processing: " + fixed("POST01.BIN", 132));
    }
    console.push_back(std::string(" ").append(fixed(c.status, 132)));
    EXPECT_EQ(test::lines_of(r.console), console);
    const std::string list = test::read_text(dir / "AERMOD.INP.kst");
    EXPECT_EQ(list.find("NORMAL TERMINATION"), std::string::npos);
  }
}

// AERMOD ends with status 0 after fatal errors, its POSTFILEs empty or cut:
// its listing, as new as them and without its closing line, halts the run.
TEST(Driver, AFailedAermodRunIsNotConverted) {
  const std::string finished = " *** Message Summary : AERMOD Model Execution ***\n    *** AERMOD Finishes Successfully ***\n";
  const std::string failed = " *** Message Summary : AERMOD Model Setup ***\n    *** AERMOD Finishes UN-successfully ***\n";
  struct Case {
    const char* what;
    const char* listing;  // its name
    std::string text;
    bool older;  // than the POSTFILE
    std::vector<std::string> args;
    int status;
    bool converted;
  };
  const Case cases[] = {
      {"failed", "AERMOD.OUT", failed, false, {}, 1, false},
      {"failed, converted as asked", "AERMOD.OUT", failed, false, {"--allow-failed-aermod"}, 0, true},
      {"failed, listed beside the control file's name", "RUN.OUT", failed, false, {"RUN.INP"}, 1, false},
      {"an older listing: another run's", "AERMOD.OUT", failed, true, {}, 0, true},
      {"finished", "AERMOD.OUT", finished, false, {}, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    const std::string control = c.args.empty() || c.args[0] != "RUN.INP" ? "AERMOD.INP" : "RUN.INP";
    test::write_text(dir / control, kDeck);
    test::write_bytes(dir / "post01.bin", {});
    test::write_text(dir / c.listing, c.text);
    const auto now = std::filesystem::last_write_time(dir / "post01.bin");
    std::filesystem::last_write_time(dir / c.listing, c.older ? now - std::chrono::hours(1) : now);
    const test::RunResult r = test::run_in(dir.path(), c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(std::filesystem::exists(dir / "post01.bin.gdx"), c.converted);
    const std::string list = test::read_text(dir / (control + ".kst"));
    if (!c.converted) {
      EXPECT_NE(r.console.find(" Halted: AERMOD did not finish (" + std::string(c.listing) + ")   --   See the list file"),
                std::string::npos) << r.console;
      EXPECT_NE(list.find(" kestrel: " + std::string(c.listing) + ", AERMOD's listing, is as new as the POSTFILEs and "
                          "lacks \"AERMOD Finishes Successfully\": AERMOD did not finish; nothing converted"),
                std::string::npos) << list;
    } else if (!c.args.empty()) {
      EXPECT_NE(r.err.find("AERMOD did not finish; its POSTFILEs converted all the same (--allow-failed-aermod)"),
                std::string::npos) << r.err;
    }
  }
}

TEST(Driver, InputOutputFailuresEndWithStatus2) {
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::function<void(const test::TempDir&)> prepare;
    std::string err;
    bool list_created;
  };
  const Case cases[] = {
      {"missing control file", {}, [](const test::TempDir&) {},
       "kestrel: . has no AERMOD.INP; no .inp file\n", false},
      {"control file that is a folder", {},
       [](const test::TempDir& d) { std::filesystem::create_directory(d / "AERMOD.INP"); },
       "kestrel: cannot open control file 'AERMOD.INP': Is a directory\n", false},
      {"control-file name too long", {std::string(129, 'a')}, [](const test::TempDir&) {},
       "kestrel: control-file name is longer than 128 characters\n", false},
      {"missing POSTFILE", {},
       [](const test::TempDir& d) { test::write_text(d / "AERMOD.INP", kDeck); },
       "kestrel: cannot open POSTFILE 'POST01.BIN': No such file or directory\n", true},
      {"missing receptor file", {},
       [](const test::TempDir& d) { test::write_text(d / "AERMOD.INP", kDeck + "RE INCLUDED recs.dat\n"); },
       "kestrel: cannot open receptor file 'RECS.DAT': No such file or directory\n", true},
      {"two files match a name ignoring case", {},
       [](const test::TempDir& d) {
         test::write_text(d / "AERMOD.INP", kDeck);
         test::write_bytes(d / "Post01.bin", {});
         test::write_bytes(d / "post01.BIN", {});
       },
       "kestrel: cannot open POSTFILE 'POST01.BIN': more than one file matches when case is ignored\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    c.prepare(dir);
    // Where case is ignored the two names are one file: nothing to refuse.
    if (std::string_view(c.what).starts_with("two files") && !test::names_can_differ_by_case()) continue;
    const test::RunResult r = test::run_in(dir.path(), c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, c.err);
    const auto list = dir / ((c.args.empty() ? std::string("AERMOD.INP") : c.args[0]) + ".kst");
    EXPECT_EQ(std::filesystem::exists(list), c.list_created);
    if (c.list_created) {
      const auto lines = test::lines_of(test::read_text(list));
      EXPECT_EQ(lines.back() + "\n", " " + c.err);
    }
  }
}

TEST(Driver, ControlFileNameFromTheCommandLine) {
  test::TempDir dir;
  test::write_text(dir / "run 1.inp", kDeck);
  test::write_bytes(dir / "post01.bin", {});
  const test::RunResult r = test::run_in(dir.path(), {"run 1.inp"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "run 1.inp.kst"));
  EXPECT_NE(r.console.find(" Opening file: run 1.inp\n"), std::string::npos);
}

TEST(Driver, HelpAndVersionAreNeverControlFileNames) {
  struct Case {
    std::vector<std::string> args;
    std::string starts;
  };
  const Case cases[] = {{{"-h"}, "usage: kestrel [OPTION]... [RUN]...\n"},
                        {{"--help"}, "usage: kestrel [OPTION]... [RUN]...\n"},
                        {{"run.inp", "--help"}, "usage: kestrel [OPTION]... [RUN]...\n"},
                        {{"--version"}, "kestrel 1.21 (level 100301)\n"}};
  for (const auto& c : cases) {
    test::TempDir dir;
    const test::RunResult r = test::run_in(dir.path(), c.args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.console.substr(0, c.starts.size()), c.starts);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  }
}

TEST(Driver, UnknownOptionsAreUsageErrorsThatCreateNothing) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"-v"}, {"run.inp", "--verbose", "-x"}, {"-"}}) {
    test::TempDir dir;
    test::write_text(dir / "AERMOD.INP", kDeck);
    const test::RunResult r = test::run_in(dir.path(), args);
    const std::string named = args.size() == 1 ? args[0] : args[1];
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "kestrel: unknown option '" + named + "'\nTry 'kestrel --help'.\n");
    EXPECT_EQ(r.console, "");
    EXPECT_FALSE(std::filesystem::exists(dir / "AERMOD.INP.kst"));
  }
}

TEST(Driver, ByteOrderMarksAreSkipped) {
  const std::string bom = "\xEF\xBB\xBF";
  std::string deck = kDeck;
  deck.insert(deck.find("RE FINISHED"), "RE INCLUDED recs.dat\n");
  std::string outputs[2];
  for (int with_bom = 0; with_bom < 2; ++with_bom) {
    test::TempDir dir;
    test::write_text(dir / "AERMOD.INP", (with_bom != 0 ? bom : "") + deck);
    test::write_text(dir / "recs.dat", (with_bom != 0 ? bom : "") + "RE DISCCART 100. 200. 3.\n");
    test::write_bytes(dir / "post01.bin", test::postfile_record(10010101, {1.0, 2.0}));
    const test::RunResult r = test::run_in(dir.path());
    EXPECT_EQ(r.status, 0) << r.console;
    outputs[with_bom] = r.console + r.err + test::read_text(dir / "AERMOD.INP.kst") + test::read_text(dir / "post01.bin.gdx");
  }
  EXPECT_EQ(outputs[1], outputs[0]);
}

TEST(Driver, ProgressLineOnlyWhenAskedForOrOnATerminal) {
  for (const char* mode : {"always", "never", ""}) {
    SCOPED_TRACE(mode);
    test::TempDir dir;
    test::write_text(dir / "AERMOD.INP", kDeck);
    test::write_bytes(dir / "post01.bin", test::postfile_record(10010101, {1.0}));
    test::set_env("KESTREL_PROGRESS", mode);
    const test::RunResult r = test::run_in(dir.path());
    test::set_env("KESTREL_PROGRESS", "");
    EXPECT_EQ(r.status, 0);
    const bool shown = std::string_view(mode) == "always";
    // The line is rewritten in place and erased when the POSTFILE is done.
    EXPECT_EQ(r.err.find("\r0/1 runs  100%") != std::string::npos, shown) << r.err;
    if (shown) {
      // Erased: blanks over it, and the warnings after it start in column 1.
      const std::size_t end = r.err.rfind('\r');
      const std::size_t start = r.err.rfind('\r', end - 1);
      EXPECT_EQ(r.err.substr(start + 1, end - start - 1), std::string(end - start - 1, ' '));
      EXPECT_EQ(r.err.substr(end + 1, 8), "WARNING:");
    }
    EXPECT_EQ(r.err.find('\r') == std::string::npos, !shown);
    EXPECT_EQ(test::read_text(dir / "AERMOD.INP.kst").find('\r'), std::string::npos);
  }
}

TEST(Comline, RunArgumentsAndOptions) {
  test::TempDir dir;
  std::filesystem::create_directories(dir / "runs" / "r1");
  struct Case {
    std::string arg;
    std::filesystem::path folder;
    std::string cfname, prefix;
  };
  const Case cases[] = {
      {"", "", "AERMOD.INP", ""},
      {" x", "", "AERMOD.INP", ""},
      {"run1.inp", "", "run1.inp", ""},
      {"runs/r1", "runs/r1", "AERMOD.INP", "runs/r1/"},
      {"runs/r1/", "runs/r1/", "AERMOD.INP", "runs/r1/"},
      {"runs/r1/x.inp", "runs/r1", "x.inp", "runs/r1/"},
      {"./x.inp", ".", "x.inp", ""},
      {"runs/../x.inp", "runs/..", "x.inp", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arg);
    const RunTarget r = comline(dir.path(), c.arg);
    EXPECT_EQ(r.folder, c.folder.empty() ? dir.path() : dir.path() / c.folder);
    EXPECT_EQ(r.cfname, c.cfname);
    EXPECT_EQ(r.prefix, c.prefix);
  }
  struct Opt {
    std::vector<std::string> args;
    unsigned jobs;
    bool strict;
    std::vector<std::string> runs;
    std::string error;
  };
  const Opt opts[] = {
      {{"-j", "3", "a", "b"}, 3, false, {"a", "b"}, ""},
      {{"--jobs=2", "--strict", "a"}, 2, true, {"a"}, ""},
      {{"-j4", "--", "-x", "--strict"}, 4, false, {"-x", "--strict"}, ""},
      {{"--jobs", "0"}, 0, false, {}, "kestrel: invalid number of jobs '0'"},
      {{"-j", "two"}, 0, false, {}, "kestrel: invalid number of jobs 'two'"},
      {{"a", "-j"}, 0, false, {}, "kestrel: option '-j' needs a number of jobs"},
  };
  for (const auto& o : opts) {
    const Options got = parse_options(o.args);
    EXPECT_EQ(got.error, o.error);
    if (!o.error.empty()) continue;
    EXPECT_EQ(got.jobs, o.jobs);
    EXPECT_EQ(got.strict, o.strict);
    EXPECT_EQ(got.runs, o.runs);
  }
}

}  // namespace
}  // namespace kestrel
