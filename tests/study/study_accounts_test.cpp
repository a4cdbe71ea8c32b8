// What a study tells and keeps: stray files skipped, folders without their
// AERMOD.INP named, --resume, --quiet, the --summary file under every
// ending, and the account of every run after an interrupt.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <map>
#include <thread>

#ifdef KESTREL_HAVE_JSON
#include <nlohmann/json.hpp>
#endif

#include "dataset/period.hpp"
#include "support.hpp"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

const fs::path kData = KESTREL_TEST_DATA;

std::string deck(const std::string& post, bool startend = true) {
  return std::string("CO STARTING\nCO MODELOPT CONC\nRE DISCCART 100. 200. 3.\n") +
         (startend ? "ME STARTEND 88 1 1 1 88 1 1 2\n" : "") + "OU POSTFILE 1 ALL UNFORM " + post + "\n";
}

Bytes two_hours(double v) {
  Bytes b = test::postfile_record(88010101, {v});
  const Bytes second = test::postfile_record(88010102, {v + 1});
  b.insert(b.end(), second.begin(), second.end());
  return b;
}

void make_run(const fs::path& folder, const std::string& control = "AERMOD.INP", double v = 1.0) {
  fs::create_directories(folder);
  test::write_text(folder / control, deck("POST.BIN"));
  test::write_bytes(folder / "POST.BIN", two_hours(v));
}

std::map<std::string, fs::file_time_type> times(const fs::path& dir) {
  std::map<std::string, fs::file_time_type> t;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.is_regular_file()) t[fs::relative(e.path(), dir).generic_string()] = e.last_write_time();
  }
  return t;
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// runs/README.md (a markdown row naming RE INCLUDED), runs/named (its control
// file is disccart.inp), runs/halts (a damaged POSTFILE), runs/missing (its
// POSTFILE is not there), runs/ok.
void make_study(const fs::path& root) {
  const fs::path runs = root / "runs";
  fs::create_directories(runs);
  test::write_text(runs / "README.md", "# Runs\n\n| run | receptors |\n|---|---|\n| ok | RE INCLUDED grid.dat |\n");
  make_run(runs / "named", "disccart.inp");
  make_run(runs / "halts");
  Bytes damaged = test::postfile_record(88010101, {5});
  const Bytes r4 = test::postfile_record(88010102, {5}, false);
  damaged.insert(damaged.end(), r4.begin(), r4.end());
  test::write_bytes(runs / "halts" / "POST.BIN", damaged);
  make_run(runs / "missing");
  fs::remove(runs / "missing" / "POST.BIN");
  make_run(runs / "ok");
}

TEST(StudyAccounts, StrayFilesAndFoldersWithoutAermodInp) {
  test::TempDir dir;
  make_study(dir.path());
  fs::create_directories(dir / "runs" / "notes");
  test::write_text(dir / "runs" / "notes" / "todo.txt", "ask for the 2019 met\n");
  const std::vector<std::string> runs = {"runs/README.md", "runs/halts", "runs/missing", "runs/named", "runs/notes",
                                         "runs/ok"};
  std::vector<std::string> args = {"--summary", "study.json"};
  args.insert(args.end(), runs.begin(), runs.end());
  const test::RunResult r = test::run_in(dir.path(), args);
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(has(r.err, "kestrel: skipped runs/README.md: not an AERMOD control file (no CO STARTING line)\n"));
  EXPECT_TRUE(has(r.err, "kestrel: runs/named has no AERMOD.INP; its control file: disccart.inp (give it as "
                         "runs/named/disccart.inp)\n"));
  EXPECT_TRUE(has(r.console, "\nruns/README.md: skipped, not an AERMOD control file\n"));
  EXPECT_TRUE(has(r.err, "kestrel: skipped runs/notes: a folder without a control file (no .inp file)\n"));
  EXPECT_TRUE(has(r.console, "\nruns/notes: skipped, a folder without a control file\n"));
  EXPECT_TRUE(has(r.console, "kestrel: 6 runs: 1 normal, 1 halted, 2 failed, 2 skipped; 2 datasets written"));
  EXPECT_FALSE(has(r.console, "AERMOD application files"));  // not true of runs in a study
  std::vector<std::string> beside;
  for (const auto& e : fs::directory_iterator(dir / "runs")) {
    if (e.is_regular_file()) beside.push_back(e.path().filename().string());
  }
  EXPECT_EQ(beside, std::vector<std::string>{"README.md"});

  // Skipped files leave the status alone, but not under --strict.
  EXPECT_EQ(test::run_in(dir.path(), {"runs/README.md", "runs/ok"}).status, 0);
  EXPECT_EQ(test::run_in(dir.path(), {"--strict", "runs/README.md", "runs/ok"}).status, 3);
  // Given alone, a stray file is refused; a folder's missing AERMOD.INP too.
  const test::RunResult alone = test::run_in(dir / "runs", {"README.md"});
  EXPECT_EQ(alone.status, 2);
  EXPECT_EQ(alone.err, "kestrel: skipped README.md: not an AERMOD control file (no CO STARTING line)\n");
  EXPECT_EQ(test::run_in(dir / "runs" / "named").err,
            "kestrel: . has no AERMOD.INP; its control file: disccart.inp (give it as disccart.inp)\n");
  EXPECT_EQ(test::run_in(dir.path(), {"runs/notes"}).status, 2);

#ifdef KESTREL_HAVE_JSON
  const auto doc = nlohmann::json::parse(test::read_text(dir / "study.json"));
  EXPECT_EQ(doc["exit_status"], 2);
  ASSERT_EQ(doc["runs"].size(), runs.size());
  const std::vector<std::string> statuses = {"skipped", "halted", "failed", "failed", "skipped", "normal"};
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const auto& run = doc["runs"][i];
    EXPECT_EQ(run["run"], runs[i]);
    EXPECT_EQ(run["status"], statuses[i]) << runs[i];
    for (const auto& d : run["datasets"]) {
      const fs::path p = dir / d["path"].get<std::string>();
      EXPECT_EQ(fs::file_size(p), dataset::dataset_bytes(d["receptors"], d["periods"])) << p;
    }
  }
  EXPECT_EQ(doc["runs"][1]["message"], "ERROR reading AERMOD file as R*8");
  EXPECT_EQ(doc["runs"][5]["datasets"][0]["first_period_end"], "1988-01-01T01:00:00");
  EXPECT_FALSE(fs::exists(dir / "study.json.part"));
#endif
}

TEST(StudyAccounts, ResumeConvertsOnlyWhatIsNotUpToDate) {
  test::TempDir dir;
  for (const char* run : {"r1", "r2", "r3", "r4"}) make_run(dir / run);
  const std::vector<std::string> study = {"--resume", "r1", "r2", "r3", "r4"};
  ASSERT_EQ(test::run_in(dir.path(), {"r1", "r2", "r3", "r4"}).status, 0);
  const auto before = times(dir.path());

  const test::RunResult again = test::run_in(dir.path(), study);
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(times(dir.path()), before);  // nothing written
  for (const char* run : {"r1", "r2", "r3", "r4"}) EXPECT_TRUE(has(again.console, std::string(run) + ": up to date\n"));
  EXPECT_TRUE(has(again.console, "kestrel: 4 runs: 0 normal, 0 halted, 0 failed, 4 up to date; 0 datasets written, "
                                 "4 kept; 0 warnings\n"));

  // A newer POSTFILE, a dataset gone, a list file cut by an interrupt.
  fs::last_write_time(dir / "r2" / "POST.BIN", fs::last_write_time(dir / "r2" / "POST.BIN.gdx") + std::chrono::hours(1));
  fs::remove(dir / "r3" / "POST.BIN.gdx");
  test::write_text(dir / "r4" / "AERMOD.INP.kst", test::read_text(dir / "r4" / "AERMOD.INP.kst") + " kestrel: interrupted\n");
  const test::RunResult resumed = test::run_in(dir.path(), study);
  EXPECT_TRUE(has(resumed.console, "r1: up to date; 1 dataset kept\n"));
  for (const char* run : {"r2", "r3", "r4"}) {
    EXPECT_TRUE(has(resumed.console, std::string(run) + ": NORMAL TERMINATION; 1 dataset written")) << run;
  }
  EXPECT_EQ(fs::last_write_time(dir / "r1" / "POST.BIN.gdx"), before.at("r1/POST.BIN.gdx"));
}

TEST(StudyAccounts, QuietConsoleAndSharedPostfilesInAStudy) {
  test::TempDir dir;
  make_run(dir / "a");
  make_run(dir / "b");
  const test::RunResult quiet = test::run_in(dir.path(), {"-q", "a", "b"});
  EXPECT_EQ(quiet.console,
            "a: NORMAL TERMINATION; 1 dataset written; 0 warnings\n"
            "b: NORMAL TERMINATION; 1 dataset written; 0 warnings\n"
            "kestrel: 2 runs: 2 normal, 0 halted, 0 failed; 2 datasets written; 0 warnings\n");
  EXPECT_EQ(quiet.err, "");

  // A folder given alone is a study: its shared POSTFILE's lines name their groups.
  fs::create_directories(dir / "runs" / "hrdow");
  for (const auto& e : fs::directory_iterator(kData / "hrdow-shared" / "input")) {
    fs::copy_file(e.path(), dir / "runs" / "hrdow" / e.path().filename());
  }
  const test::RunResult shared = test::run_in(dir.path(), {"runs/hrdow"});
  EXPECT_EQ(shared.status, 0) << shared.err;
  EXPECT_TRUE(has(shared.console, " Processing: runs/hrdow/HRDOW_STACK12_01H.BIN (group STACK1)\n")) << shared.console;
  EXPECT_TRUE(has(shared.console, " Processing: runs/hrdow/HRDOW_STACK12_01H.BIN (group STACK2)\n"));
  EXPECT_FALSE(has(shared.console, "AERMOD application files"));
}

TEST(StudyAccounts, WithoutStartendTheFirstPostfilesOwnHalt) {
  test::TempDir dir;
  fs::create_directories(dir / "short");
  // Two receptors, records of one value: too short for either real size.
  test::write_text(dir / "short" / "AERMOD.INP",
                   "CO STARTING\nCO MODELOPT CONC\nRE DISCCART 1 2 3\nRE DISCCART 4 5 6\nOU POSTFILE 1 ALL UNFORM P.BIN\n");
  test::write_bytes(dir / "short" / "P.BIN", test::postfile_record(88010101, {1.0}, false));
  const test::RunResult r = test::run_in(dir / "short");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(has(r.console, "\n ERROR reading AERMOD file as R*4  ")) << r.console;
  EXPECT_TRUE(has(test::read_text(dir / "short" / "AERMOD.INP.kst"),
                  " ERROR reading AERMOD file as R*8: P.BIN\n Retry as R*4\n ERROR reading AERMOD file as R*4: P.BIN\n"
                  " Record 1 at byte 0 cannot be read\n"));
}

#ifndef _WIN32
TEST(StudyAccounts, InterruptedStudyAccountsForEveryRun) {
  test::TempDir dir;
  for (const char* run : {"r1", "r2", "r3"}) {
    fs::create_directories(dir / run);
    test::write_text(dir / run / "AERMOD.INP", deck("BIG.BIN"));
    test::write_bytes(dir / run / "BIG.BIN", test::many_records(1500000));
  }
  test::Process p(KESTREL_BINARY, {"-j", "1", "--summary", "s.json", "r1", "r2", "r3"}, dir.path());
  bool grown = false;
  for (int i = 0; i < 20000 && !grown; ++i) {
    std::error_code ec;
    grown = fs::file_size(dir / "r1" / "BIG.BIN.gdx.part", ec) > 100000 && !ec;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  if (grown) {
    ASSERT_TRUE(p.interrupt(SIGTERM));
  }
  const test::RunResult r = p.wait();
  if (!grown) GTEST_SKIP() << "the study finished before it could be interrupted";
  EXPECT_EQ(r.status, 143);
  EXPECT_TRUE(has(r.console, "\nr1: kestrel: interrupted; 0 datasets written; 0 warnings\nr2: not begun\nr3: not begun\n"
                             "kestrel: 3 runs: 0 normal, 0 halted, 0 failed, 1 interrupted, 2 not begun; "))
      << r.console;
  EXPECT_TRUE(r.err.ends_with("kestrel: interrupted\n"));
#ifdef KESTREL_HAVE_JSON
  const auto doc = nlohmann::json::parse(test::read_text(dir / "s.json"));
  EXPECT_EQ(doc["exit_status"], 143);
  EXPECT_EQ(doc["runs"][0]["status"], "interrupted");
  EXPECT_EQ(doc["runs"][2]["status"], "not begun");
#endif
}
#endif

}  // namespace
}  // namespace kestrel
