// One dataset, one writer: runs of a study and separate kestrel processes
// whose POSTFILE lines name one file on disk. Whatever the timing, and
// whenever a writer is killed, the dataset under its final name is whole and
// one run's output, and a list file records only a dataset it wrote.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>

#include "io/files.hpp"
#include "io/platform.hpp"
#include "support.hpp"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

constexpr std::size_t kRecords = 150000;

// Two runs, in folders a/ and b/, whose POSTFILE lines name shared/POST.BIN
// by its absolute path; their titles tell their datasets apart.
struct SharedPostfile {
  SharedPostfile() {
    fs::create_directories(tmp / "shared");
    test::write_bytes(post, test::many_records(kRecords));
    for (const char* run : {"a", "b"}) {
      fs::create_directories(tmp / run);
      test::write_text(tmp / run / "AERMOD.INP", deck(run));
    }
  }
  [[nodiscard]] std::string deck(const std::string& title) const {
    return "CO STARTING\nCO TITLEONE run " + title + "\nCO MODELOPT CONC\nRE DISCCART 1 2 3\nME STARTEND 88 1 1 88 1 2\n" +
           "OU POSTFILE 1 ALL UNFORM \"" + io::utf8_of(fs::absolute(post)) + "\"\n";
  }
  // What a run alone writes.
  [[nodiscard]] Bytes alone(const std::string& run) const {
    const test::RunResult r = test::run_program(KESTREL_BINARY, {}, tmp / run);
    EXPECT_EQ(r.status, 0) << r.err;
    return test::read_bytes(gdx);
  }

  test::TempDir tmp;
  fs::path post = tmp / "shared" / "POST.BIN";
  fs::path gdx = tmp / "shared" / "POST.BIN.gdx";
  fs::path part = tmp / "shared" / "POST.BIN.gdx.part";
};

bool normal(const fs::path& list) { return test::read_text(list).find("\n NORMAL TERMINATION\n") != std::string::npos; }

// Waits (up to 20 s) until `p` exists, then returns at once.
bool wait_for(const fs::path& p) {
  for (int i = 0; i < 200000; ++i) {
    std::error_code ec;
    if (fs::exists(p, ec)) return true;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return false;
}

TEST(OneWriter, StudyRunsSharingADatasetWriteItInArgumentOrder) {
  SharedPostfile s;
  const Bytes a = s.alone("a");
  const Bytes b = s.alone("b");
  ASSERT_NE(a, b);
  fs::remove(s.gdx);
  const test::RunResult r = test::run_program(KESTREL_BINARY, {"-j", "2", "a", "b"}, s.tmp.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::read_bytes(s.gdx), b);  // the later run wins
  EXPECT_TRUE(normal(s.tmp / "a" / "AERMOD.INP.kst"));
  EXPECT_TRUE(normal(s.tmp / "b" / "AERMOD.INP.kst"));
  EXPECT_FALSE(fs::exists(s.part));

  // Killed just after a dataset is first put in place: never a truncated one.
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    fs::remove(s.gdx);
    test::Process p(KESTREL_BINARY, {"-j", "2", "a", "b"}, s.tmp.path());
    ASSERT_TRUE(wait_for(s.gdx));
    p.kill();
    (void)p.wait();
    const Bytes got = test::read_bytes(s.gdx);
    EXPECT_TRUE(got == a || got == b) << got.size();
  }
}

TEST(OneWriter, TwoProcessesOnControlFilesNamingOnePostfile) {
  SharedPostfile s;
  test::write_text(s.tmp / "a.inp", s.deck("a"));
  test::write_text(s.tmp / "b.inp", s.deck("b"));
  // Written anew rather than copied over: MinGW's copy_file cannot overwrite.
  test::write_text(s.tmp / "a" / "AERMOD.INP", s.deck("a"));
  test::write_text(s.tmp / "b" / "AERMOD.INP", s.deck("b"));
  const Bytes a = s.alone("a");
  const Bytes b = s.alone("b");
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    const bool kill = i % 2 == 1;
    test::Process pa(KESTREL_BINARY, {"a.inp"}, s.tmp.path());
    test::Process pb(KESTREL_BINARY, {"b.inp"}, s.tmp.path());
    if (kill) {
      // The second writer killed just after the first one's rename.
      const auto before = fs::exists(s.gdx) ? fs::last_write_time(s.gdx) : fs::file_time_type{};
      for (int w = 0; w < 200000; ++w) {
        std::error_code ec;
        if (fs::exists(s.gdx, ec) && fs::last_write_time(s.gdx, ec) != before) break;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      }
      pb.kill();
    }
    const test::RunResult ra = pa.wait();
    const test::RunResult rb = pb.wait();
    const Bytes got = test::read_bytes(s.gdx);
    EXPECT_TRUE(got == a || got == b) << got.size();
    // A killed writer leaves its temporary file to the next run.
    if (!kill) {
      EXPECT_FALSE(fs::exists(s.part));
    }
    // A run that ended normally wrote its own bytes; the last to end wins.
    for (const auto& [r, list] : {std::pair{ra, "a.inp.kst"}, std::pair{rb, "b.inp.kst"}}) {
      if (r.status == 0) {
        EXPECT_TRUE(normal(s.tmp / list)) << list;
      } else if (r.status > 0) {
        EXPECT_TRUE(r.err.ends_with(" is being written by another kestrel\n")) << r.err;
      }
    }
    // Beside a writer that gave up, the other's bytes (a killed one may have
    // put its dataset in place before it died).
    if (ra.status == 0 && rb.status > 0) {
      EXPECT_EQ(got, a);
    } else if (rb.status == 0 && ra.status > 0) {
      EXPECT_EQ(got, b);
    }
  }
}

TEST(OneWriter, ASecondWriterGivesUpAndLeavesTheFirstAlone) {
  SharedPostfile s;
  test::write_text(s.gdx, "previous");
  // This test holds the temporary file as a writer does.
  int err = 0;
  bool busy = false;
  const io::FilePtr held(io::create_locked_file(s.part, err, busy, true));
  ASSERT_TRUE(held);
  ASSERT_GE(std::fputs("half written", held.get()), 0);
  std::fflush(held.get());
  const test::RunResult r = test::run_program(KESTREL_BINARY, {}, s.tmp / "a");
  EXPECT_EQ(r.status, 2);
  // The dataset as the control file names it (its separators as Windows shows them).
  const std::string message = "POST.BIN.gdx is being written by another kestrel\n";
  EXPECT_TRUE(r.err.starts_with("kestrel: ") && r.err.ends_with(message)) << r.err;
  EXPECT_EQ(test::read_text(s.gdx), "previous");
  EXPECT_EQ(test::read_text(s.part), "half written");
  const std::string list = test::read_text(s.tmp / "a" / "AERMOD.INP.kst");
  EXPECT_NE(list.find(message), std::string::npos) << list;
}

}  // namespace
}  // namespace kestrel
